#include <windows.h>

#include "platform/dir_search.h"
#include "platform/dos_time.h"
#include "platform/wide.h"

namespace platform {
namespace {

// The time number of a last-write time already converted to local time.
uint32_t PackLocal(const FILETIME& local) {
    SYSTEMTIME parts;
    if (!FileTimeToSystemTime(&local, &parts)) return 0;
    if (parts.wYear >= 1980 && parts.wYear <= 2107) {
        WORD date = 0, time = 0;
        if (FileTimeToDosDateTime(&local, &date, &time)) return (uint32_t{date} << 16) | time;
    }
    ULARGE_INTEGER ticks;
    ticks.LowPart = local.dwLowDateTime;
    ticks.HighPart = local.dwHighDateTime;
    return OutOfRangeDosTime(static_cast<int64_t>(ticks.QuadPart / 10000000));
}

// The local time takes the time zone's bias at the moment it is made, so it
// is made as the entry is listed; only the packing may wait. A time that
// cannot be made local becomes one that cannot be packed, with the number
// 0 either way.
int64_t LocalTicks(const FILETIME& written) {
    FILETIME local;
    if (!FileTimeToLocalFileTime(&written, &local)) return -1;
    return static_cast<int64_t>((uint64_t{local.dwHighDateTime} << 32) | local.dwLowDateTime);
}

FILETIME FromTicks(int64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
    time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    return time;
}

void Fill(const WIN32_FIND_DATAW& data, bool deferTimes, DirEntry& entry) {
    entry.name.assign(data.cFileName, data.cFileName + wcslen(data.cFileName));
    entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    entry.written = LocalTicks(data.ftLastWriteTime);
    entry.time = deferTimes ? 0 : PackLocal(FromTicks(entry.written));
}

}  // namespace

LocalTimes::LocalTimes(size_t) {}

uint32_t LocalTimes::DosTime(int64_t written) { return PackLocal(FromTicks(written)); }

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
    Fill(data, deferTimes_, entry);
    return true;
}

bool DirSearch::Next(DirEntry& entry) {
    WIN32_FIND_DATAW data;
    if (!handle_ || !FindNextFileW(handle_, &data)) return false;
    Fill(data, deferTimes_, entry);
    return true;
}

}  // namespace platform
