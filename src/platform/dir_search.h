// Enumerates the entries of one directory, as the system lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {

// What the system says a directory is: equal ids are the same directory,
// whatever path or link led there.
struct DirId {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const DirId&) const = default;
};

// Where a search puts the names it lists: each after the names kept so far,
// with its terminator. The caller keeps a name by moving `Kept()` past it;
// otherwise the next name takes its place. A caller that keeps names this
// way needs no copy of each.
class NameBuffer {
  public:
    // Room for a name of at most `units` and its terminator.
    char16_t* Room(size_t units) {
        if (units_.size() - kept_ <= units) units_.resize(2 * (kept_ + units + 1));
        return units_.data() + kept_;
    }
    size_t Kept() const { return kept_; }
    void Keep(size_t units) { kept_ += units; }
    void Drop(size_t from) { kept_ = from; }
    std::u16string_view Since(size_t from) const { return {units_.data() + from, kept_ - from}; }

  private:
    std::vector<char16_t> units_;
    size_t kept_ = 0;
};

struct DirEntry {
    // In the search's name buffer, followed by a terminator: valid until the
    // search moves on or ends, or the buffer changes.
    std::u16string_view name;
    bool directory = false;
    // A directory reached through a link (a junction or a directory symbolic
    // link; a POSIX symbolic link), not through other reparse points such as
    // cloud placeholders. `target` is the directory it leads to, or zero when
    // that cannot be told.
    bool link = false;
    DirId target;
    uint64_t size = 0;
    // The last write in 100-nanosecond steps since 1601-01-01, UTC: the
    // system's own resolution, and no time zone in it.
    uint64_t written = 0;
};

// A plain file (anything but a folder) as a listing hands files over in
// bulk: its name is the one the listing kept last in the names buffer, and
// no system names a file in more than 65,535 units.
#pragma pack(push, 2)
struct FileFacts {
    uint64_t size;
    uint64_t written;  // as DirEntry::written
    uint16_t units;    // of the name, without its terminator
};
#pragma pack(pop)

// Where a listing puts plain files in bulk: from `next` up to `end`, and only
// while the names buffer keeps fewer than `namesUpTo` units.
struct FileRoom {
    FileFacts* next = nullptr;
    FileFacts* end = nullptr;
    size_t namesUpTo = 0;

    bool Takes(const NameBuffer& names) const { return next != end && names.Kept() < namesUpTo; }
};

// How many folders deep a read or a watch goes at most. Links that a system
// does not report as links (Wine's view of POSIX links, for one) can still
// lead back up; no real tree is this deep, and no walk may run out of stack.
inline constexpr size_t kDeepest = 512;

// Why a listing gave no further entry.
enum class ListEnd {
    complete,    // the listing went to its end
    notFound,    // the directory does not exist (or is no directory)
    unreadable,  // it exists, or may, but could not be listed now
    denied,      // it exists, but this user may not list it
};

// Test seam: called before a search delivers entry `index` (0 at First) of
// the listing `pattern`; what it returns other than ListEnd::complete ends
// the listing there, as the system would have ended it.
using ListingFault = std::function<ListEnd(std::u16string_view pattern, size_t index)>;
void SetListingFault(ListingFault fault);

// One open search; closed when it goes out of scope.
class DirSearch {
  public:
    DirSearch() = default;
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // `pattern` is a directory path followed by "\*.*"; every kind of entry
    // is listed, hidden and system entries, "." and ".." included. False when
    // there is no entry; End() then tells why. The names go into `names`, or
    // into the search's own buffer.
    bool First(const char16_t* pattern, DirEntry& entry, NameBuffer* names = nullptr);
    // Asked once per entry: the common path is inline.
    bool Next(DirEntry& entry) {
        FileRoom none;
        if (!listing_ || (faultSet_ && Faulted()) || !NextListed(none, entry)) return false;
        ++delivered_;
        return true;
    }
    // As Next(), but the plain files met on the way go into `room`, their
    // names kept in the names buffer, while it has room: a file staged this
    // way costs no hand-over of its own. With a listing fault set, each
    // entry is handed over on its own, so that the fault sees every one.
    bool NextTaking(FileRoom& room, DirEntry& entry) {
        if (faultSet_) return Next(entry);
        if (!listing_ || !NextListed(room, entry)) return false;
        ++delivered_;
        return true;
    }
    ListEnd End() const { return end_; }

  private:
    bool OpenListing(const char16_t* pattern, DirEntry& entry);
    // The next entry that is not a plain file taken into `room`.
    bool NextListed(FileRoom& room, DirEntry& entry);
    // Takes the plain file whose name the listing put last into `room`.
    void Take(FileRoom& room, const FileFacts& file) {
        *room.next++ = file;
        names_->Keep(file.units + 1u);
        ++delivered_;
    }
    bool Faulted();
    static bool faultSet_;  // a listing fault is set
    friend void SetListingFault(ListingFault fault);

    // The system's side of an open listing.
    struct Listing;
    struct Close {
        void operator()(Listing* listing) const;
    };
    std::unique_ptr<Listing, Close> listing_;
    NameBuffer* names_ = &ownNames_;
    NameBuffer ownNames_;
    ListEnd end_ = ListEnd::complete;
    const char16_t* pattern_ = nullptr;  // for the fault seam, valid while listing
    size_t delivered_ = 0;
};

// The id of the directory at `path`, links followed. False when the system
// cannot tell it.
bool IdentifyDir(std::u16string_view path, DirId& id);

// Local time minus UTC now, in 100-ns steps. Volumes that keep local times
// (FAT, exFAT) report UTC times that move by the change of this offset.
int64_t LocalOffset();

}  // namespace platform
