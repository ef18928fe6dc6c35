// What the Win32 listing decides from a found entry alone. Windows code only.
#pragma once

#include <windows.h>

namespace platform::win {

// A folder that leads to another: a junction or a directory symbolic link.
// Changes behind it are reported under the other folder's path, so such a
// folder is read at every tick. Other reparse points (cloud placeholders,
// deduplicated or offline storage) hold their own entries, reported as any
// folder's. `tag` is the listing's dwReserved0, which means nothing unless
// the attributes name a reparse point.
constexpr bool IsFolderLink(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag == IO_REPARSE_TAG_MOUNT_POINT || tag == IO_REPARSE_TAG_SYMLINK);
}

}  // namespace platform::win
