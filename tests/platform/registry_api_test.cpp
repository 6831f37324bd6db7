// The registry calls on a real device and its database file: names, types and bytes, buffer
// sizes, enumeration order, tree deletion and handles to deleted keys, bad arguments; the
// file as the standard sqlite3 program reads it, and a file of the first schema brought up
// to date.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "coredll/windows.h"
#include "support/temp_device.h"
#include "support/tool_run.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit {
namespace {

using testing::TempDevice;

HKEY Create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, 0, nullptr, &key, disposition),
            ERROR_SUCCESS);
  return key;
}

LONG Open(HKEY root, const char16_t* path, HKEY& key) {
  return RegOpenKeyExW(root, path, 0, KEY_READ, &key);
}

LONG SetBytes(HKEY key, const char16_t* name, DWORD type, const std::string& bytes) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        DWORD(bytes.size()));
}

LONG SetText(HKEY key, const char16_t* name, std::u16string_view text) {
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  return SetBytes(key, name, REG_SZ, bytes + std::string(2, '\0'));
}

// The value's bytes; its type in `type`.
std::string Query(HKEY key, const char16_t* name, DWORD* type = nullptr) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, nullptr, &size), ERROR_SUCCESS);
  std::string bytes(size, '\0');
  EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes.data()),
                             &size), ERROR_SUCCESS);
  return bytes;
}

std::vector<std::u16string> Subkeys(HKEY key) {
  std::vector<std::u16string> names;
  WCHAR name[MAX_PATH];
  DWORD chars = MAX_PATH;
  for (DWORD i = 0; RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS; ++i, chars = MAX_PATH) {
    names.emplace_back(name, chars);
  }
  return names;
}

std::vector<std::u16string> ValueNames(HKEY key) {
  std::vector<std::u16string> names;
  WCHAR name[MAX_PATH];
  DWORD chars = MAX_PATH;
  for (DWORD i = 0; RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS; ++i, chars = MAX_PATH) {
    names.emplace_back(name, chars);
  }
  return names;
}

class RegistryApiTest : public ::testing::Test {
 protected:
  TempDevice device_;
};

TEST_F(RegistryApiTest, NamesDifferingOnlyInCaseAreOneKeyOrValue) {
  DWORD disposition = 0;
  HKEY first = Create(HKEY_LOCAL_MACHINE, u"Software\\Vendor\\\u00C4pfel", &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY second = Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vendor\\\u00E4PFEL", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  ASSERT_EQ(SetText(first, u"Path", u"\\Windows"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(second, u"PATH", u"\\Temp"), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(first), std::vector<std::u16string>{u"Path"});  // first spelling kept
  EXPECT_EQ(Query(first, u"path"), Query(second, u"Path"));

  HKEY software;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"SOFTWARE", software), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(software), std::vector<std::u16string>{u"Vendor"});
  // Folding reaches beyond ASCII (Greek, Cyrillic), as in file names.
  HKEY greek = Create(software, u"\u03A3\u0416");
  HKEY again;
  EXPECT_EQ(Open(software, u"\u03C3\u0436", again), ERROR_SUCCESS);
  for (HKEY key : {first, second, software, greek, again}) EXPECT_EQ(RegCloseKey(key), 0);
}

TEST_F(RegistryApiTest, ValuesKeepTheirTypeAndBytes) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Types");
  const std::string text("a\0b\0\0\0", 6), binary("\0\xff\0\x01", 4), number("\x2a\0\0\0", 4),
      multi("x\0\0\0y\0\0\0\0\0", 10), odd("\x01\x02\x03", 3);
  ASSERT_EQ(SetBytes(key, u"sz", REG_SZ, text), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key, u"bin", REG_BINARY, binary), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key, u"dw", REG_DWORD, number), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key, u"multi", REG_MULTI_SZ, multi), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key, u"odd", 0x4242, odd), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  ASSERT_EQ(SetBytes(key, nullptr, REG_EXPAND_SZ, text), ERROR_SUCCESS);

  DWORD type = 0;
  EXPECT_EQ(Query(key, u"sz", &type), text);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(Query(key, u"BIN", &type), binary);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  EXPECT_EQ(Query(key, u"dw", &type), number);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(Query(key, u"multi", &type), multi);
  EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
  EXPECT_EQ(Query(key, u"odd", &type), odd);
  EXPECT_EQ(type, 0x4242u);
  EXPECT_EQ(Query(key, u"empty", &type), "");
  // A null name and an empty one are the same unnamed value.
  EXPECT_EQ(Query(key, u"", &type), text);
  EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));

  // Overwriting may change the type too.
  ASSERT_EQ(SetBytes(key, u"sz", REG_DWORD, number), ERROR_SUCCESS);
  EXPECT_EQ(Query(key, u"sz", &type), number);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, SmallBuffersAnswerMoreDataWithTheSizeNeeded) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Sizes");
  ASSERT_EQ(SetBytes(key, u"ten", REG_BINARY, "0123456789"), ERROR_SUCCESS);
  BYTE buffer[16] = {};
  DWORD size = 4, type = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"ten", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  size = 10;
  EXPECT_EQ(RegQueryValueExW(key, u"ten", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), "0123456789");

  EXPECT_EQ(RegQueryValueExW(key, u"ten", nullptr, nullptr, buffer, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key, u"none", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);

  // Enumeration: a short name buffer, then a short data buffer.
  WCHAR name[8];
  DWORD chars = 3;
  size = sizeof buffer;
  EXPECT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, nullptr, buffer, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(chars, 4u);  // "ten" and its terminator
  chars = 4;
  size = 9;
  EXPECT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  chars = 4;
  EXPECT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, &type, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"ten");
  EXPECT_EQ(chars, 3u);

  HKEY sub = Create(key, u"Subkey");
  chars = 6;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(chars, 7u);
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Subkey");
  RegCloseKey(sub);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, EnumerationFollowsCreationOrder) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Order");
  for (const char16_t* name : {u"b", u"a", u"c"}) RegCloseKey(Create(key, name));
  EXPECT_EQ(Subkeys(key), (std::vector<std::u16string>{u"b", u"a", u"c"}));
  ASSERT_EQ(RegDeleteKeyW(key, u"A"), ERROR_SUCCESS);
  RegCloseKey(Create(key, u"a"));
  EXPECT_EQ(Subkeys(key), (std::vector<std::u16string>{u"b", u"c", u"a"}));

  for (const char16_t* name : {u"z", u"y", u"x"}) ASSERT_EQ(SetText(key, name, u"1"), 0);
  ASSERT_EQ(SetText(key, u"Y", u"2"), ERROR_SUCCESS);  // an overwrite keeps its place
  ASSERT_EQ(RegDeleteValueW(key, u"z"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, u"z", u"3"), ERROR_SUCCESS);  // a new value goes last
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"y", u"x", u"z"}));

  WCHAR name[MAX_PATH];
  DWORD chars = MAX_PATH;
  EXPECT_EQ(RegEnumKeyExW(key, 3, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumValueW(key, 3, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  // An index counts the entries as they are at the call, also halfway through a listing.
  for (DWORD i : {0, 1}) {
    chars = MAX_PATH;
    ASSERT_EQ(RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(RegDeleteValueW(key, u"y"), ERROR_SUCCESS);
  chars = MAX_PATH;
  ASSERT_EQ(RegEnumValueW(key, 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, chars), u"z");
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, DeletingAKeyTakesItsTreeAndItsHandlesSeeItGone) {
  HKEY deep = Create(HKEY_LOCAL_MACHINE, u"Tree\\Branch\\Leaf");
  ASSERT_EQ(SetText(deep, u"v", u"leaf"), ERROR_SUCCESS);
  HKEY branch = Create(HKEY_LOCAL_MACHINE, u"Tree\\Branch");
  HKEY other = Create(HKEY_LOCAL_MACHINE, u"Other");

  ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"TREE"), ERROR_SUCCESS);
  HKEY gone;
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Tree", gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(gone, nullptr);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Tree"), ERROR_FILE_NOT_FOUND);

  // A key made again under the same name is a new key: the old handles stay dead.
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Tree\\Branch\\Leaf"));
  BYTE data[8];
  DWORD size = sizeof data;
  WCHAR name[MAX_PATH];
  DWORD chars = MAX_PATH;
  HKEY sub;
  EXPECT_EQ(RegQueryValueExW(deep, u"v", nullptr, nullptr, data, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(SetText(deep, u"v", u"again"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueW(deep, u"v"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumKeyExW(branch, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumValueW(branch, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyExW(branch, u"New", 0, nullptr, 0, 0, nullptr, &sub, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(Open(branch, u"Leaf", sub), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryInfoKeyW(branch, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(deep), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(branch), ERROR_SUCCESS);

  EXPECT_EQ(SetText(other, u"still", u"here"), ERROR_SUCCESS);  // a neighbour is untouched
  RegCloseKey(other);
}

TEST_F(RegistryApiTest, BadArgumentsAndHandlesAreRefused) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"A", 0, nullptr, 0, 0, nullptr, nullptr,
                            nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, 0, 0, nullptr, &key,
                            nullptr), ERROR_INVALID_PARAMETER);
  for (const char16_t* path : {u"\\Lead", u"Empty\\\\Name"}) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &key,
                              nullptr), ERROR_INVALID_PARAMETER) << Utf16ToUtf8(path);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, path, key), ERROR_INVALID_PARAMETER);
  }
  std::u16string longest(255, u'n'), too_long(256, u'n');
  HKEY ok = Create(HKEY_LOCAL_MACHINE, longest.c_str());
  EXPECT_EQ(RegCreateKeyExW(ok, too_long.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetText(ok, longest.c_str(), u"fits"), ERROR_SUCCESS);
  EXPECT_EQ(SetText(ok, too_long.c_str(), u"does not"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(ok, u"v", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  // Sixteen levels below the root is the deepest a key may lie, counted from the root
  // whichever key the path starts from.
  HKEY level1 = Create(HKEY_LOCAL_MACHINE, u"1");
  HKEY level16 = Create(level1, u"2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12\\13\\14\\15\\16");
  EXPECT_EQ(RegCreateKeyExW(level16, u"17", 0, nullptr, 0, 0, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(level1, u"2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12\\13\\14\\15\\16\\17", 0,
                            nullptr, 0, 0, nullptr, &key, nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(level16);
  RegCloseKey(level1);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
  DWORD chars = 4;
  EXPECT_EQ(RegEnumKeyExW(ok, 0, nullptr, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(ok), ERROR_SUCCESS);

  // A closed key, a file handle and a made-up value are no keys.
  EXPECT_EQ(RegCloseKey(ok), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetText(ok, u"v", u"x"), ERROR_INVALID_HANDLE);
  HANDLE file = CreateFileW(u"\\Temp\\f", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RegCloseKey(static_cast<HKEY>(file)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Open(static_cast<HKEY>(file), u"x", key), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(file));  // RegCloseKey left the file's handle alone
  EXPECT_EQ(Open(reinterpret_cast<HKEY>(uintptr_t{0x80000004}), u"x", key),
            ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApiTest, RootsAreSeparateAndOpenAsThemselves) {
  HKEY machine = Create(HKEY_LOCAL_MACHINE, u"Same");
  HKEY user = Create(HKEY_CURRENT_USER, u"Same");
  ASSERT_EQ(SetText(machine, u"who", u"machine"), ERROR_SUCCESS);
  HKEY probe;
  EXPECT_EQ(RegQueryValueExW(user, u"who", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open(HKEY_CLASSES_ROOT, u"Same", probe), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"", probe), ERROR_SUCCESS);
  EXPECT_EQ(probe, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE), std::vector<std::u16string>{u"Same"});  // still open

  // A non-root opened with no subkey is a second handle to the same key, with a trailing
  // separator ignored.
  HKEY twin, trailing;
  ASSERT_EQ(Open(machine, nullptr, twin), ERROR_SUCCESS);
  EXPECT_NE(twin, machine);
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"same\\", trailing), ERROR_SUCCESS);
  RegCloseKey(machine);
  EXPECT_EQ(Query(twin, u"who"), Query(trailing, u"WHO"));
  for (HKEY key : {user, twin, trailing}) RegCloseKey(key);
}

TEST_F(RegistryApiTest, InfoKeyCountsAndMeasures) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Info");
  RegCloseKey(Create(key, u"abc"));
  RegCloseKey(Create(key, u"abcdefg"));
  ASSERT_EQ(SetText(key, u"name", u"0123456789"), ERROR_SUCCESS);  // 22 bytes
  ASSERT_EQ(SetBytes(key, u"longer name", REG_BINARY, "1"), ERROR_SUCCESS);
  DWORD subkeys = 0, longest_subkey = 0, values = 0, longest_name = 0, longest_data = 0;
  DWORD class_chars = 5;
  WCHAR class_name[5] = u"junk";
  ASSERT_EQ(RegQueryInfoKeyW(key, class_name, &class_chars, nullptr, &subkeys, &longest_subkey,
                             nullptr, &values, &longest_name, &longest_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(longest_subkey, 7u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(longest_name, 11u);
  EXPECT_EQ(longest_data, 22u);
  EXPECT_EQ(class_chars, 0u);
  EXPECT_EQ(class_name[0], 0);
  RegCloseKey(key);
}

TEST(RegistryDevices, EachDeviceHasItsOwnRegistryFile) {
  TempDevice first;
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Mine");
  ASSERT_EQ(SetText(key, u"v", u"first"), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(std::filesystem::exists(first.folder() + "/registry.db"));
  {
    TempDevice second;  // selected now: the first device's registry is out of sight
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Mine", key), ERROR_FILE_NOT_FOUND);
    coredll::SelectDevice(first.folder());
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"Mine", key), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, u"v"), std::string("f\0i\0r\0s\0t\0\0\0", 12));
    RegCloseKey(key);
  }
}

// What the standard sqlite3 program prints for `sql` on the device's registry, with no code of
// ours loaded; its error output follows a "!" line.
std::string Sqlite(const TempDevice& device, const std::string& sql) {
  testing::ToolResult result = testing::RunShell(
      testing::CommandLine("sqlite3", {"registry.db", sql}), device.folder());
  return result.status == 0 && result.err.empty() ? result.out : result.out + "!\n" + result.err;
}

TEST(RegistryDevices, TheSqliteProgramChecksAndReadsANewRegistry) {
  TempDevice device;
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Software\\Vendor");
  ASSERT_EQ(SetText(key, u"Path", u"\\Windows"), ERROR_SUCCESS);
  ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Sqlite(device, "PRAGMA integrity_check"), "ok\n");
  EXPECT_EQ(Sqlite(device, "SELECT k.name, v.name FROM keys k JOIN vals v ON v.key = k.id "
                           "WHERE k.folded = 'VENDOR' AND v.folded = 'PATH'"),
            "Vendor|Path\n");
}

// A registry.db as the first schema made it: names compared through a collation of the
// platform's own, which nothing but the platform knows.
void WriteFirstSchemaRegistry(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  auto fold = [](void*, int a_bytes, const void* a, int b_bytes, const void* b) {
    return CompareNoCase({static_cast<const char16_t*>(a), size_t(a_bytes) / 2},
                         {static_cast<const char16_t*>(b), size_t(b_bytes) / 2});
  };
  sqlite3_create_collation(db, "fold", SQLITE_UTF16_ALIGNED, nullptr, fold);
  const char* sql = R"sql(
PRAGMA page_size = 1024;
PRAGMA encoding = 'UTF-16le';
PRAGMA journal_mode = WAL;
CREATE TABLE keys (id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,
                   name TEXT NOT NULL COLLATE fold, UNIQUE (parent, name));
CREATE INDEX keys_in_order ON keys (parent);
CREATE TABLE vals (key INTEGER NOT NULL, seq INTEGER NOT NULL, name TEXT NOT NULL COLLATE fold,
                   type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (key, seq)) WITHOUT ROWID;
CREATE UNIQUE INDEX vals_by_name ON vals (key, name);
CREATE TABLE flushes (count INTEGER NOT NULL);
INSERT INTO flushes VALUES (3);
INSERT INTO keys (id, parent, name) VALUES (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER'),
  (3, 0, 'HKEY_LOCAL_MACHINE'), (4, 0, 'HKEY_USERS'), (5, 3, 'Software'), (6, 5, 'Vendor'),
  (8, 6, char(196) || 'pfel'), (9, 6, 'Birnen'), (20, 6, 'Deleted');
DELETE FROM keys WHERE id = 20;
INSERT INTO vals VALUES (6, 1, 'Zeta', 1, X'5A000000'), (6, 2, 'alpha', 4, X'2A000000'),
  (6, 3, 'Mid', 3, X'00FF01'), (8, 1, char(963), 3, X'');
)sql";
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << error;
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(RegistryDevices, AFirstSchemaRegistryIsMigratedWithEveryValue) {
  TempDevice device;
  WriteFirstSchemaRegistry(device.folder() + "/registry.db");
  ASSERT_NE(Sqlite(device, "PRAGMA integrity_check"), "ok\n");  // what users met before
  coredll::SelectDevice(device.folder());  // a fresh connection finds the old file

  HKEY vendor;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vendor", vendor), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(vendor), (std::vector<std::u16string>{u"Zeta", u"alpha", u"Mid"}));
  DWORD type = 0;
  EXPECT_EQ(Query(vendor, u"ZETA", &type), std::string("Z\0\0\0", 4));
  EXPECT_EQ(type, DWORD{REG_SZ});
  EXPECT_EQ(Query(vendor, u"Alpha", &type), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(type, DWORD{REG_DWORD});
  EXPECT_EQ(Query(vendor, u"mid", &type), std::string("\0\xff\x01", 3));
  EXPECT_EQ(type, DWORD{REG_BINARY});
  EXPECT_EQ(Subkeys(vendor), (std::vector<std::u16string>{u"\u00C4pfel", u"Birnen"}));
  HKEY apples;
  ASSERT_EQ(Open(vendor, u"\u00E4PFEL", apples), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(apples), std::vector<std::u16string>{u"\u03C3"});
  EXPECT_EQ(Query(apples, u"\u03A3", &type), "");
  EXPECT_EQ(type, DWORD{REG_BINARY});
  // Names still fold after the move, and new keys and values take the new form.
  ASSERT_EQ(SetText(vendor, u"ZETA", u"z"), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(vendor), (std::vector<std::u16string>{u"Zeta", u"alpha", u"Mid"}));
  HKEY fresh = Create(vendor, u"Kirschen");
  ASSERT_EQ(RegFlushKey(fresh), ERROR_SUCCESS);

  EXPECT_EQ(Sqlite(device, "PRAGMA integrity_check"), "ok\n");
  EXPECT_EQ(Sqlite(device, "PRAGMA user_version"), "1\n");
  // The id of the key deleted before the move is not given out again.
  EXPECT_EQ(Sqlite(device, "SELECT id > 20, folded FROM keys WHERE name = 'Kirschen'"),
            "1|KIRSCHEN\n");
  EXPECT_EQ(Sqlite(device, "SELECT count(*) FROM keys WHERE folded = 'HKEY_USERS'"), "1\n");
  for (HKEY key : {vendor, apples, fresh}) RegCloseKey(key);
}

}  // namespace
}  // namespace stowkit
