// Enumerates the entries of one directory, as the system lists them.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct DirEntry {
    std::u16string name;
    bool directory = false;
    uint64_t size = 0;
    uint32_t time = 0;  // MS-DOS date-time of the local last-write time
};

// One open search; closed when it goes out of scope.
class DirSearch {
public:
    DirSearch() = default;
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
};

}  // namespace platform
