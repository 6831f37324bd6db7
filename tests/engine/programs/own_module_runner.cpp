// Test helper, run as a device program so that its loaded libraries are seen by the process
// list: the installer's own process holding a library that it loaded twice. Extracts the
// files of PACKAGE over it with the log at LOG, then prints "result 0x%x" with the step's
// result and whether the library is still loaded.
//   own-module-runner PACKAGE LIBRARY LOG
#include <cstdio>
#include <string>

#include "coredll/windows.h"
#include "engine/catalog_steps.h"
#include "engine/engine.h"
#include "engine/status_reporter.h"
#include "services/file_services.h"
#include "text/utf.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::u16string library = stowkit::Utf8ToUtf16(argv[2]);
  if (!LoadLibraryW(library.c_str()) || !LoadLibraryW(library.c_str())) return 3;
  stowkit::CreateStatusReporter();
  stowkit::report::SetLogPath(stowkit::Utf8ToUtf16(argv[3]));
  HRESULT hr;
  {
    stowkit::Engine engine;
    stowkit::GetModulePath(engine.program_path);
    std::u16string error;
    hr = stowkit::OpenPackage(error, stowkit::Utf8ToUtf16(argv[1]), engine.package);
    if (SUCCEEDED(hr)) hr = stowkit::ExtractFiles(engine);
  }
  stowkit::DestroyStatusReporter();
  bool loaded = GetModuleHandleW(library.c_str()) != nullptr;
  std::printf("result 0x%x%s\n", unsigned(hr), loaded ? " loaded" : "");
  return 0;
}
