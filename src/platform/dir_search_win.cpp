#include <windows.h>

#include "platform/dir_search.h"
#include "platform/dos_time.h"
#include "platform/wide.h"

namespace platform {
namespace {

uint32_t LocalDosTime(const FILETIME& written) {
    FILETIME local;
    SYSTEMTIME parts;
    if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &parts)) return 0;
    if (parts.wYear >= 1980 && parts.wYear <= 2107) {
        WORD date = 0, time = 0;
        if (FileTimeToDosDateTime(&local, &date, &time)) return (uint32_t{date} << 16) | time;
    }
    ULARGE_INTEGER ticks;
    ticks.LowPart = local.dwLowDateTime;
    ticks.HighPart = local.dwHighDateTime;
    return OutOfRangeDosTime(static_cast<int64_t>(ticks.QuadPart / 10000000));
}

void Fill(const WIN32_FIND_DATAW& data, DirEntry& entry) {
    entry.name.assign(data.cFileName, data.cFileName + wcslen(data.cFileName));
    entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    entry.time = LocalDosTime(data.ftLastWriteTime);
}

}  // namespace

DirSearch::~DirSearch() {
    if (handle_) FindClose(handle_);
}

bool DirSearch::First(const char16_t* pattern, DirEntry& entry) {
    if (handle_) FindClose(handle_);
    WIN32_FIND_DATAW data;
    // The basic information level skips the short names, which nothing here
    // uses; the large fetch asks the file system for bigger batches.
    HANDLE found = FindFirstFileExW(AsWide(pattern).c_str(), FindExInfoBasic, &data,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    handle_ = found == INVALID_HANDLE_VALUE ? nullptr : found;
    if (!handle_) return false;
    Fill(data, entry);
    return true;
}

bool DirSearch::Next(DirEntry& entry) {
    WIN32_FIND_DATAW data;
    if (!handle_ || !FindNextFileW(handle_, &data)) return false;
    Fill(data, entry);
    return true;
}

}  // namespace platform
