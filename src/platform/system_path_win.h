// Paths as the Win32 file functions take them. Windows code only.
#pragma once

#include <string>
#include <string_view>

namespace platform::win {

// Paths past MAX_PATH through the "\\?\" form, which takes them as they are:
// made whole first, since that form resolves no "." or "..".
std::wstring SystemPath(std::u16string_view path);

}  // namespace platform::win
