// Registry services on a real device registry: the write rules of the flags word, type
// checks, pruning of emptied keys, tree deletion and copy, and the last-error they leave.
#include "services/registry_services.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_device.h"

namespace stowkit {
namespace {

using testing::TempDevice;
using Names = std::vector<std::u16string>;

bool KeyExists(HKEY root, const char16_t* subkey) {
  HKEY key;
  if (RegOpenKeyExW(root, subkey, 0, 0, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void SetRaw(HKEY root, const char16_t* subkey, const char16_t* name, DWORD type,
            const std::string& bytes) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(root, subkey, 0, nullptr, 0, 0, nullptr, &key, nullptr), 0);
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           DWORD(bytes.size())), 0);
  RegCloseKey(key);
}

// Type and bytes of a value, or "missing".
std::string Raw(HKEY root, const char16_t* subkey, const char16_t* name) {
  HKEY key;
  if (RegOpenKeyExW(root, subkey, 0, 0, &key) != ERROR_SUCCESS) return "missing";
  char data[4096];
  DWORD type = 0, size = sizeof data;
  LONG error = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return "missing";
  return std::to_string(type) + ":" + std::string(data, size);
}

std::string Utf16Bytes(std::u16string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2) +
         std::string(2, '\0');
}

class RegistryServicesTest : public ::testing::Test {
 protected:
  TempDevice device_;
};

TEST_F(RegistryServicesTest, WritesKeepTextTerminatedAndNumbersFourBytes) {
  SetLastError(99);
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"Soft\\App", u"Path", u"\\Windows"), 1);
  EXPECT_EQ(GetLastError(), 0u);
  ASSERT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"Soft\\App", u"Count", 0x01020304), 1);
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"Soft\\App", u"Path"), "1:" + Utf16Bytes(u"\\Windows"));
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"Soft\\App", u"Count"), std::string("4:\x04\x03\x02\x01"));
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"Soft\\App", u"", u""), 1);  // the unnamed value
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"Soft\\App", nullptr), std::string("1:\0\0", 4));
}

TEST_F(RegistryServicesTest, NoOverwriteAndOnlyOverwriteLookForTheSameType) {
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"K", u"text", u"old"), 1);
  ASSERT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"K", u"was number", 7), 1);
  EXPECT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"K", u"text", u"new", kRegNoOverwrite), 1);
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"K", u"text"), "1:" + Utf16Bytes(u"old"));
  // A number of the same name counts as absent to the text writer: it is replaced.
  EXPECT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"K", u"was number", u"text now", kRegNoOverwrite),
            1);
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"K", u"was number"), "1:" + Utf16Bytes(u"text now"));

  // Only-overwrite over nothing: success, and not even the key is made.
  EXPECT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"None\\Deeper", u"v", 1, kRegOnlyOverwrite), 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"None"));
  // ... over text of that name: absent for the number writer, so nothing is written.
  EXPECT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"K", u"text", 5, kRegOnlyOverwrite), 1);
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"K", u"text"), "1:" + Utf16Bytes(u"old"));
  ASSERT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"K", u"n", 1), 1);
  EXPECT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"K", u"n", 2, kRegOnlyOverwrite), 1);
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"K", u"n"), std::string("4:\x02\0\0\0", 6));
}

TEST_F(RegistryServicesTest, DeleteFlagRemovesTheValueAndTheKeysItLeavesEmpty) {
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"A\\B\\C\\D", u"v", u"x"), 1);
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"A\\B\\Side", u"keep", u"y"), 1);
  EXPECT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"A\\B\\C\\D", u"v", u"ignored", kRegDeleteValue), 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"A\\B\\C"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"A\\B\\Side"));  // B held another subkey: stop

  // Emptied all the way up: every key on the path goes, the root stays.
  EXPECT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"A\\B\\Side", u"keep", 0, kRegDeleteValue), 1);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"A"));
}

TEST_F(RegistryServicesTest, ValueDeletesCountMissingThingsAsDone) {
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"Keep\\Empty", u"other", u"x"), 1);
  ASSERT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"Keep\\Empty", u"other", 0), 1);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Keep\\Empty"));  // no pruning without 0x0100

  // Without the removal default a missing value fails; with it, it succeeds and prunes.
  SetLastError(0);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"Keep\\Empty", u"none", 0), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"Keep\\Empty", u"none"), 1);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Keep"));

  // With it, a key that still holds a value or a subkey succeeds and stays.
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"Full", u"other", u"x"), 1);
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"Parent\\Child", u"v", u"x"), 1);
  SetLastError(ERROR_GEN_FAILURE);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"Full", u"none"), 1);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"Parent", u"none"), 1);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Full"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Parent\\Child"));

  // A missing key is success whatever the flags.
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"No\\Such", u"v", 0), 1);
  EXPECT_EQ(GetLastError(), 0u);
}

// A value whose key cannot be opened is gone: success and nothing more. Empty keys above it
// were never this value's to take.
TEST_F(RegistryServicesTest, AMissingKeyIsSuccessAndNoWalkUp) {
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"App\\Left\\Gone", u"v", u"x"), 1);
  ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"App\\Left\\Gone"), ERROR_SUCCESS);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"App\\Left\\Gone", u"v", kRegRemoveEmptyKeys), 1);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"App\\Left"));
  // An install-time Delete line takes that path too (the removal default is its flags).
  EXPECT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"App\\Left\\Gone", u"v", u"", kRegDeleteValue), 1);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"App\\Left"));

  // Without the removal default nothing above the missing key is touched.
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"Kept\\Gone", u"v", u"x"), 1);
  ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Kept\\Gone"), ERROR_SUCCESS);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"Kept\\Gone", u"v", 0), 1);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Kept"));
}

TEST_F(RegistryServicesTest, NoRemoveMakesEveryDeleteASuccessfulNothing) {
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"Stay", u"v", u"x"), 1);
  EXPECT_EQ(DeleteRegValue(HKEY_LOCAL_MACHINE, u"Stay", u"v", kRegNoRemove | kRegRemoveEmptyKeys),
            1);
  EXPECT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, u"Stay", kRegNoRemove), 1);
  EXPECT_EQ(DeleteRegKey(HKEY_LOCAL_MACHINE, u"", kRegNoRemove), 1);
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"Stay", u"v"), "1:" + Utf16Bytes(u"x"));
}

TEST_F(RegistryServicesTest, DeleteKeyTakesTheTreeAndMissingIsDone) {
  for (const char16_t* key : {u"T\\A\\1", u"T\\A\\2", u"T\\B", u"Tx"}) {
    ASSERT_EQ(SetRegDword(HKEY_CURRENT_USER, key, u"v", 1), 1);
  }
  EXPECT_EQ(DeleteRegKey(HKEY_CURRENT_USER, u"t"), 1);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"T"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Tx"));

  SetLastError(5);
  EXPECT_EQ(DeleteRegKey(HKEY_CURRENT_USER, u"T"), 1);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(DeleteRegKey(HKEY_CURRENT_USER, u""), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(RegistryServicesTest, ReadersCheckTheTypeAndLeaveTheOutputOnFailure) {
  std::u16string long_text(700, u'x');
  long_text += u"end";
  ASSERT_EQ(SetRegString(HKEY_LOCAL_MACHINE, u"R", u"long", long_text), 1);
  std::u16string text;
  ASSERT_EQ(GetRegString(HKEY_LOCAL_MACHINE, u"R", u"long", text), 1);
  EXPECT_EQ(text, long_text);  // past the first 520-byte read

  SetRaw(HKEY_LOCAL_MACHINE, u"R", u"expand", REG_EXPAND_SZ, Utf16Bytes(u"%x%"));
  SetRaw(HKEY_LOCAL_MACHINE, u"R", u"short text", REG_SZ, Utf16Bytes(u"1"));
  SetRaw(HKEY_LOCAL_MACHINE, u"R", u"wide number", REG_DWORD, std::string(8, '\1'));
  ASSERT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"R", u"number", 42), 1);
  text = u"unchanged";
  EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, u"R", u"expand", text), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATATYPE));
  EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, u"R", u"number", text), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATATYPE));
  EXPECT_EQ(GetRegString(HKEY_LOCAL_MACHINE, u"R", u"none", text), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(text, u"unchanged");

  uint32_t value = 7;
  for (const char16_t* name : {u"short text", u"long", u"expand"}) {
    EXPECT_EQ(GetRegDword(HKEY_LOCAL_MACHINE, u"R", name, value), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATATYPE));
  }
  EXPECT_EQ(GetRegDword(HKEY_LOCAL_MACHINE, u"R", u"wide number", value), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(GetRegDword(HKEY_LOCAL_MACHINE, u"Missing", u"number", value), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(value, 7u);
  ASSERT_EQ(GetRegDword(HKEY_LOCAL_MACHINE, u"r", u"NUMBER", value), 1);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(RegistryServicesTest, ListsSubkeysInRegistryOrder) {
  for (const char16_t* key : {u"L\\Zeta", u"L\\alpha", u"L\\Mid\\Below"}) {
    ASSERT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, key, u"v", 1), 1);
  }
  Names names = {u"stale"};
  ASSERT_EQ(ListRegSubkeys(HKEY_LOCAL_MACHINE, u"L", names), 1);
  EXPECT_EQ(names, (Names{u"Zeta", u"alpha", u"Mid"}));
  EXPECT_EQ(ListRegSubkeys(HKEY_LOCAL_MACHINE, u"Nothing", names), 0);
  EXPECT_TRUE(names.empty());
}

TEST_F(RegistryServicesTest, CopyTreeCopiesEveryTypeAndLevel) {
  std::string big(3000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  std::u16string long_name(255, u'N');
  SetRaw(HKEY_LOCAL_MACHINE, u"Src", u"bin", REG_BINARY, big);  // beyond the first 1024 bytes
  SetRaw(HKEY_LOCAL_MACHINE, u"Src", long_name.c_str(), 0x77, "odd");
  SetRaw(HKEY_LOCAL_MACHINE, u"Src\\Sub\\Deep", nullptr, REG_MULTI_SZ,
         std::string("a\0\0\0\0\0", 6));
  ASSERT_EQ(SetRegDword(HKEY_LOCAL_MACHINE, u"Src\\Sub", u"n", 9), 1);

  ASSERT_EQ(CopyRegTree(HKEY_LOCAL_MACHINE, u"Src", HKEY_CURRENT_USER, u"Dst\\Here"), 1);
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Dst\\Here", u"bin"), "3:" + big);
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Dst\\Here", long_name.c_str()), "119:odd");
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Dst\\Here\\Sub", u"n"), std::string("4:\x09\0\0\0", 6));
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Dst\\Here\\Sub\\Deep", u""), std::string("7:a\0\0\0\0\0", 8));
  EXPECT_EQ(Raw(HKEY_LOCAL_MACHINE, u"Src", u"bin"), "3:" + big);  // the source is intact
}

TEST_F(RegistryServicesTest, CopyTreeRefusesItselfAndCopiesWhatWasThereBeforeTheCopy) {
  ASSERT_EQ(SetRegDword(HKEY_CURRENT_USER, u"Apps\\One", u"v", 1), 1);
  ASSERT_EQ(SetRegDword(HKEY_CURRENT_USER, u"Back", u"v", 2), 1);
  EXPECT_EQ(CopyRegTree(HKEY_CURRENT_USER, u"Apps", HKEY_CURRENT_USER, u"Apps"), 0);
  EXPECT_EQ(CopyRegTree(HKEY_CURRENT_USER, {}, HKEY_CURRENT_USER, u"X"), 0);
  EXPECT_EQ(CopyRegTree(HKEY_CURRENT_USER, u"Missing", HKEY_CURRENT_USER, u"X"), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"X"));

  // The whole root below one of its own keys: every key that was there is copied (also
  // "Back", whose name starts the destination's), the copy itself is not.
  ASSERT_EQ(CopyRegTree(HKEY_CURRENT_USER, u"", HKEY_CURRENT_USER, u"Backup"), 1);
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Backup\\Apps\\One", u"v"), std::string("4:\x01\0\0\0", 6));
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Backup\\Back", u"v"), std::string("4:\x02\0\0\0", 6));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Backup\\Backup"));

  // A key copied below itself, at any depth, gets one copy of what it held, not a runaway.
  ASSERT_EQ(CopyRegTree(HKEY_CURRENT_USER, u"Apps", HKEY_CURRENT_USER, u"Apps\\One\\Inner"), 1);
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, u"Apps\\One\\Inner\\One", u"v"),
            std::string("4:\x01\0\0\0", 6));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Apps\\One\\Inner\\One\\Inner"));
}

TEST(SplitNameValue, TrimsBothSidesOfTheFirstEquals) {
  std::u16string name, value;
  SplitNameValue(u"  AppName \t=  My App  \r", name, value);
  EXPECT_EQ(name, u"AppName");
  EXPECT_EQ(value, u"My App");
  SplitNameValue(u"a = b = c", name, value);
  EXPECT_EQ(name, u"a");
  EXPECT_EQ(value, u"b = c");
  SplitNameValue(u"  no equals here ", name, value);
  EXPECT_EQ(name, u"no equals here");
  EXPECT_EQ(value, u"");
  SplitNameValue(u"=", name, value);
  EXPECT_EQ(name, u"");
  EXPECT_EQ(value, u"");
}

}  // namespace
}  // namespace stowkit
