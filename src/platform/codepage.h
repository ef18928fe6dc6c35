// Windows-1252, the code page of the watch list file.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Each character by the system's best-fit conversion: a similar character
// where the code page lacks it and one is known, else "?".
std::string ToWindows1252(std::u16string_view text);
std::u16string FromWindows1252(std::string_view bytes);
// The byte of a character the code page holds, else -1.
int Windows1252Byte(char16_t c);

}  // namespace platform
