// UTF-16 is the program's text everywhere; these convert at the edges.
#pragma once

#include <string>
#include <string_view>

namespace base {

// Bytes that are not UTF-8 become U+DC80 + byte, so that a POSIX file name
// of any bytes survives the round trip through Utf16ToUtf8.
std::u16string Utf8ToUtf16(std::string_view text);
// Lone surrogates U+DC80..U+DCFF become their byte again; other lone
// surrogates are written as their three-byte form.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace base
