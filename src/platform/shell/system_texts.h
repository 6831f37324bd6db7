// The platform's English message table: the system text of an error number or HRESULT.
#pragma once

#include <string_view>

#include "coredll/windows.h"

namespace coredll {

// The stored text (without its line end), or empty when the table has none for `id`.
std::u16string_view SystemText(DWORD id);

}  // namespace coredll
