// A fresh device with the installer program on it, for tests that run whole installs and
// removals as a user does: packages written into the device, the program started as a
// device process, its exit code, log files and product records read back.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "coredll/device.h"
#include "coredll/windows.h"
#include "package/package_bytes.h"
#include "support/child_process.h"
#include "support/temp_device.h"
#include "text/utf.h"

namespace stowkit::testing {

class InstallerDevice : public TempDevice {
 public:
  InstallerDevice() { Install(BinPath("stowkit"), "Windows/stowkit.exe"); }

  // Writes a package built from `layout` at device path \Temp\<name>.
  void WritePackage(const PackageLayout& layout, const std::string& name = "app.pkg") const {
    WriteHostFile(Host("Temp/" + name), BuildPackage(layout));
  }

  // Runs \Windows\stowkit.exe with `arguments` as its launchers do (the quoted program path
  // first) and returns its 32-bit exit code.
  DWORD Run(const std::u16string& arguments) const {
    std::u16string line = u"\"\\Windows\\stowkit.exe\" " + arguments;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(u"\\Windows\\stowkit.exe", line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, nullptr, &info)) {
      ADD_FAILURE() << "cannot start the installer: " << GetLastError();
      return 0xFFFFFFFF;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code;
  }

  // A log file under fs/ as UTF-8 text with CR LF turned into LF; empty when absent.
  std::string Log(const std::string& relative) const {
    std::string bytes = ReadHostFile(Host(relative));
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      char16_t c = char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
      if (c != u'\r') text += c;
    }
    return Utf16ToUtf8(text);
  }

  // The names in a folder under fs/ that start with `prefix`.
  std::vector<std::string> Names(const std::string& relative, const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(Host(relative))) {
      std::string name = item.path().filename().string();
      if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
  }
};

// A package layout with the usual identity properties.
inline PackageLayout AppPackage(const std::u16string& app_name, uint32_t version = 0x01000000) {
  PackageLayout layout;
  layout.version = version;
  layout.properties = {{3, app_name}, {4, app_name + u" Display"}};
  return layout;
}

// A CustomDll entry carrying a library of the build (stored as it is).
inline EntryLayout CustomLibraryEntry(const std::string& library) {
  EntryLayout entry;
  entry.type = 6;  // CustomDll
  entry.blob = ReadHostFile(LibPath(library));
  entry.final_size = uint32_t(entry.blob.size());
  entry.crc = Crc(entry.blob);
  entry.properties = {{1, u"custom.dll"}};
  return entry;
}

}  // namespace stowkit::testing
