// Enumerates the entries of one directory, as the system lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

struct DirEntry {
    std::u16string name;
    bool directory = false;
    uint64_t size = 0;
    int64_t written = 0;  // the last-write time in the platform's own terms, for LocalTimes
    uint32_t time = 0;    // MS-DOS date-time of the local last-write time
};

// One open search; closed when it goes out of scope.
class DirSearch {
public:
    // A search that defers the time leaves `time` at 0; LocalTimes makes
    // the numbers from `written` later, many at once.
    explicit DirSearch(bool deferTimes = false) : deferTimes_(deferTimes) {}
    ~DirSearch();
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // `pattern` is a directory path followed by "\*.*"; every kind of entry
    // is listed, hidden and system entries, "." and ".." included. False when
    // the directory cannot be listed.
    bool First(const char16_t* pattern, DirEntry& entry);
    // False at the end of the listing.
    bool Next(DirEntry& entry);

private:
    void* handle_ = nullptr;
    bool deferTimes_;
};

// Makes the time numbers of last-write times (DirEntry::written), each the
// DirEntry::time its entry would have had, in one batch: files written
// together share their second, which the POSIX layer converts only once a
// batch. There the number depends on the time zone as the process knows it,
// which only other code can change; a batch made before any other code runs
// gives each file the number of its own listing.
class LocalTimes {
public:
    // `count`: about how many times the batch will convert.
    explicit LocalTimes(size_t count);
    LocalTimes(const LocalTimes&) = delete;
    LocalTimes& operator=(const LocalTimes&) = delete;

    uint32_t DosTime(int64_t written);

private:
    size_t mask_ = 0;
    uint32_t batch_ = 0;
};

}  // namespace platform
