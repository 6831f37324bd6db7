// Reading a log file of a test device back as text.
#pragma once

#include <string>

#include "support/temp_device.h"

namespace stowkit::testing {

// The raw bytes of device file `relative` (under fs/), as UTF-16LE code units. An odd byte
// at the end shows up as U+FFFF so that a torn write cannot pass unseen.
inline std::u16string ReadLog(const TempDevice& device, const std::string& relative) {
  std::string bytes = ReadHostFile(device.Host(relative));
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
  }
  if (bytes.size() % 2) text += u'\uFFFF';
  return text;
}

}  // namespace stowkit::testing
