#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "platform/dir_search.h"
#include "platform/dos_time.h"
#include "platform/posix_path.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

uint32_t LocalDosTime(time_t written) {
    tm parts{};
    if (!localtime_r(&written, &parts)) return 0;
    int year = parts.tm_year + 1900;
    if (year >= 1980 && year <= 2107)
        return PackDosTime(year, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                           parts.tm_sec > 59 ? 59 : parts.tm_sec);
    return OutOfRangeDosTime(static_cast<int64_t>(written) + parts.tm_gmtoff + kSecondsFrom1601To1970);
}

bool Read(DIR* dir, DirEntry& entry) {
    dirent* found = readdir(dir);
    if (!found) return false;
    entry.name = Utf8ToUtf16(found->d_name);
    struct stat info {};
    // Links are followed, as the Windows listing reports a linked folder as a
    // folder; a dangling link is listed as itself.
    if (fstatat(dirfd(dir), found->d_name, &info, 0) != 0 &&
        fstatat(dirfd(dir), found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        info = {};
    entry.directory = S_ISDIR(info.st_mode);
    entry.size = static_cast<uint64_t>(info.st_size);
    entry.time = LocalDosTime(info.st_mtime);
    return true;
}

}  // namespace

DirSearch::~DirSearch() {
    if (handle_) closedir(static_cast<DIR*>(handle_));
}

bool DirSearch::First(const char16_t* pattern, DirEntry& entry) {
    if (handle_) closedir(static_cast<DIR*>(handle_));
    std::u16string_view text(pattern);
    constexpr std::u16string_view kAll = u"\\*.*";
    if (text.size() >= kAll.size() && text.substr(text.size() - kAll.size()) == kAll)
        text.remove_suffix(kAll.size() - 1);  // keep the separator: "\*.*" on "/" lists the root
    handle_ = opendir(ToPosixPath(text).c_str());
    return handle_ && Read(static_cast<DIR*>(handle_), entry);
}

bool DirSearch::Next(DirEntry& entry) {
    return handle_ && Read(static_cast<DIR*>(handle_), entry);
}

}  // namespace platform
