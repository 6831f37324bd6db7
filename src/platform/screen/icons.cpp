// The icon and cursor calls.
#include "platform/screen/icons.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <tuple>
#include <utility>

#include "coredll/windows.h"

#include "platform/device/errors.h"
#include "platform/processes/handles.h"
#include "platform/processes/module_symbols.h"
#include "text/utf.h"

namespace coredll {
namespace {

constexpr UINT kApplicationIcon = 32512;
constexpr UINT kArrowCursor = 32512;
constexpr UINT kWaitCursor = 32514;

class IconObject : public KernelObject {
 public:
  IconObject(std::u16string glyph, const char* pixels) : glyph(std::move(glyph)), pixels(pixels) {}
  const std::u16string glyph;  // empty for a cursor
  const char* const pixels;    // in the module's image, which outlives its icons; may be null
};

bool IsNumber(LPCWSTR name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

UINT Number(LPCWSTR name) { return UINT(reinterpret_cast<uintptr_t>(name)); }

// Handles already given out, by module and name, so that loading again gives the same one.
struct Loaded {
  std::mutex mutex;
  std::map<std::tuple<HINSTANCE, std::u16string, bool>, HANDLE> handles;
  HCURSOR cursor = nullptr;
};

Loaded& Cache() {
  static Loaded* loaded = new Loaded;
  return *loaded;
}

// A resource name as text: its number in decimal, or the name itself.
std::u16string NameText(LPCWSTR name) {
  return IsNumber(name) ? stowkit::Utf8ToUtf16(std::to_string(Number(name))) : std::u16string(name);
}

HANDLE Load(HINSTANCE instance, LPCWSTR name, bool cursor, std::u16string glyph,
            const char* pixels = nullptr) {
  Loaded& cache = Cache();
  std::lock_guard lock(cache.mutex);
  HANDLE& handle = cache.handles[{instance, NameText(name), cursor}];
  if (!handle) handle = AddHandle(std::make_shared<IconObject>(std::move(glyph), pixels));
  return handle;
}

// The module's icon table; the program itself is no loaded library, so its table is found
// among the program's own exported symbols.
const ICONRESOURCE* IconTable(HINSTANCE instance) {
  if (instance == GetModuleHandleW(nullptr)) {
    static void* program = dlopen(nullptr, RTLD_NOW);
    return program ? static_cast<const ICONRESOURCE*>(dlsym(program, ICON_RESOURCES_SYMBOL))
                   : nullptr;
  }
  FARPROC found = nullptr;  // a module without icons is no failure of this call
  FindModuleSymbol(instance, ICON_RESOURCES_SYMBOL, 0, found);
  return reinterpret_cast<const ICONRESOURCE*>(found);
}

const ICONRESOURCE* FindIcon(HINSTANCE instance, LPCWSTR name) {
  if (!IsNumber(name)) return nullptr;
  const ICONRESOURCE* table = IconTable(instance);
  for (; table && table->id != 0; ++table) {
    if (table->id == Number(name) && table->pixels && table->glyph) return table;
  }
  return nullptr;
}

}  // namespace

std::u16string SystemIconGlyph(UINT id) {
  switch (id) {
    case kApplicationIcon: return u"[=]";
    case kApplicationIcon + 1: return u"(X)";
    case kApplicationIcon + 2: return u"(?)";
    case kApplicationIcon + 3: return u"(!)";
    case kApplicationIcon + 4: return u"(i)";
    default: return {};
  }
}

std::u16string MessageBoxIconGlyph(UINT type) {
  UINT icon = type & MB_ICONMASK;  // MB_ICONHAND..MB_ICONASTERISK follow IDI_HAND..IDI_ASTERISK
  return icon ? SystemIconGlyph(kApplicationIcon + icon / MB_ICONHAND) : std::u16string();
}

std::u16string IconGlyph(HICON icon) {
  auto object = std::dynamic_pointer_cast<IconObject>(LookupHandle(icon));
  return object ? object->glyph : std::u16string();
}

const char* IconPixels(HICON icon) {
  auto object = std::dynamic_pointer_cast<IconObject>(LookupHandle(icon));
  return object ? object->pixels : nullptr;
}

}  // namespace coredll

using namespace coredll;

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  if (!name || (IsNumber(name) && Number(name) == 0)) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  std::u16string glyph;
  const char* pixels = nullptr;
  if (const ICONRESOURCE* resource = instance ? FindIcon(instance, name) : nullptr) {
    glyph = stowkit::Utf8ToUtf16(resource->glyph);
    pixels = resource->pixels;
  } else if (instance) {
    glyph = u"#" + NameText(name);
  } else if (IsNumber(name)) {
    glyph = SystemIconGlyph(Number(name));
  }
  if (glyph.empty()) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
  return Load(instance, name, false, glyph, pixels);
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  bool system = !instance && IsNumber(name) && (Number(name) == kArrowCursor || Number(name) == kWaitCursor);
  if (!system) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
  return Load(nullptr, name, true, u"");
}

HCURSOR SetCursor(HCURSOR cursor) {
  Loaded& cache = Cache();
  std::lock_guard lock(cache.mutex);
  return std::exchange(cache.cursor, cursor);
}

HCURSOR GetCursor(void) {
  Loaded& cache = Cache();
  std::lock_guard lock(cache.mutex);
  return cache.cursor;
}
