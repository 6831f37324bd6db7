// The commands of stowkit-device. Each prints its result on standard output and returns the
// exit status; a failure is one line on standard error naming the path as the user wrote it.
#pragma once

#include <string>

#include "coredll/device.h"

namespace stowkit::device_tool {

int Init(const std::string& folder, coredll::Platform platform);
int List(const std::string& path, bool long_format);
int Push(const std::string& host_file, const std::string& device_path);
int Pull(const std::string& device_path, const std::string& host_file);
// Prints each finding of coredll::CheckDevice on a line of its own, then, on standard error,
// how many there were, and returns 1; with none, says the device is sound and returns 0.
int Doctor(const std::string& folder);

// The platform's English text for an error number ("error N" when it has none).
std::string SystemErrorText(DWORD error);

// Attribute bits as the listing shows them: "drhsa", a '-' for each bit not set.
std::string AttributeLetters(DWORD attributes);

// Prints "stowkit-device: MESSAGE" on standard error and returns 1.
int Error(const std::string& message);

}  // namespace stowkit::device_tool
