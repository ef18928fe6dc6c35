#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/change_watch.h"
#include "platform/handle_win.h"
#include "platform/system_path_win.h"
#include "platform/wide.h"

namespace platform {
namespace {

constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                          FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
constexpr DWORD kBufferBytes = 64 * 1024;
std::u16string Below(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    return path.append(name);
}

// The volume the opened folder is on, not the one the path's drive letter
// names: a root that is a link to a share or a removable drive is read whole.
// Found through the folder's DOS path (Wine tells no drive type for a
// volume's GUID path); a volume without one is not trusted.
bool Trusted(HANDLE folder) {
    const DWORD needed = GetFinalPathNameByHandleW(folder, nullptr, 0, VOLUME_NAME_DOS);
    if (!needed) return false;
    std::wstring path(needed, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(folder, path.data(), needed, VOLUME_NAME_DOS);
    if (!length || length >= needed) return false;
    path.resize(length);
    std::wstring volume(path.size() + MAX_PATH, L'\0');
    if (!GetVolumePathNameW(path.c_str(), volume.data(), static_cast<DWORD>(volume.size())))
        return false;
    const UINT type = GetDriveTypeW(volume.c_str());
    return type == DRIVE_FIXED || type == DRIVE_RAMDISK;
}

// Which folder a handle leads to: its volume's device with its path there,
// and its file index. The volume's serial would tell the volume as well, but
// asking for it costs Wine a round trip to its mount manager, several times
// an idle tick's other work; the device path costs a fraction of that.
struct Place {
    std::wstring device;
    int64_t index = 0;

    bool operator==(const Place&) const = default;
};

bool PlaceOf(HANDLE folder, Place& place) {
    constexpr auto kInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
    IO_STATUS_BLOCK status;
    LARGE_INTEGER index;
    if (NtQueryInformationFile(folder, &status, &index, sizeof index, kInternalInformation) < 0)
        return false;
    place.index = index.QuadPart;
    wchar_t path[MAX_PATH];
    DWORD length = GetFinalPathNameByHandleW(folder, path, MAX_PATH, VOLUME_NAME_NT);
    if (length && length < MAX_PATH) {
        place.device.assign(path, length);
        return true;
    }
    const DWORD needed = length;
    if (!needed) return false;
    place.device.resize(needed);
    length = GetFinalPathNameByHandleW(folder, place.device.data(), needed, VOLUME_NAME_NT);
    if (!length || length >= needed) return false;
    place.device.resize(length);
    return true;
}

std::wstring LongPath(const std::wstring& path) {
    const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (!needed) return {};
    std::wstring out(needed, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), out.data(), needed);
    if (!length || length >= needed) return {};
    out.resize(length);
    return out;
}

}  // namespace

// One directory handle with one overlapped read of its changes outstanding.
struct ChangeWatch::State {
    explicit State(std::wstring root)
        : dir(CreateFileW(root.c_str(), FILE_LIST_DIRECTORY,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                          nullptr)),
          event(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          path(std::move(root)) {
        overlapped.hEvent = event.Get();
    }
    ~State() {
        // The system writes into the buffer until the read is cancelled.
        if (!pending) return;
        DWORD ignored;
        if (CancelIoEx(dir.Get(), &overlapped) || GetLastError() != ERROR_NOT_FOUND)
            GetOverlappedResult(dir.Get(), &overlapped, &ignored, TRUE);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    bool Issue();
    bool Parse(DWORD bytes, std::vector<Change>& changes);
    bool LongFolders(std::u16string& path) const;
    bool StillAtPath() const;

    win::KernelHandle dir;
    win::KernelHandle event;
    std::wstring path;  // the root as the system takes it
    OVERLAPPED overlapped{};
    bool pending = false;
    bool subtree = false;
    Place place;            // of the watched folder
    std::wstring longRoot;  // with long names and a closing backslash, for expanding short ones
    std::vector<DWORD> buffer = std::vector<DWORD>(kBufferBytes / sizeof(DWORD));
};

bool ChangeWatch::State::Issue() {
    pending = ReadDirectoryChangesW(dir.Get(), buffer.data(), kBufferBytes, subtree, kFilter,
                                    nullptr, &overlapped, nullptr);
    return pending;
}

// A notification names an entry by its short (8.3) name where it was reached
// by that name; listings know the long names only, so the folders above the
// entry get theirs. False when they cannot be told.
bool ChangeWatch::State::LongFolders(std::u16string& relative) const {
    const size_t last = relative.rfind(u'\\');
    if (last == std::u16string::npos || relative.find(u'~') >= last) return true;
    const std::wstring expanded = LongPath(longRoot + AsWide(relative.substr(0, last)));
    if (expanded.size() <= longRoot.size() ||
        CompareStringOrdinal(expanded.c_str(), static_cast<int>(longRoot.size()), longRoot.c_str(),
                             static_cast<int>(longRoot.size()), TRUE) != CSTR_EQUAL)
        return false;
    relative = FromWide(expanded.substr(longRoot.size())) + relative.substr(last);
    return true;
}

// The handle stays with its folder wherever it goes: once the path leads
// elsewhere (the folder was moved or deleted, or another took its name), the
// reports no longer tell what happens there. Asked at every Collect, so it
// costs one open and two queries.
bool ChangeWatch::State::StillAtPath() const {
    win::KernelHandle now(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    Place there;
    return now && PlaceOf(now.Get(), there) && there == place;
}

bool ChangeWatch::State::Parse(DWORD bytes, std::vector<Change>& changes) {
    const auto* base = reinterpret_cast<const BYTE*>(buffer.data());
    for (DWORD at = 0; at < bytes;) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + at);
        const bool appeared =
            info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_RENAMED_NEW_NAME;
        std::u16string relative(reinterpret_cast<const char16_t*>(info->FileName),
                                info->FileNameLength / sizeof(WCHAR));
        if (!LongFolders(relative)) return false;
        if (info->Action == FILE_ACTION_RENAMED_NEW_NAME && subtree) {
            const std::u16string full = Below(FromWide(path), relative);
            const DWORD attributes = GetFileAttributesW(win::SystemPath(full).c_str());
            // A folder renamed inside the tree goes on being named by its old
            // path under Wine: starting over costs one full read.
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return false;
        }
        changes.push_back({std::move(relative), appeared});
        if (!info->NextEntryOffset) break;
        at += info->NextEntryOffset;
    }
    return true;
}

ChangeWatch::ChangeWatch() = default;
ChangeWatch::~ChangeWatch() = default;

void ChangeWatch::Stop() {
    state_.reset();
}

bool ChangeWatch::Open(bool subtree) {
    if (root_.empty()) return false;
    state_ = std::make_unique<State>(win::SystemPath(root_));
    State& state = *state_;
    if (!state.dir || !state.event || !Trusted(state.dir.Get()) ||
        !PlaceOf(state.dir.Get(), state.place))
        return false;
    state.subtree = subtree;
    state.longRoot = LongPath(state.path);
    if (state.longRoot.empty()) return false;
    // A drive's root ends in its backslash already.
    if (state.longRoot.back() != L'\\') state.longRoot += L'\\';
    return state.Issue();
}

bool ChangeWatch::Take(std::vector<Change>& changes) {
    State& state = *state_;
    for (;;) {
        DWORD bytes = 0;
        if (!GetOverlappedResult(state.dir.Get(), &state.overlapped, &bytes, FALSE)) {
            return GetLastError() == ERROR_IO_INCOMPLETE && state.StillAtPath();
        }
        state.pending = false;
        // Nothing in a completed read: the system's buffer overflowed.
        if (!bytes || !state.Parse(bytes, changes) || !state.Issue()) return false;
    }
}

}  // namespace platform
