#include "services/registry_services.h"

#include "text/fold.h"
#include "text/trim.h"

namespace stowkit {
namespace {

constexpr DWORD kValueBufferBytes = 520;   // a value read starts with 260 characters
constexpr DWORD kNameChars = 260;          // a name read while enumerating
constexpr DWORD kCopyNameChars = 261;      // a name read during a tree copy
constexpr DWORD kCopyDataBytes = 1024;     // a value's data read during a tree copy

// A key handle closed on every path out of the scope that opened it.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  PHKEY out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

LONG OpenKey(HKEY root, const std::u16string& subkey, Key& key, REGSAM access = 0) {
  return RegOpenKeyExW(root, subkey.c_str(), 0, access, key.out());
}

LONG CreateKey(HKEY root, const std::u16string& subkey, Key& key, REGSAM access = 0) {
  return RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, access, nullptr, key.out(),
                         nullptr);
}

// Sets last-error to the deciding registry result and turns it into 1/0.
int Outcome(LONG result) {
  SetLastError(DWORD(result));
  return result == ERROR_SUCCESS ? 1 : 0;
}

int WriteValue(HKEY root, std::u16string_view subkey, std::u16string_view name, DWORD type,
               const void* data, DWORD size) {
  Key key;
  LONG result = CreateKey(root, std::u16string(subkey), key);
  if (result == ERROR_SUCCESS) {
    result = RegSetValueExW(key.get(), std::u16string(name).c_str(), 0, type,
                            static_cast<const BYTE*>(data), size);
  }
  return Outcome(result);
}

// The write rules that may skip a write: true when `exists` says the write is not wanted.
bool SkipWrite(uint16_t flags, bool exists) {
  return exists ? (flags & kRegNoOverwrite) != 0 : (flags & kRegOnlyOverwrite) != 0;
}

LONG QueryText(HKEY key, const std::u16string& name, std::u16string& text) {
  std::u16string buffer(kValueBufferBytes / 2, u'\0');
  DWORD type = 0, size = kValueBufferBytes;
  auto query = [&] {
    return RegQueryValueExW(key, name.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(buffer.data()), &size);
  };
  LONG result = query();
  if (result == ERROR_MORE_DATA) {
    size &= ~DWORD{1};
    buffer.assign(size / 2, u'\0');
    result = query();
  }
  if (result == ERROR_SUCCESS && type != REG_SZ) result = ERROR_INVALID_DATATYPE;
  if (result == ERROR_SUCCESS) {
    buffer.resize(size / 2);
    text = buffer.substr(0, buffer.find(u'\0'));
  }
  return result;
}

// Stops at the first answer other than success and returns it (259 at the normal end).
LONG EnumSubkeys(HKEY key, std::vector<std::u16string>& names) {
  for (DWORD index = 0;; ++index) {
    WCHAR name[kNameChars];
    DWORD chars = kNameChars;
    LONG result = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    names.emplace_back(name, chars);
  }
}

bool IsMissing(LONG result) {
  return result == ERROR_FILE_NOT_FOUND || result == ERROR_INVALID_PARAMETER;
}

enum class KeyContent { kMissing, kEmpty, kSome };

// An open key is empty when both enumerations answer "no more items" at once. Values are
// asked first: a key that a removal just deleted one value from most often holds others.
KeyContent ContentOf(HKEY key) {
  WCHAR name[kNameChars];
  DWORD chars = kNameChars;
  if (RegEnumValueW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
      ERROR_NO_MORE_ITEMS) {
    return KeyContent::kSome;
  }
  chars = kNameChars;
  bool no_subkeys = RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_NO_MORE_ITEMS;
  return no_subkeys ? KeyContent::kEmpty : KeyContent::kSome;
}

// As above for a key by path.
KeyContent ContentOf(HKEY root, const std::u16string& subkey) {
  Key key;
  LONG result = OpenKey(root, subkey, key);
  if (result != ERROR_SUCCESS) return IsMissing(result) ? KeyContent::kMissing : KeyContent::kSome;
  return ContentOf(key.get());
}

// Deletes `subkey` and then each key above it while it is left empty; a key that holds
// anything or cannot be opened ends the walk. (The registry steps run their deletes in one
// batch, so a killed removal never leaves a key deleted without its emptied parent.)
LONG RemoveEmptyKeys(HKEY root, std::u16string subkey) {
  for (;;) {
    if (ContentOf(root, subkey) != KeyContent::kEmpty) return ERROR_SUCCESS;
    LONG result = RegDeleteKeyW(root, subkey.c_str());
    if (result != ERROR_SUCCESS && !IsMissing(result)) return result;
    size_t cut = subkey.rfind(u'\\');
    if (cut == std::u16string::npos) return ERROR_SUCCESS;
    subkey.resize(cut);
    if (subkey.empty()) return ERROR_SUCCESS;
  }
}

// Depth first; the subkey names are all read before anything is deleted, so no enumeration
// runs over a key that is changing.
LONG DeleteTree(HKEY root, const std::u16string& subkey) {
  std::vector<std::u16string> names;
  {
    Key key;
    LONG result = OpenKey(root, subkey, key);
    if (IsMissing(result)) return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) return result;
    result = EnumSubkeys(key.get(), names);
    if (result != ERROR_NO_MORE_ITEMS) return result;
  }
  for (const std::u16string& name : names) {
    LONG result = DeleteTree(root, subkey + u"\\" + name);
    if (result != ERROR_SUCCESS) return result;
  }
  LONG result = RegDeleteKeyW(root, subkey.c_str());
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

// "Not enough room": the answer that makes a tree copy retry with the size reported.
bool NeedsRoom(LONG result) {
  return result == ERROR_NOT_ENOUGH_MEMORY || result == ERROR_MORE_DATA;
}

// A key as it was when a copy began. The whole source is read before anything is written,
// so a tree copied into its own subtree copies what was there, never the copy growing in it.
struct KeyImage {
  struct Value {
    std::u16string name;
    DWORD type = 0;
    std::basic_string<BYTE> data;
  };
  std::u16string name;  // below its parent
  std::vector<Value> values;
  std::vector<KeyImage> subkeys;
};

LONG ReadValues(HKEY source, KeyImage& image) {
  for (DWORD index = 0;; ++index) {
    std::basic_string<BYTE> data(kCopyDataBytes, 0);
    WCHAR name[kCopyNameChars];
    DWORD chars, type = 0, size;
    LONG result;
    for (;;) {
      chars = kCopyNameChars;
      size = DWORD(data.size());
      result = RegEnumValueW(source, index, name, &chars, nullptr, &type, data.data(), &size);
      if (!NeedsRoom(result) || size <= data.size()) break;
      data.assign(size, 0);
    }
    if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) return result;
    data.resize(size);
    image.values.push_back({std::u16string(name, chars), type, std::move(data)});
  }
}

LONG ReadKey(HKEY source, KeyImage& image) {
  LONG result = ReadValues(source, image);
  for (DWORD index = 0; result == ERROR_SUCCESS; ++index) {
    WCHAR name[kCopyNameChars];
    DWORD chars = kCopyNameChars;
    result = RegEnumKeyExW(source, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) return result;
    Key child;
    result = RegOpenKeyExW(source, name, 0, KEY_READ, child.out());
    if (result != ERROR_SUCCESS) return result;
    image.subkeys.emplace_back();
    image.subkeys.back().name.assign(name, chars);
    result = ReadKey(child.get(), image.subkeys.back());
  }
  return result;
}

LONG WriteKey(const KeyImage& image, HKEY target_root, const std::u16string& target_subkey) {
  Key target;
  LONG result = CreateKey(target_root, target_subkey, target, KEY_WRITE);
  for (size_t i = 0; result == ERROR_SUCCESS && i < image.values.size(); ++i) {
    const KeyImage::Value& value = image.values[i];
    result = RegSetValueExW(target.get(), value.name.c_str(), 0, value.type, value.data.data(),
                            DWORD(value.data.size()));
  }
  for (size_t i = 0; result == ERROR_SUCCESS && i < image.subkeys.size(); ++i) {
    result = WriteKey(image.subkeys[i], target.get(), image.subkeys[i].name);
  }
  return result;
}

std::u16string Trim(std::u16string_view text) { return std::u16string(TrimBlanks(text)); }

}  // namespace

int SetRegString(HKEY root, std::u16string_view subkey, std::u16string_view name,
                 std::u16string_view text, uint16_t flags) {
  if (flags & kRegDeleteValue) return DeleteRegValue(root, subkey, name, kRegDefaultFlags);
  if (flags & (kRegNoOverwrite | kRegOnlyOverwrite)) {
    std::u16string existing;
    if (SkipWrite(flags, GetRegString(root, subkey, name, existing))) return 1;
  }
  std::u16string terminated(text);
  return WriteValue(root, subkey, name, REG_SZ, terminated.c_str(),
                    DWORD((terminated.size() + 1) * sizeof(char16_t)));
}

int SetRegDword(HKEY root, std::u16string_view subkey, std::u16string_view name, uint32_t value,
                uint16_t flags) {
  if (flags & kRegDeleteValue) return DeleteRegValue(root, subkey, name, kRegDefaultFlags);
  if (flags & (kRegNoOverwrite | kRegOnlyOverwrite)) {
    uint32_t existing = 0;
    if (SkipWrite(flags, GetRegDword(root, subkey, name, existing))) return 1;
  }
  return WriteValue(root, subkey, name, REG_DWORD, &value, sizeof value);
}

int GetRegString(HKEY root, std::u16string_view subkey, std::u16string_view name,
                 std::u16string& text) {
  Key key;
  LONG result = OpenKey(root, std::u16string(subkey), key);
  std::u16string found;
  if (result == ERROR_SUCCESS) result = QueryText(key.get(), std::u16string(name), found);
  if (result == ERROR_SUCCESS) text = std::move(found);
  return Outcome(result);
}

int GetRegDword(HKEY root, std::u16string_view subkey, std::u16string_view name,
                uint32_t& value) {
  Key key;
  LONG result = OpenKey(root, std::u16string(subkey), key);
  DWORD type = 0, found = 0, size = sizeof found;
  if (result == ERROR_SUCCESS) {
    result = RegQueryValueExW(key.get(), std::u16string(name).c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(&found), &size);
    // The type decides before the size: text that does not fit four bytes is still text.
    if ((result == ERROR_SUCCESS || result == ERROR_MORE_DATA) && type != REG_DWORD) {
      result = ERROR_INVALID_DATATYPE;
    }
  }
  if (result == ERROR_SUCCESS) value = found;
  return Outcome(result);
}

int DeleteRegValue(HKEY root, std::u16string_view subkey, std::u16string_view name,
                   uint16_t flags) {
  if (flags & kRegNoRemove) return 1;
  LONG result;
  {
    Key key;
    result = OpenKey(root, std::u16string(subkey), key);
    if (result == ERROR_SUCCESS) {
      result = RegDeleteValueW(key.get(), std::u16string(name).c_str());
      // The key still open answers for the usual case, a key that keeps other values; the
      // walk up below would find the same and stop at once.
      bool gone = result == ERROR_SUCCESS || IsMissing(result);
      if (gone && (flags & kRegRemoveEmptyKeys) && ContentOf(key.get()) == KeyContent::kSome) {
        return Outcome(ERROR_SUCCESS);
      }
    } else {
      // A key that cannot be opened: nothing to delete and no walk up, which would take
      // empty keys above it that this value never made.
      return Outcome(IsMissing(result) ? ERROR_SUCCESS : result);
    }
  }
  if ((result == ERROR_SUCCESS || IsMissing(result)) && (flags & kRegRemoveEmptyKeys)) {
    result = RemoveEmptyKeys(root, std::u16string(subkey));
  }
  return Outcome(result);
}

int DeleteRegKey(HKEY root, std::u16string_view subkey, uint16_t flags) {
  if (flags & kRegNoRemove) return 1;
  if (subkey.empty()) return Outcome(ERROR_INVALID_PARAMETER);
  return Outcome(DeleteTree(root, std::u16string(subkey)));
}

int ListRegSubkeys(HKEY root, std::u16string_view subkey, std::vector<std::u16string>& names) {
  names.clear();
  Key key;
  if (OpenKey(root, std::u16string(subkey), key) != ERROR_SUCCESS) return 0;
  EnumSubkeys(key.get(), names);
  return 1;
}

int CopyRegTree(HKEY source_root, std::u16string_view source_subkey, HKEY target_root,
                std::u16string_view target_subkey) {
  if (!source_subkey.data() || !target_subkey.data()) return 0;
  if (source_root == target_root && source_subkey == target_subkey) return 0;
  Key source;
  if (OpenKey(source_root, std::u16string(source_subkey), source, KEY_READ) != ERROR_SUCCESS) {
    return 0;
  }
  KeyImage image;
  LONG result = ReadKey(source.get(), image);
  if (result == ERROR_SUCCESS) result = WriteKey(image, target_root, std::u16string(target_subkey));
  if (result != ERROR_SUCCESS) SetLastError(DWORD(result));
  return result == ERROR_SUCCESS ? 1 : 0;
}

RegistryBatch::RegistryBatch() : open_(RegBeginBatch() == ERROR_SUCCESS) {}

RegistryBatch::~RegistryBatch() { End(); }

int RegistryBatch::End() {
  if (!open_) return Outcome(ERROR_SUCCESS);
  open_ = false;
  return Outcome(RegEndBatch());
}

void SplitNameValue(std::u16string_view line, std::u16string& name, std::u16string& value) {
  size_t equals = line.find(u'=');
  name = Trim(line.substr(0, equals));
  value = equals == std::u16string_view::npos ? std::u16string() : Trim(line.substr(equals + 1));
}

}  // namespace stowkit
