// stowkit-pack dump and verify on packages laid out by hand, independently of the writer:
// the dump text as a terminal gets it, and the reader's own messages for broken files.
#include <gtest/gtest.h>

#include <regex>

#include "package/package_bytes.h"
#include "pack_tool_fixture.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

class PackDumpTest : public PackToolTest {
 protected:
  // The handle value is the tool's own business; everything else is the format's.
  static std::string WithoutHandles(const std::string& dump) {
    return std::regex_replace(dump, std::regex("BlobFileHndl: 0x[0-9a-f]+\n(          Properties: 1)"),
                              "BlobFileHndl: H\n$1");
  }
};

TEST_F(PackDumpTest, HandMadePackageAfterAPrefixDumpsAsUtf8WithLineFeeds) {
  PackageLayout layout;
  layout.prefix = "MZ-executable";
  layout.flags = 0x91;
  layout.version = 0x0A000102;
  layout.properties = {{4, u"Caf\u00e9 \u2713 \U0001D11E"}, {200, u"high"}};
  EntryLayout file = FileEntry("abcabcabc", true, u"\\Temp\\a.txt");
  file.type_flags = 0x21;
  EntryLayout odd;
  odd.type = 13;
  odd.entry_flags = 0xF0;
  odd.type_flags = 0x3F;
  layout.entries = {file, odd};
  Write("sub/p.pkg", BuildPackage(layout));

  ToolResult dump = Pack({"dump", "sub/p.pkg"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  EXPECT_EQ(WithoutHandles(dump.out),
            "--------------------------------\n"
            "Package Dump: (sub/p.pkg - '')\n"
            "--------------------------------\n"
            "        Flags: 0x91 - ( NoRemove Patch Template)\n"
            "     Platform: 0x00\n"
            "      Version: 10.00.01.02\n"
            "   BlobOffset: 13\n"
            "      BlobLen: " + std::to_string(file.blob.size()) + "\n"
            "   CatalogLen: 69\n"
            "DescriptorLen: 32\n"
            "   NumEntries: 2\n"
            "          Properties: 2\n"
            "      AppDisplayName: Caf\xc3\xa9 \xe2\x9c\x93 \xf0\x9d\x84\x9e\n"
            "                 200: high\n"
            "--------------------------------\n"
            "     Entry 1: AppFile\n"
            "--------------------------------\n"
            " Entry Flags: 0x05 - ( BlobCompressed ShouldInstall)\n"
            "  Type Flags: 0x21 - ( SelfRegister Hidden)\n"
            "  BlobOffset: 13\n"
            "  BlobLength: " + std::to_string(file.blob.size()) + "\n"
            "   FinalSize: 9\n"
            "    FinalCRC: " + std::to_string(Crc("abcabcabc")) + "\n"
            "DescriptorLn: 25\n"
            "BlobFileName: 'sub/p.pkg'\n"
            "BlobFileHndl: H\n"
            "          Properties: 1\n"
            "                 Dst: \\Temp\\a.txt\n"
            "--------------------------------\n"
            "     Entry 2: Unknown\n"
            "--------------------------------\n"
            " Entry Flags: 0xf0 - ()\n"
            "  Type Flags: 0x3f - ()\n"
            "  BlobOffset: 0\n"
            "  BlobLength: 0\n"
            "   FinalSize: 0\n"
            "    FinalCRC: 0\n"
            "DescriptorLn: 0\n"
            "BlobFileName: ''\n"
            "BlobFileHndl: 0xffffffff\n"
            "          Properties: 0\n");

  ToolResult verify = Pack({"verify", "sub/p.pkg"});
  EXPECT_EQ(verify.status, 0) << verify.err;
  EXPECT_EQ(verify.out, "sub/p.pkg: OK, 1 blob verified\n");
}

TEST_F(PackDumpTest, ListShowsOneLinePerEntryAndBothCommandsWriteJson) {
  PackageLayout layout;
  layout.version = 0x01020304;
  layout.properties = {{3, u"Demo \"quoted\""}};
  EntryLayout file = FileEntry("hello world\n", true, u"$(APPDIR)\\a.txt");
  file.type_flags = 0x10;
  file.properties.push_back({4, u"Main; Extra"});
  layout.entries = {Entry(8, 0x04, {{1, u"$(APPDIR)"}}), file, Entry(13, 0x00, {})};
  Write("p.pkg", BuildPackage(layout));
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08x", unsigned(Crc("hello world\n")));

  ToolResult list = Pack({"list", "p.pkg"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            "Folder        ShouldInstall                                    0 00000000 $(APPDIR)\n"
            "AppFile       BlobCompressed,ShouldInstall,ReadOnly           12 " + std::string(crc) +
                " $(APPDIR)\\a.txt [Main,Extra]\n"
            "Unknown       -                                                0 00000000 -\n");

  ToolResult list_json = Pack({"list", "--json", "p.pkg"});
  ASSERT_EQ(list_json.status, 0) << list_json.err;
  EXPECT_NE(list_json.out.find("\"index\": 2,\n      \"type\": \"AppFile\",\n      \"flags\": [\n        "
                               "\"BlobCompressed\",\n        \"ShouldInstall\",\n        \"ReadOnly\"\n      ],\n"
                               "      \"size\": 12,\n      \"crc\": " + std::to_string(Crc("hello world\n")) +
                               ",\n      \"destination\": \"$(APPDIR)\\\\a.txt\",\n      \"features\": [\n"
                               "        \"Main\",\n        \"Extra\"\n      ]"),
            std::string::npos) << list_json.out;
  EXPECT_NE(list_json.out.find("\"destination\": null"), std::string::npos) << list_json.out;

  ToolResult dump_json = Pack({"dump", "--json", "p.pkg"});
  ASSERT_EQ(dump_json.status, 0) << dump_json.err;
  for (const char* part : {"\"version\": \"1.2.3.4\"", "\"name\": \"AppName\",\n      \"value\": \"Demo \\\"quoted\\\"\"",
                           "\"type\": \"Unknown\",\n      \"type_code\": 13", "\"final_size\": 12",
                           "\"type_flag_names\": [\n        \"ReadOnly\"\n      ]"}) {
    EXPECT_NE(dump_json.out.find(part), std::string::npos) << part << "\n" << dump_json.out;
  }
  EXPECT_EQ(dump_json.out.back(), '\n');

  Write("none.pkg", "no package at all, only text");
  ToolResult broken = Pack({"list", "none.pkg"});
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.out, "");
  EXPECT_EQ(std::count(broken.err.begin(), broken.err.end(), '\n'), 1) << broken.err;
}

TEST_F(PackDumpTest, BrokenFilesGiveTheReadersMessageWithThePathAsWritten) {
  Write("sub/short.pkg", "too short");
  std::string good = BuildPackage({});
  std::string bad_signature = good;
  bad_signature[good.size() - 24] = 0x02;
  Write("sub/signature.pkg", bad_signature);
  Write("sub/contents.pkg", "x" + good);
  // Lengths that add up only modulo 2^32 pass the header check and place the descriptor or
  // the catalog past the end of the file.
  auto wrapped = [&](uint32_t blob_len, uint32_t catalog_len, uint16_t descriptor_len) {
    std::string fields;
    Put32(fields, 0);
    Put32(fields, blob_len);
    Put32(fields, catalog_len);
    Put16(fields, descriptor_len);
    return std::string(good).replace(good.size() - 14, 14, fields);
  };
  Write("sub/descriptor.pkg", wrapped(0xFFFFFF00, 0, 0x100));
  Write("sub/catalog.pkg", wrapped(0xFFFFFFF0, 0x10, 0));

  struct Case {
    const char* file;
    const char* message;
  } cases[] = {
      {"sub/missing.pkg", "Error opening package 'sub/missing.pkg': 0x80070002 (The system cannot find the file specified)"},
      {"sub/short.pkg", "'sub/short.pkg' is not a package (it does not end in a package header)"},
      {"sub/signature.pkg", "'sub/signature.pkg' is not a package (it does not end in a package header)"},
      {"sub/contents.pkg", "Invalid header contents for package 'sub/contents.pkg' (The data is invalid)"},
      {"sub/descriptor.pkg", "Error reading package descriptor for package 'sub/descriptor.pkg': 0x80070026 "
                             "(the file is shorter than its header says)\n"},
      {"sub/catalog.pkg", "Error reading catalog data for package 'sub/catalog.pkg': 0x80070026 "
                          "(the file is shorter than its header says)\n"},
  };
  for (const Case& c : cases) {
    for (const char* command : {"dump", "verify", "lint", "unpack"}) {
      ToolResult result = std::string(command) == "unpack" ? Pack({command, c.file, "-o", "out"})
                                                           : Pack({command, c.file});
      EXPECT_EQ(result.status, 1) << command << " " << c.file;
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err.rfind(std::string("stowkit-pack: ") + c.message, 0), 0u) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
  }
}

TEST_F(PackDumpTest, VerifyNamesTheEntryWhoseBlobIsCutShortOrCorrupt) {
  PackageLayout layout;
  layout.entries = {FileEntry("stored content", false, u"\\a"), FileEntry("deflated content", true, u"\\b"),
                    FileEntry("deflated too", true, u"\\c"), Entry(1, 0x04, {{1, u"\\d"}}),
                    FileEntry("", true, u"\\e"), FileEntry("short", false, u"\\f"),
                    Entry(1, 0x04, {{1, u"\\g"}})};
  layout.entries[1].blob[0] = char(0xFF);  // a reserved block type: no valid stream
  layout.entries[3].crc = 0xEE6B2800;      // no blob, so no content, whose CRC is 0
  // Ten bytes, it says; 2 GiB of zeros, the stream gives, and its CRC is theirs.
  layout.entries[4].blob = ZerosDeflate(2048, layout.entries[4].crc);
  layout.entries[4].final_size = 10;
  layout.entries[5].final_size = 100;
  layout.entries[6].final_size = 77;
  std::string bytes = BuildPackage(layout);
  bytes[RecordAt(bytes, 0) + 4 + 3] = 0x01;  // the stored blob's BlobOffset, moved past the end of the file
  // This deflate stream ends where it should, but its BlobLength claims the rest of the file
  // and more: extraction would never notice.
  Set32(bytes, RecordAt(bytes, 2) + 8, uint32_t(bytes.size()));
  Write("p.pkg", bytes);
  ToolResult verify = Pack({"verify", "p.pkg"});
  EXPECT_EQ(verify.status, 1);
  EXPECT_EQ(verify.out, "");
  EXPECT_EQ(verify.err,
            "stowkit-pack: p.pkg: entry 1 (AppFile): the blob runs past the end of the file (0x80070026)\n"
            "stowkit-pack: p.pkg: entry 2 (AppFile): corrupt deflate stream (0x80004005)\n"
            "stowkit-pack: p.pkg: entry 3 (AppFile): the blob runs past the end of the file (0x80070026)\n"
            "stowkit-pack: p.pkg: entry 4 (AppFile): it has no blob, so no content, yet its FinalCRC is "
            "0xee6b2800 (0x80070017)\n"
            "stowkit-pack: p.pkg: entry 5 (AppFile): its content is larger than its FinalSize of 10 bytes "
            "(0x80070018)\n"
            "stowkit-pack: p.pkg: entry 6 (AppFile): its content is 5 bytes, not its FinalSize of 100 (0x80070018)\n"
            "stowkit-pack: p.pkg: entry 7 (AppFile): it has no blob, so no content, yet its FinalSize is 77 bytes "
            "(0x80070018)\n");
}

}  // namespace
}  // namespace stowkit
