// What the system reports as changed below a watched directory, so that a
// tick can re-read only the folders that changed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Something that happened to an entry below a watched directory.
struct Change {
    // The entry's path relative to the watched directory, its parts separated
    // by '\\' (both layers), e.g. u"sub\\file.txt"; empty for the watched
    // directory itself.
    std::u16string path;
    // The entry appeared: it was created or renamed/moved in (it may be a
    // whole new folder tree). False for anything else: written, resized,
    // deleted, renamed away.
    bool appeared = false;
};

// Reports the changes below one watched directory, polled by the caller (no
// threads, no callbacks).
class ChangeWatch {
  public:
    ChangeWatch();
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Starts (or restarts: whatever was running stops first) watching `root`,
    // a directory path as DirSearch takes them (without "\*.*"); with
    // `subtree`, every folder below it too. False when the reports here cannot
    // be trusted or had to be given up: a network, removable or unknown kind
    // of volume (the one the folder is on, links followed), the watch cannot
    // be set up (root missing, no access), or (POSIX) the system's limit of
    // watches was reached. The watch is then idle. Windows reports what
    // happens behind a folder link under the path of the folder it leads to,
    // not below `root`: callers read linked folders themselves.
    bool Start(std::u16string_view root, bool subtree);
    void Stop();
    // Hands over, in the order they happened, the changes reported since Start
    // or the last Collect, appended to `changes`. False when some change may
    // have gone unreported since then (the system's buffer overflowed, the
    // watch broke or was not started, the watched directory itself was deleted
    // or moved, or another took its path, the limit of watches was reached
    // while following new folders): the watch is then idle, and the caller
    // reads everything and calls Start again.
    bool Collect(std::vector<Change>& changes);

  private:
    struct State;  // the system's own, in the _win and _posix files

    bool Faulted() const;
    // The system's part of Start and Collect, on `root_`.
    bool Open(bool subtree);
    bool Take(std::vector<Change>& changes);

    std::u16string root_;
    std::unique_ptr<State> state_;
};

// Test seam: consulted by Start (for `root`) and by Collect; anything but
// `none` makes them fail as the named cause would. Null restores the real
// behaviour.
enum class WatchFault { none, untrustedVolume, limitReached, overflow, broken };
void SetWatchFault(std::function<WatchFault(std::u16string_view root)> fault);
// Test seam: sees each change Collect hands over, and may spell its path as
// a system that tells no case apart may report it. Null: as reported.
void SetReportSpelling(std::function<void(Change& change)> spell);

}  // namespace platform
