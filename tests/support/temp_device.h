// A fresh device folder for one test, selected for this process and removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "coredll/device.h"

namespace stowkit::testing {

class TempDevice {
 public:
  explicit TempDevice(coredll::Platform platform = coredll::Platform::kPocketPC) {
    char pattern[] = "/tmp/stowkit-test-XXXXXX";
    folder_ = mkdtemp(pattern);
    std::string error;
    if (!coredll::InitDevice(folder_, platform, &error)) std::abort();
    coredll::SelectDevice(folder_);
    coredll::SetHostMode(false);
    coredll::SetFaults("", nullptr);
  }
  ~TempDevice() {
    coredll::SetFaults("", nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TempDevice(const TempDevice&) = delete;
  TempDevice& operator=(const TempDevice&) = delete;

  const std::string& folder() const { return folder_; }
  // The host path of a path under fs/, written with '/'.
  std::string Host(const std::string& relative) const { return folder_ + "/fs/" + relative; }

  // Copies a host file (a program or library of the build) into fs/.
  void Install(const std::string& host_file, const std::string& relative) const {
    std::filesystem::copy_file(host_file, Host(relative),
                               std::filesystem::copy_options::overwrite_existing);
  }

 private:
  std::string folder_;
};

inline std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

}  // namespace stowkit::testing
