// char16_t and wchar_t texts at the Win32 boundary. wchar_t is UTF-16 there,
// so both conversions are plain copies.
#pragma once

#include <cwchar>
#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 code needs a 16-bit wchar_t");

namespace platform {

inline std::wstring AsWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

inline std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

}  // namespace platform
