// Registry batches: what a batch holds reaches other processes only when it ends (or is
// flushed), a call that fails inside one changes nothing and leaves the batch going, and a
// flush with nothing new since the last one syncs nothing; a listing by index sees what
// another process changed on its way. Another process's view is a connection of its own to
// the device's registry file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "coredll/windows.h"
#include "support/temp_device.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit {
namespace {

using testing::TempDevice;

// The registry file as another device process sees it.
class OtherProcess {
 public:
  explicit OtherProcess(const TempDevice& device) {
    sqlite3_open_v2((device.folder() + "/registry.db").c_str(), &db_, SQLITE_OPEN_READWRITE,
                    nullptr);
    auto fold = [](void*, int a_bytes, const void* a, int b_bytes, const void* b) {
      return CompareNoCase({static_cast<const char16_t*>(a), size_t(a_bytes) / 2},
                           {static_cast<const char16_t*>(b), size_t(b_bytes) / 2});
    };
    sqlite3_create_collation(db_, "fold", SQLITE_UTF16_ALIGNED, nullptr, fold);
  }
  ~OtherProcess() { sqlite3_close(db_); }

  int64_t Number(const char* sql) {
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db_, sql, -1, &query, nullptr);
    int64_t value = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
    sqlite3_finalize(query);
    return value;
  }
  int64_t Values() { return Number("SELECT count(*) FROM vals"); }
  int64_t Flushes() { return Number("SELECT count FROM flushes"); }
  bool Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

 private:
  sqlite3* db_ = nullptr;
};

LONG Write(const char16_t* subkey, const char16_t* name, DWORD number) {
  HKEY key = nullptr;
  LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, 0, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return error;
  error = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                         sizeof number);
  RegCloseKey(key);
  return error;
}

bool Has(const char16_t* subkey, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, 0, &key) != ERROR_SUCCESS) return false;
  LONG error = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return error == ERROR_SUCCESS;
}

class RegistryBatchTest : public ::testing::Test {
 protected:
  // The registry file exists before the other process looks at it.
  void SetUp() override { ASSERT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS); }

  TempDevice device_;
};

TEST_F(RegistryBatchTest, OthersSeeTheWritesOfANestedBatchWhenTheOutermostEnds) {
  OtherProcess other(device_);
  ASSERT_EQ(RegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(Write(u"Software\\A", u"one", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(Write(u"Software\\A\\B", u"two", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegEndBatch(), ERROR_SUCCESS);
  // This process reads its own writes at once; the other process sees none of them yet.
  EXPECT_TRUE(Has(u"Software\\A", u"one"));
  EXPECT_TRUE(Has(u"Software\\A\\B", u"two"));
  EXPECT_EQ(other.Values(), 0);
  EXPECT_EQ(RegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(other.Values(), 2);
  // Calls after the batch are each committed at once again.
  EXPECT_EQ(Write(u"Software\\A", u"three", 3), ERROR_SUCCESS);
  EXPECT_EQ(other.Values(), 3);
  EXPECT_EQ(RegEndBatch(), ERROR_SUCCESS);  // no batch open: nothing to end
}

TEST_F(RegistryBatchTest, ACallThatFailsInsideABatchChangesNothingAndTheBatchGoesOn) {
  OtherProcess other(device_);
  HKEY doomed = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Doomed", 0, nullptr, 0, 0, nullptr,
                            &doomed, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(Write(u"Software\\Kept", u"before", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Doomed"), ERROR_SUCCESS);
  DWORD number = 7;
  EXPECT_EQ(RegSetValueExW(doomed, u"lost", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof number),
            ERROR_KEY_DELETED);
  // Seventeen levels: too deep, so none of them is made.
  EXPECT_EQ(Write(u"Software\\1\\2\\3\\4\\5\\6\\7\\8\\9\\10\\11\\12\\13\\14\\15\\16", u"deep", 1),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Write(u"Software\\Kept", u"after", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegEndBatch(), ERROR_SUCCESS);
  RegCloseKey(doomed);
  EXPECT_EQ(other.Values(), 2);
  EXPECT_TRUE(Has(u"Software\\Kept", u"before"));
  EXPECT_TRUE(Has(u"Software\\Kept", u"after"));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\1", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Doomed", 0, 0, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryBatchTest, AFlushInsideABatchCommitsWhatItHoldsAndTheBatchGoesOn) {
  OtherProcess other(device_);
  ASSERT_EQ(RegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(Write(u"Software\\F", u"one", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(other.Values(), 1);
  EXPECT_EQ(Write(u"Software\\F", u"two", 2), ERROR_SUCCESS);
  EXPECT_EQ(other.Values(), 1);
  EXPECT_EQ(RegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(other.Values(), 2);
}

// Every flush is a full sync of the log, the one slow part of the registry: one that has
// nothing new to make durable (an install flushes all three roots at its end) does nothing.
TEST_F(RegistryBatchTest, AFlushSyncsOnlyWhenSomethingWasCommittedSinceTheLast) {
  OtherProcess other(device_);
  int64_t flushes = other.Flushes();
  EXPECT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
  EXPECT_EQ(other.Flushes(), flushes);

  EXPECT_EQ(Write(u"Software\\G", u"one", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(other.Flushes(), flushes + 1);

  // Another process's commit counts too: this flush makes it durable.
  ASSERT_TRUE(other.Exec("DELETE FROM vals"));
  EXPECT_EQ(RegFlushKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(other.Flushes(), flushes + 2);

  // Flushes or not, the log is copied into the database before it grows far past 4 MiB:
  // every process that opens the registry first reads all of it. These writes log 8 MiB.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Log", 0, nullptr, 0, 0, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  std::string bytes(1500, 'x');
  for (int i = 0; i < 1200; ++i) {
    std::u16string name = u"v" + Utf8ToUtf16(std::to_string(i));
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size())),
              ERROR_SUCCESS);
  }
  RegCloseKey(key);
  EXPECT_LE(std::filesystem::file_size(device_.folder() + "/registry.db-wal"), 5u << 20);
  EXPECT_GE(std::filesystem::file_size(device_.folder() + "/registry.db"), 1u << 20);
}

// A batch remembers the keys its paths led to; a key deleted inside the batch and made
// again under the same path is a new key, which the path must lead to from then on.
TEST_F(RegistryBatchTest, APathLeadsToTheKeyMadeAgainAfterADeleteInsideABatch) {
  ASSERT_EQ(RegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(Write(u"Software\\W\\X", u"one", 1), ERROR_SUCCESS);
  EXPECT_EQ(Write(u"software\\w\\x", u"two", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\W"), ERROR_SUCCESS);
  EXPECT_EQ(Write(u"SOFTWARE\\W\\X", u"again", 3), ERROR_SUCCESS);
  EXPECT_TRUE(Has(u"Software\\W\\X", u"again"));
  EXPECT_EQ(RegEndBatch(), ERROR_SUCCESS);
  EXPECT_TRUE(Has(u"Software\\W\\X", u"again"));
  EXPECT_FALSE(Has(u"Software\\W\\X", u"one"));
  EXPECT_FALSE(Has(u"Software\\W\\X", u"two"));
}

TEST_F(RegistryBatchTest, AListingByIndexSeesWhatAnotherProcessDeletedOnItsWay) {
  for (const char16_t* name : {u"a", u"b", u"c"}) {
    ASSERT_EQ(Write(u"Software\\Listed", name, 1), ERROR_SUCCESS);
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Listed", 0, 0, &key), ERROR_SUCCESS);
  WCHAR name[MAX_PATH];
  DWORD chars = MAX_PATH;
  for (DWORD i : {0, 1}) {
    chars = MAX_PATH;
    ASSERT_EQ(RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
  }
  OtherProcess other(device_);
  ASSERT_TRUE(other.Exec("DELETE FROM vals WHERE folded = 'A'"));
  chars = MAX_PATH;
  ASSERT_EQ(RegEnumValueW(key, 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, chars), u"c");
  RegCloseKey(key);
}

}  // namespace
}  // namespace stowkit
