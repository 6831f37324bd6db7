#include "platform/shell/system_texts.h"

#include <algorithm>
#include <iterator>

namespace coredll {
namespace {

struct Entry {
  DWORD id;
  const char16_t* text;
};

// Sorted by id.
constexpr Entry kTexts[] = {
    {0, u"The operation completed successfully."},
    {1, u"Incorrect function."},
    {2, u"The system cannot find the file specified."},
    {3, u"The system cannot find the path specified."},
    {4, u"The system cannot open the file."},
    {5, u"Access is denied."},
    {6, u"The handle is invalid."},
    {8, u"Not enough storage is available to process this command."},
    {13, u"The data is invalid."},
    {14, u"Not enough storage is available to complete this operation."},
    {18, u"There are no more files."},
    {19, u"The media is write protected."},
    {23, u"Data error (cyclic redundancy check)."},
    {29, u"The system cannot write to the specified device."},
    {30, u"The system cannot read from the specified device."},
    {31, u"A device attached to the system is not functioning."},
    {32, u"The process cannot access the file because it is being used by another process."},
    {33, u"The process cannot access the file because another process has locked a portion of "
         u"the file."},
    {38, u"Reached the end of the file."},
    {50, u"The network request is not supported."},
    {80, u"The file exists."},
    {87, u"The parameter is incorrect."},
    {109, u"The pipe has been ended."},
    {112, u"There is not enough space on the disk."},
    {122, u"The data area passed to a system call is too small."},
    {123, u"The filename, directory name, or volume label syntax is incorrect."},
    {126, u"The specified module could not be found."},
    {127, u"The specified procedure could not be found."},
    {131, u"An attempt was made to move the file pointer before the beginning of the file."},
    {145, u"The directory is not empty."},
    {170, u"The requested resource is in use."},
    {183, u"Cannot create a file when that file already exists."},
    {193, u"%1 is not a valid Win32 application."},
    {206, u"The filename or extension is too long."},
    {234, u"More data is available."},
    {259, u"No more data is available."},
    {267, u"The directory name is invalid."},
    {1011, u"The configuration registry key could not be opened."},
    {1012, u"The configuration registry key could not be read."},
    {1013, u"The configuration registry key could not be written."},
    {1018, u"Illegal operation attempted on a registry key that has been marked for deletion."},
    {1223, u"The operation was canceled by the user."},
    {1804, u"The specified datatype is invalid."},
    {0x80004001, u"Not implemented"},
    {0x80004005, u"Unspecified error"},
    {0x8007000E, u"Ran out of memory"},
    {0x80070057, u"One or more arguments are invalid"},
};

}  // namespace

std::u16string_view SystemText(DWORD id) {
  auto it = std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                             [](const Entry& e, DWORD v) { return e.id < v; });
  if (it == std::end(kTexts) || it->id != id) return {};
  return it->text;
}

}  // namespace coredll
