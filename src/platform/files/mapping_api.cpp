// Memory-mapped files over host mmap. A mapping and each of its views keep the file object
// alive, so the file stays open (and in use for its share locks) until the last view goes.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <mutex>

#include "platform/device/errors.h"
#include "platform/files/file_object.h"

namespace coredll {
namespace {

constexpr uint64_t kAllocationGranularity = 65536;

class MappingObject : public KernelObject {
 public:
  std::shared_ptr<FileObject> file;
  uint64_t size = 0;
  bool writable = false;

  DWORD GrantedAccess() const override { return FILE_MAP_READ | (writable ? FILE_MAP_WRITE : 0); }
};

struct View {
  size_t length;
  std::shared_ptr<FileObject> file;
};

struct Views {
  std::mutex mutex;
  std::map<const void*, View> by_address;
};

Views& AllViews() {
  static Views* views = new Views;
  return *views;
}

}  // namespace
}  // namespace coredll

using namespace coredll;

HANDLE CreateFileForMappingW(LPCWSTR name, DWORD access, DWORD share,
                             LPSECURITY_ATTRIBUTES security, DWORD disposition,
                             DWORD flags_and_attributes, HANDLE template_file) {
  return CreateFileW(name, access, share, security, disposition, flags_and_attributes,
                     template_file);
}

HANDLE CreateFileMappingW(HANDLE handle, LPSECURITY_ATTRIBUTES, DWORD protect,
                          DWORD maximum_high, DWORD maximum_low, LPCWSTR) {
  bool writable = protect == PAGE_READWRITE;
  auto file = GetHandle<FileObject>(handle, writable ? GENERIC_WRITE : 0);
  if (!file) return Fail(file.error), nullptr;
  if (protect != PAGE_READONLY && protect != PAGE_READWRITE) {
    return Fail(ERROR_INVALID_PARAMETER), nullptr;
  }
  struct stat st;
  if (fstat(file->fd(), &st) != 0) return FailErrno(), nullptr;
  uint64_t size = (uint64_t(maximum_high) << 32) | maximum_low;
  if (size == 0) size = uint64_t(st.st_size);
  if (size == 0) return Fail(ERROR_FILE_INVALID), nullptr;
  if (size > uint64_t(st.st_size)) {
    if (!writable) return Fail(ERROR_INVALID_PARAMETER), nullptr;
    if (ftruncate(file->fd(), off_t(size)) != 0) return FailErrno(), nullptr;
  }
  auto mapping = std::make_shared<MappingObject>();
  mapping->file = std::move(file.object);
  mapping->size = size;
  mapping->writable = writable;
  return AddHandle(std::move(mapping));
}

LPVOID MapViewOfFile(HANDLE handle, DWORD access, DWORD offset_high, DWORD offset_low,
                     size_t bytes) {
  DWORD write = access & FILE_MAP_WRITE;
  auto mapping = GetHandle<MappingObject>(handle, write);
  if (!mapping) return Fail(mapping.error), nullptr;
  uint64_t offset = (uint64_t(offset_high) << 32) | offset_low;
  if (offset % kAllocationGranularity != 0) return Fail(ERROR_MAPPED_ALIGNMENT), nullptr;
  if (offset >= mapping->size) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  if (bytes == 0) bytes = size_t(mapping->size - offset);
  if (bytes > mapping->size - offset) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  void* view = mmap(nullptr, bytes, PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED,
                    mapping->file->fd(), off_t(offset));
  if (view == MAP_FAILED) return FailErrno(), nullptr;
  Views& views = AllViews();
  std::lock_guard lock(views.mutex);
  views.by_address[view] = View{bytes, mapping->file};
  return view;
}

BOOL UnmapViewOfFile(LPCVOID address) {
  View view;
  {
    Views& views = AllViews();
    std::lock_guard lock(views.mutex);
    auto it = views.by_address.find(address);
    if (it == views.by_address.end()) return Fail(ERROR_INVALID_PARAMETER);
    view = std::move(it->second);
    views.by_address.erase(it);
  }
  return munmap(const_cast<void*>(address), view.length) == 0 ? TRUE : FailErrno();
}
