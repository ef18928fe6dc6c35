#include <windows.h>

#include "platform/codepage.h"
#include "platform/wide.h"

namespace platform {

std::string ToWindows1252(std::u16string_view text) {
    if (text.empty()) return {};
    std::wstring wide = AsWide(text);
    // Flags 0 let the system use its best-fit table before the "?".
    int size = WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace platform
