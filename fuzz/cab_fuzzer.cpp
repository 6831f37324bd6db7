// Arbitrary bytes as a CAB file in the device's file system, opened and unpacked member by
// member as the CAB installer stand-in unpacks one. Whatever the CAB declares, every member
// either extracts or fails, and a failed member leaves no file behind.
#include <cstdint>
#include <string>
#include <vector>

#include "cab_reader.h"
#include "coredll/windows.h"
#include "fuzz_support.h"

namespace {

using namespace stowkit;
using fuzz::Check;

std::string device;
constexpr size_t kMembersTried = 16;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  device = fuzz::MakeDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteFile(device + "/fs/Temp/input.cab", fuzz::AsText(data, size));
  cab::CabReader reader;
  if (!reader.Open(u"\\Temp\\input.cab")) return 0;
  std::vector<std::u16string> members = reader.Members();
  for (size_t i = 0; i < members.size() && i < kMembersTried; ++i) {
    bool extracted = reader.Extract(members[i], u"\\Temp\\member.out");
    DWORD attributes = GetFileAttributesW(u"\\Temp\\member.out");
    Check(extracted == (attributes != INVALID_FILE_ATTRIBUTES),
          "a member extracts into a file, or leaves none");
    DeleteFileW(u"\\Temp\\member.out");
  }
  return 0;
}
