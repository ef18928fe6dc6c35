// The portable build keeps the program's Windows-style paths and turns them
// into POSIX ones only where it touches the file system: backslashes become
// slashes. (A POSIX name that holds a backslash cannot be told apart.)
#pragma once

#include <string>
#include <string_view>

#include "base/text.h"

namespace platform {

inline std::string ToPosixPath(std::u16string_view path) {
    std::string out = base::Utf16ToUtf8(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace platform
