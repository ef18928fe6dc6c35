#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <unordered_map>
#include <utility>

#include "base/text.h"
#include "platform/change_watch.h"
#include "platform/dir_search.h"
#include "platform/posix_path.h"

namespace platform {
namespace {

constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                             IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// File systems whose every change passes through this kernel. Overlay counts:
// it reports what is done through the mount, and changing its layers beneath
// a mounted overlay is not supported by the kernel anyway. Network and FUSE
// file systems are changed by others than this kernel and are not trusted.
bool TrustedType(long type) {
    switch (static_cast<unsigned long>(type)) {
        case 0xEF53:      // ext2, ext3, ext4
        case 0x58465342:  // xfs
        case 0x9123683E:  // btrfs
        case 0x01021994:  // tmpfs
        case 0x858458F6:  // ramfs
        case 0xF2F52010:  // f2fs
        case 0x794C7630:  // overlayfs
            return true;
        default:
            return false;
    }
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

struct Node {
    dev_t device;
    ino_t inode;
    bool operator==(const Node&) const = default;
};

std::string Joined(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty()) path += '/';
    return path.append(name);
}

std::u16string Reported(const std::string& relative) {
    std::u16string path = base::Utf8ToUtf16(relative);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

}  // namespace

// One inotify instance with a watch on every folder of the tree. A folder
// reached by several paths (through symbolic links) has one watch and all of
// its paths.
struct ChangeWatch::State {
    State(int fd, std::string root, bool subtree)
        : inotify(fd), root(std::move(root)), subtree(subtree) {}

    bool Trusted(dev_t device, const std::string& full);
    bool Follow(const std::string& relative, std::vector<Node>& above);
    bool FollowAppeared(const std::string& relative);
    void Forget(const std::string& relative);
    bool Dispatch(const inotify_event& event, std::vector<Change>& changes);

    std::string Full(const std::string& relative) const {
        return relative.empty() ? root : root + '/' + relative;
    }

    Descriptor inotify;
    const std::string root;
    const bool subtree;
    int rootWatch = -1;
    std::map<std::string, int> watchOf;  // relative path ("" for the root), sorted for subtrees
    std::unordered_map<int, std::vector<std::string>> pathsOf;
    std::vector<dev_t> trustedDevices;
    alignas(inotify_event) char buffer[64 * 1024];
};

bool ChangeWatch::State::Trusted(dev_t device, const std::string& full) {
    if (std::find(trustedDevices.begin(), trustedDevices.end(), device) != trustedDevices.end())
        return true;
    struct statfs info;
    if (statfs(full.c_str(), &info) != 0 || !TrustedType(info.f_type)) return false;
    trustedDevices.push_back(device);
    return true;
}

// Watches the folder at `relative` and, with a subtree, every folder below
// it, the way the snapshot reads them: links followed unless they lead back
// up. A folder gone meanwhile is no failure: its going is reported.
bool ChangeWatch::State::Follow(const std::string& relative, std::vector<Node>& above) {
    const std::string full = Full(relative);
    struct stat info;
    if (stat(full.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
    const Node node{info.st_dev, info.st_ino};
    if (!S_ISDIR(info.st_mode) || std::find(above.begin(), above.end(), node) != above.end())
        return true;
    if (!Trusted(info.st_dev, full)) return false;
    const int watch = inotify_add_watch(inotify.Get(), full.c_str(), kEvents | IN_ONLYDIR);
    if (watch < 0) return errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
    watchOf[relative] = watch;
    std::vector<std::string>& paths = pathsOf[watch];
    if (std::find(paths.begin(), paths.end(), relative) == paths.end()) paths.push_back(relative);
    if (!subtree || above.size() >= kDeepest) return true;

    DIR* dir = opendir(full.c_str());
    if (!dir) return errno == ENOENT || errno == ENOTDIR;
    above.push_back(node);
    bool ok = true;
    errno = 0;
    while (dirent* entry = readdir(dir)) {
        const unsigned char type = entry->d_type;
        if (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN) continue;
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        if (!Follow(Joined(relative, entry->d_name), above)) {
            ok = false;
            break;
        }
        errno = 0;
    }
    // A listing cut short may have left folders out.
    if (ok && errno) ok = false;
    above.pop_back();
    closedir(dir);
    return ok;
}

bool ChangeWatch::State::FollowAppeared(const std::string& relative) {
    // The folders above it, from the root down, for telling a link that leads
    // back up.
    std::vector<Node> above;
    std::string folder;
    for (;;) {
        struct stat info;
        if (stat(Full(folder).c_str(), &info) != 0) return true;  // gone again: reported too
        above.push_back({info.st_dev, info.st_ino});
        const size_t end = relative.find('/', folder.empty() ? 0 : folder.size() + 1);
        if (end == std::string::npos) break;
        folder = relative.substr(0, end);
    }
    return Follow(relative, above);
}

void ChangeWatch::State::Forget(const std::string& relative) {
    auto drop = [&](const std::string& path, int watch) {
        std::vector<std::string>& paths = pathsOf[watch];
        paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
        if (paths.empty()) {
            inotify_rm_watch(inotify.Get(), watch);
            pathsOf.erase(watch);
        }
    };
    if (auto self = watchOf.find(relative); self != watchOf.end()) {
        drop(self->first, self->second);
        watchOf.erase(self);
    }
    // The folders below sort together after the name and its slash; a
    // sibling whose name goes on with a lesser character ("2.x", "2 x")
    // sorts before them, and one that goes on with a greater ("21") after.
    const std::string below = relative + '/';
    const auto first = watchOf.lower_bound(below);
    auto last = first;
    for (; last != watchOf.end() && last->first.starts_with(below); ++last)
        drop(last->first, last->second);
    watchOf.erase(first, last);
}

bool ChangeWatch::State::Dispatch(const inotify_event& event, std::vector<Change>& changes) {
    if (event.mask & IN_Q_OVERFLOW) return false;
    if (event.wd == rootWatch && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)))
        return false;
    auto found = pathsOf.find(event.wd);
    if (found == pathsOf.end()) return true;  // a watch given up, whose last events still come
    if (event.mask & IN_IGNORED) {
        for (const std::string& path : found->second) watchOf.erase(path);
        pathsOf.erase(found);
        return true;
    }
    // A folder's own going is reported by its parent.
    if (!event.len && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF))) return true;

    const std::string_view name = event.len ? std::string_view(event.name) : std::string_view();
    const bool appeared = event.mask & (IN_CREATE | IN_MOVED_TO);
    const bool went = event.mask & (IN_DELETE | IN_MOVED_FROM);
    // Following a folder may add paths to this very watch.
    const std::vector<std::string> folders = found->second;
    for (const std::string& folder : folders) {
        const std::string relative = name.empty() ? folder : Joined(folder, name);
        changes.push_back({Reported(relative), appeared});
        if (went || appeared) Forget(relative);
        // A link to a folder arrives without IN_ISDIR: Follow looks.
        if (appeared && subtree && !FollowAppeared(relative)) return false;
    }
    return true;
}

ChangeWatch::ChangeWatch() = default;
ChangeWatch::~ChangeWatch() = default;

void ChangeWatch::Stop() {
    state_.reset();
}

bool ChangeWatch::Open(bool subtree) {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return false;
    state_ = std::make_unique<State>(fd, ToPosixPath(root_), subtree);
    std::vector<Node> above;
    if (state_->root.empty() || !state_->Follow("", above)) return false;
    const auto root = state_->watchOf.find("");
    if (root == state_->watchOf.end()) return false;  // no folder there
    state_->rootWatch = root->second;
    return true;
}

bool ChangeWatch::Take(std::vector<Change>& changes) {
    State& state = *state_;
    for (;;) {
        const ssize_t length = read(state.inotify.Get(), state.buffer, sizeof state.buffer);
        if (length < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN;
        }
        if (length == 0) return false;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(state.buffer + at);
            if (!state.Dispatch(*event, changes)) return false;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

}  // namespace platform
