// What the fuzz targets share: a private folder for the files they make, a throwaway device
// for the inputs that are read on a device, and stopping on a broken promise.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "coredll/device.h"

namespace stowkit::fuzz {

// Aborts, so libFuzzer keeps the input, when a promise of the code under test is broken.
inline void Check(bool promise, const char* what) {
  if (promise) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  abort();
}

// A new folder under /tmp for this process's files.
inline std::string MakeWorkFolder() {
  char pattern[] = "/tmp/stowkit-fuzz-XXXXXX";
  if (!mkdtemp(pattern)) abort();
  return pattern;
}

// Writes `bytes` to the host file `path`, replacing it.
inline void WriteFile(const std::string& path, std::string_view bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    abort();
  }
}

// A fresh Pocket PC device in a new folder, selected for this process; returns its folder.
inline std::string MakeDevice() {
  std::string folder = MakeWorkFolder() + "/device";
  std::string error;
  if (!coredll::InitDevice(folder, coredll::Platform::kPocketPC, &error)) {
    std::fprintf(stderr, "cannot make a device: %s\n", error.c_str());
    abort();
  }
  coredll::SelectDevice(folder);
  coredll::SetHostMode(false);
  return folder;
}

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Each byte as one wide character of the same value, as the line readers widen text; the
// fuzzer reaches every character below 256 this way without having to learn UTF-8.
inline std::u16string Widen(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char c : bytes) text += char16_t(uint8_t(c));
  return text;
}

}  // namespace stowkit::fuzz
