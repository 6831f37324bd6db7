// A fresh device with helpers to put package bytes on it and open them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "package/package.h"
#include "support/temp_device.h"

namespace stowkit::testing {

class PackageTest : public ::testing::Test {
 protected:
  // Writes `bytes` to \Temp\NAME and returns the device path.
  std::u16string Put(const std::string& bytes, const std::string& name = "p.pkg") {
    WriteHostFile(device_.Host("Temp/" + name), bytes);
    return u"\\Temp\\" + std::u16string(name.begin(), name.end());
  }
  HRESULT Open(const std::string& bytes, std::unique_ptr<Package>& package) {
    error_.clear();
    return OpenPackage(error_, Put(bytes), package);
  }
  std::string HostFile(const std::string& name) { return ReadHostFile(device_.Host("Temp/" + name)); }
  bool Exists(const std::string& name) {
    return GetFileAttributesW((u"\\Temp\\" + std::u16string(name.begin(), name.end())).c_str()) !=
           INVALID_FILE_ATTRIBUTES;
  }

  TempDevice device_;
  std::u16string error_;
};

}  // namespace stowkit::testing
