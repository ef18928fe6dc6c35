#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/file.h"
#include "platform/handle_win.h"
#include "platform/system_path_win.h"
#include "platform/wide.h"

namespace platform {
namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

File::~File() {
    Close();
}

bool File::OpenRead(std::u16string_view path) {
    Close();
    HANDLE h = CreateFileW(AsWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    openError_ = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    handle_ = h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
    return handle_ != -1;
}

bool File::Create(std::u16string_view path) {
    Close();
    HANDLE h = CreateFileW(AsWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    openError_ = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    handle_ = h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
    return handle_ != -1;
}

bool File::OpenAppend(std::u16string_view path) {
    Close();
    HANDLE h =
        CreateFileW(AsWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    openError_ = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    handle_ = h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
    return handle_ != -1;
}

uint64_t File::Size() const {
    LARGE_INTEGER size{};
    return GetFileSizeEx(AsHandle(handle_), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

size_t File::Read(void* buffer, size_t bytes, uint32_t& error) {
    size_t done = 0;
    error = 0;
    while (done < bytes) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes - done, 1u << 30)), got = 0;
        if (!ReadFile(AsHandle(handle_), static_cast<char*>(buffer) + done, chunk, &got, nullptr)) {
            error = GetLastError();
            break;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

size_t File::Write(const void* buffer, size_t bytes, uint32_t& error) {
    size_t done = 0;
    error = 0;
    while (done < bytes) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes - done, 1u << 30)), put = 0;
        if (!WriteFile(AsHandle(handle_), static_cast<const char*>(buffer) + done, chunk, &put,
                       nullptr)) {
            error = GetLastError();
            break;
        }
        if (put == 0) break;
        done += put;
    }
    return done;
}

bool File::Flush(uint32_t& error) {
    error = FlushFileBuffers(AsHandle(handle_)) ? 0 : GetLastError();
    return error == 0;
}

void File::Close() {
    if (handle_ != -1) CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

void CreateFolders(std::u16string_view path) {
    // Each prefix that ends before a backslash is one folder along the path;
    // the drive or share at its start simply fails to be created again.
    std::wstring wide = AsWide(path);
    for (size_t at = wide.find(L'\\', 1); at != std::wstring::npos; at = wide.find(L'\\', at + 1))
        CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
    if (!wide.empty() && wide.back() != L'\\') CreateDirectoryW(wide.c_str(), nullptr);
}

bool ReplaceWith(std::u16string_view from, std::u16string_view to, uint32_t& error) {
    // A write-protected list stays as it is. MoveFileEx refuses to replace a
    // read-only file on Windows, but not every implementation of it does.
    DWORD attributes = GetFileAttributesW(AsWide(to).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    bool moved = MoveFileExW(AsWide(from).c_str(), AsWide(to).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    error = moved ? 0 : GetLastError();
    return moved;
}

void RemoveFile(std::u16string_view path) {
    DeleteFileW(AsWide(path).c_str());
}

Writers SystemWritersOf(std::u16string_view path) {
    // Sharing only reading fails while any handle may write the file.
    win::KernelHandle file(CreateFileW(win::SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    if (file) return Writers::none;
    switch (GetLastError()) {
        case ERROR_SHARING_VIOLATION:
            return Writers::busy;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return Writers::gone;
        default:
            return Writers::none;
    }
}

}  // namespace platform
