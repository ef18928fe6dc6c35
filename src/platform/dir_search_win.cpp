#include "platform/dir_search_win.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/dir_search.h"
#include "platform/handle_win.h"
#include "platform/system_path_win.h"
#include "platform/wide.h"

namespace platform {

std::wstring win::SystemPath(std::u16string_view path) {
    std::wstring wide = AsWide(path);
    if (wide.size() < MAX_PATH || wide.starts_with(L"\\\\?\\")) return wide;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (!needed) return wide;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (!length || length >= needed) return wide;
    full.resize(length);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

namespace {

using win::SystemPath;

// Entries that the system reports as "no such folder": a subdirectory gone
// between two listings reads as empty; an access denied as a folder this user
// may not list; everything else, a sharing violation, a lost network or a
// drive that is not ready, as a moment in which the folder could not be read.
ListEnd OpenError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:  // nothing matches: the root of an empty drive
            return ListEnd::complete;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
            return ListEnd::notFound;
        case ERROR_ACCESS_DENIED:
            return ListEnd::denied;
        default:
            return ListEnd::unreadable;
    }
}

uint64_t Ticks(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// The folder part of a pattern "<folder>\*.*", with its backslash.
std::u16string_view FolderOf(const char16_t* pattern) {
    std::u16string_view text(pattern);
    return text.size() >= 3 ? text.substr(0, text.size() - 3) : std::u16string_view();
}

}  // namespace

struct DirSearch::Listing {
    explicit Listing(const char16_t* pattern) : folder(FolderOf(pattern)) {}
    ~Listing() {
        if (find) FindClose(find);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    // The entry's name, put into `names`.
    std::u16string_view PutName(NameBuffer& names) const {
        const size_t units = wcsnlen(data.cFileName, MAX_PATH - 1);
        char16_t* name = names.Room(units);
        std::memcpy(name, data.cFileName, units * sizeof(char16_t));
        name[units] = u'\0';
        return {name, units};
    }

    bool IsFolder() const { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    uint64_t Size() const { return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow; }

    void Fill(DirEntry& entry, NameBuffer& names) {
        entry.name = PutName(names);
        entry.directory = IsFolder();
        entry.size = Size();
        entry.written = Ticks(data.ftLastWriteTime);
        // Only a folder link costs a look at what it leads to.
        entry.link = win::IsFolderLink(data.dwFileAttributes, data.dwReserved0);
        entry.target = {};
        if (entry.link) {
            std::u16string path(folder);
            path += entry.name;
            IdentifyDir(path, entry.target);
        }
    }

    std::u16string_view folder;  // with its backslash, in the caller's pattern
    HANDLE find = nullptr;
    WIN32_FIND_DATAW data;
};

void DirSearch::Close::operator()(Listing* listing) const {
    delete listing;
}

bool DirSearch::OpenListing(const char16_t* pattern, DirEntry& entry) {
    listing_.reset();
    // A bare "*.*" would list the current folder; no caller means that.
    if (std::u16string_view(pattern) == u"*.*") {
        end_ = ListEnd::notFound;
        return false;
    }
    auto listing = std::make_unique<Listing>(pattern);
    // The basic information level skips the short names, which nothing here
    // uses; the large fetch asks the file system for bigger batches.
    HANDLE found = FindFirstFileExW(SystemPath(pattern).c_str(), FindExInfoBasic, &listing->data,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (found == INVALID_HANDLE_VALUE) {
        end_ = OpenError(GetLastError());
        return false;
    }
    listing->find = found;
    listing->Fill(entry, *names_);
    listing_.reset(listing.release());
    return true;
}

bool DirSearch::NextListed(FileRoom& room, DirEntry& entry) {
    Listing& listing = *listing_;
    NameBuffer& names = *names_;
    for (;;) {
        if (!FindNextFileW(listing.find, &listing.data)) {
            // A listing cut off by an error is not a complete one.
            end_ = GetLastError() == ERROR_NO_MORE_FILES ? ListEnd::complete : ListEnd::unreadable;
            return false;
        }
        if (listing.IsFolder() || !room.Takes(names)) {
            listing.Fill(entry, names);
            return true;
        }
        // A name of less than MAX_PATH units.
        const auto units = static_cast<uint16_t>(listing.PutName(names).size());
        Take(room, {listing.Size(), Ticks(listing.data.ftLastWriteTime), units});
    }
}

int64_t LocalOffset() {
    FILETIME now, local;
    GetSystemTimeAsFileTime(&now);
    if (!FileTimeToLocalFileTime(&now, &local)) return 0;
    return static_cast<int64_t>(Ticks(local) - Ticks(now));
}

bool IdentifyDir(std::u16string_view path, DirId& id) {
    if (path.empty()) return false;
    // Opening the folder follows every link on the way; the handle needs no
    // access, only the id.
    win::KernelHandle folder(CreateFileW(
        SystemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !GetFileInformationByHandle(folder.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    id = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    return true;
}

}  // namespace platform
