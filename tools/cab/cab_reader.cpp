#include "cab_reader.h"

#include <mspack.h>

#include <cstring>

#include "coredll/windows.h"
#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::cab {
namespace {

// libmspack reads and writes through this table, so the CAB and the extracted files are
// device files, opened with the platform's sharing and attribute rules like any other.
struct DeviceFile {
  mspack_file base;  // first, so a DeviceFile* is the mspack_file* handed out
  HANDLE handle;
};

// libmspack calls with no file at all when it lost one (a damaged CAB whose data runs into a
// cabinet that is not there), as its own file table allows: such a call simply fails.
HANDLE Handle(mspack_file* file) {
  return file ? reinterpret_cast<DeviceFile*>(file)->handle : INVALID_HANDLE_VALUE;
}

mspack_file* OpenFile(mspack_system*, const char* name, int mode) {
  std::u16string path = Utf8ToUtf16(name);
  DWORD access = GENERIC_READ, disposition = OPEN_EXISTING, share = FILE_SHARE_READ;
  if (mode == MSPACK_SYS_OPEN_WRITE) {
    access = GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
    share = 0;
  } else if (mode != MSPACK_SYS_OPEN_READ) {
    return nullptr;  // the CAB decompressor only reads and writes whole files
  }
  HANDLE handle = CreateFileW(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return reinterpret_cast<mspack_file*>(new DeviceFile{{}, handle});
}

void CloseFile(mspack_file* file) {
  if (!file) return;
  CloseHandle(Handle(file));
  delete reinterpret_cast<DeviceFile*>(file);
}

int ReadFileBytes(mspack_file* file, void* buffer, int bytes) {
  DWORD done = 0;
  if (bytes < 0 || !ReadFile(Handle(file), buffer, DWORD(bytes), &done, nullptr)) return -1;
  return int(done);
}

int WriteFileBytes(mspack_file* file, void* buffer, int bytes) {
  DWORD done = 0;
  if (bytes < 0 || !WriteFile(Handle(file), buffer, DWORD(bytes), &done, nullptr)) return -1;
  return int(done);
}

int SeekFile(mspack_file* file, off_t offset, int mode) {
  if (offset < INT32_MIN || offset > INT32_MAX) return -1;
  DWORD method = mode == MSPACK_SYS_SEEK_START ? FILE_BEGIN
                 : mode == MSPACK_SYS_SEEK_CUR ? FILE_CURRENT
                                               : FILE_END;
  SetLastError(ERROR_SUCCESS);
  DWORD at = SetFilePointer(Handle(file), LONG(offset), nullptr, method);
  return at == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS ? -1 : 0;
}

off_t TellFile(mspack_file* file) {
  SetLastError(ERROR_SUCCESS);
  DWORD at = SetFilePointer(Handle(file), 0, nullptr, FILE_CURRENT);
  return at == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS ? -1 : off_t(at);
}

void Message(mspack_file*, const char*, ...) {}  // a bad CAB shows as a failed call instead
void* Allocate(mspack_system*, size_t bytes) { return ::operator new(bytes, std::nothrow); }
void Free(void* memory) { ::operator delete(memory); }
void Copy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

mspack_system device_system = {
    OpenFile, CloseFile, ReadFileBytes, WriteFileBytes, SeekFile, TellFile,
    Message,  Allocate,  Free,          Copy,           nullptr,
};

}  // namespace

struct CabReader::State {
  std::string path;  // the decompressor keeps this pointer, and opens the CAB again by it
  mscab_decompressor* decompressor = nullptr;
  mscabd_cabinet* cabinet = nullptr;
};

CabReader::CabReader() : state_(std::make_unique<State>()) {
  state_->decompressor = mspack_create_cab_decompressor(&device_system);
}

CabReader::~CabReader() {
  if (!state_->decompressor) return;
  if (state_->cabinet) state_->decompressor->close(state_->decompressor, state_->cabinet);
  mspack_destroy_cab_decompressor(state_->decompressor);
}

bool CabReader::Open(std::u16string_view cab) {
  if (!state_->decompressor || state_->cabinet) return false;
  state_->path = Utf16ToUtf8(cab);
  state_->cabinet = state_->decompressor->open(state_->decompressor, state_->path.c_str());
  return state_->cabinet != nullptr;
}

std::vector<std::u16string> CabReader::Members() const {
  std::vector<std::u16string> names;
  if (!state_->cabinet) return names;
  for (mscabd_file* file = state_->cabinet->files; file; file = file->next) {
    names.push_back(Utf8ToUtf16(file->filename));
  }
  return names;
}

bool CabReader::Extract(std::u16string_view name, std::u16string_view target) {
  if (!state_->cabinet) return false;
  for (mscabd_file* file = state_->cabinet->files; file; file = file->next) {
    if (!EqualsNoCase(Utf8ToUtf16(file->filename), name)) continue;
    std::string path = Utf16ToUtf8(target);
    if (state_->decompressor->extract(state_->decompressor, file, path.c_str()) == MSPACK_ERR_OK) {
      return true;
    }
    DeleteFileW(std::u16string(target).c_str());
    return false;
  }
  return false;
}

}  // namespace stowkit::cab
