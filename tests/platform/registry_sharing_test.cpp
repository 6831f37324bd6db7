// The registry database shared by device processes: writers at once lose nothing, and a
// writer killed mid-way, or stopped by a full disk, leaves a sound database with everything
// it had flushed or been told was written.
#include <gtest/gtest.h>

#include <string>

#include "coredll/windows.h"
#include "support/child_process.h"
#include "support/device_snapshot.h"
#include "support/temp_device.h"
#include "text/utf.h"

namespace stowkit {
namespace {

using testing::BinPath;
using testing::ChildProcess;
using testing::TempDevice;

std::u16string ValueName(const std::string& prefix, unsigned i) {
  return Utf8ToUtf16(prefix + std::to_string(i));
}

// True when `name` holds "value <i>" as the writer wrote it.
bool HasWrittenValue(HKEY key, const std::string& prefix, unsigned i) {
  char16_t text[32] = {};
  DWORD size = sizeof text, type = 0;
  LONG error = RegQueryValueExW(key, ValueName(prefix, i).c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(text), &size);
  return error == ERROR_SUCCESS && type == REG_SZ &&
         std::u16string(text) == Utf8ToUtf16("value " + std::to_string(i));
}

TEST(RegistrySharing, TwoWritersAtOnceLoseNothing) {
  TempDevice device;
  constexpr unsigned kEach = 5000;
  ChildProcess a({BinPath("registry-writer"), device.folder(), "a", std::to_string(kEach), "0"});
  ChildProcess b({BinPath("registry-writer"), device.folder(), "b", std::to_string(kEach), "0"});
  ASSERT_EQ(a.ReadLine(), "done");
  ASSERT_EQ(b.ReadLine(), "done");

  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Writers", 0, 0, &key), ERROR_SUCCESS);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(values, 2 * kEach);
  unsigned missing = 0;
  for (unsigned i = 0; i < kEach; ++i) {
    missing += !HasWrittenValue(key, "a", i) + !HasWrittenValue(key, "b", i);
  }
  EXPECT_EQ(missing, 0u);
  RegCloseKey(key);
}

// After a writer ended early: the database is sound, holds the first `kept` values the
// writer wrote and still takes writes, seen through a fresh connection as a new process would.
void ExpectSoundWithTheFirstValues(const TempDevice& device, const std::string& prefix,
                                   unsigned kept) {
  EXPECT_EQ(testing::RegistryIntegrity(device.folder()), "ok");
  coredll::SelectDevice(device.folder());
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Writers", 0, 0, &key), ERROR_SUCCESS);
  unsigned missing = 0;
  for (unsigned i = 0; i < kept; ++i) missing += !HasWrittenValue(key, prefix, i);
  EXPECT_EQ(missing, 0u);
  const char16_t text[] = u"after";
  EXPECT_EQ(RegSetValueExW(key, u"after", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           sizeof text), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(RegistrySharing, KilledWriterLeavesASoundDatabaseWithWhatItFlushed) {
  TempDevice device;
  ChildProcess writer({BinPath("registry-writer"), device.folder(), "k", "100000000", "50"});
  unsigned flushed = 0;
  while (flushed < 400) {
    std::string line = writer.ReadLine();
    ASSERT_EQ(line.rfind("flushed ", 0), 0u) << line;
    flushed = unsigned(std::stoul(line.substr(8)));
  }
  writer.Kill();
  ExpectSoundWithTheFirstValues(device, "k", flushed);
}

// A commit's frames reach the log in one write, made during the call that commits: the write
// that fails must fail that call, and every call before it must have been kept.
TEST(RegistrySharing, AWriterStoppedByAFullDiskLosesNoValueItWasToldWasWritten) {
  TempDevice device;
  ChildProcess writer(
      {BinPath("registry-writer"), device.folder(), "f", "100000", "0", std::to_string(300000)});
  std::string line = writer.ReadLine();
  ASSERT_EQ(line.rfind("error ", 0), 0u) << line;
  unsigned written = unsigned(std::stoul(line.substr(line.rfind(' ') + 1)));
  EXPECT_GT(written, 100u);
  ExpectSoundWithTheFirstValues(device, "f", written);
}

}  // namespace
}  // namespace stowkit
