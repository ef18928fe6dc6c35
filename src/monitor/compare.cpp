// Comparing a fresh snapshot with the previous one.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/dir.h"
#include "monitor/dyna_array.h"
#include "monitor/records.h"
#include "monitor/relisting.h"

namespace {

const char16_t* Text(const char16_t* text) {
    return text ? text : u"";
}

// True when both texts are equal, with the common length in `length`.
bool SameText(const char16_t* a, const char16_t* b, size_t& length) {
    for (size_t n = 0;; ++n) {
        const char16_t c = a[n];
        if (c != b[n]) return false;
        if (!c) {
            length = n;
            return true;
        }
    }
}

uint64_t Mix(uint64_t h, uint64_t word) {
    h = (h ^ word) * 0xBF58476D1CE4E5B9u;
    return h ^ (h >> 31);
}

// Never 0, which marks a free slot.
uint64_t Hash(const char16_t* text, size_t length) {
    uint64_t h = 0x9E3779B97F4A7C15u * (length + 1);
    uint64_t word;
    if (length >= 4) {
        size_t i = 0;
        for (; i + 4 < length; i += 4) {
            std::memcpy(&word, text + i, sizeof word);
            h = Mix(h, word);
        }
        // The last four units, overlapping the previous step where the
        // length is no multiple of four.
        std::memcpy(&word, text + length - 4, sizeof word);
        h = Mix(h, word);
    } else {
        word = 0;
        for (size_t i = 0; i < length; ++i) word |= uint64_t{text[i]} << (16 * i);
        h = Mix(h, word);
    }
    return h ? h : 1;
}

// Finds, for each record of a fresh array, the first record of the previous
// array whose key is equal.
//
// Both snapshots usually list a directory in the same order, so the record
// at the same index is tried first. While every record so far had its equal
// in place, such a record is the first with its key exactly when no record
// before it has the same key; the table of the hashes of those before it
// proves that wherever the hash is new. From the first record where that
// fails on (the order differs, or a hash repeats), the table becomes an
// index of the whole previous array, made when first needed.
class FirstMatch {
  public:
    FirstMatch(std::vector<uint64_t>& scratch, const TDynaArray& fresh, const TDynaArray& old,
               char16_t* TDir::*key)
        : table_(scratch), old_(old), key_(key) {
        if (old.count == 0) return;
        // At most four slots in five taken: short probes, and no more table
        // than a directory of 100,000 files needs.
        slots_ = std::bit_ceil(size_t{old.count} + old.count / 4 + 1);
        mask_ = slots_ - 1;
        const uint32_t both = std::min(fresh.count, old.count);
        uint32_t equal = 0;
        size_t length;
        // Only a file array's first key opens a text of the array's own; a
        // directory record, with its path, can move to another array.
        const bool files = key == &TDir::dname2;
        if (const char16_t* first = RawKey(old, 0); files && first && KeysDistinct(first)) {
            // The names of a directory lie in blocks in the order of the
            // records: where both arrays' blocks are equal, so are the names.
            while (equal < both) {
                const char16_t* a = RawKey(fresh, equal);
                const char16_t* b = RawKey(old, equal);
                if (!a || !b) break;
                const uint32_t names = NamesAt(a);
                if (names != NamesAt(b) || names > both - equal || UnitsAt(a) != UnitsAt(b) ||
                    std::memcmp(a, b, UnitsAt(a) * sizeof(char16_t)) != 0)
                    break;
                equal += names;
            }
            while (equal < both && SameText(KeyOf(fresh, equal), KeyOf(old, equal), length))
                ++equal;
            inPlace_ = equal;
        } else {
            table_.resize(slots_ + both);
            std::fill_n(table_.begin(), slots_, 0);
            uint64_t* hashes = table_.data() + slots_;
            while (equal < both && SameText(KeyOf(fresh, equal), KeyOf(old, equal), length)) {
                hashes[equal] = Hash(KeyOf(old, equal), length);
                ++equal;
            }
            // A pass of its own over the table, so that its cache misses overlap.
            while (inPlace_ < equal && Remember(hashes[inPlace_])) ++inPlace_;
        }
        // The fresh keys are the old ones in the same order, and those are
        // all different.
        if (files && inPlace_ == fresh.count && fresh.count == old.count)
            if (char16_t* first = RawKey(fresh, 0)) MarkKeysDistinct(first);
    }

    // The fresh records before this one have their match at the same index
    // of the previous array.
    uint32_t InPlace() const { return inPlace_; }
    const TDir* Old() const { return Record(0); }

    // `name` is the key of the fresh record `i`.
    TDir* Find(uint32_t i, const char16_t* name) {
        if (i < inPlace_) return Record(i);
        if (old_.count == 0) return nullptr;
        if (!indexed_) BuildIndex();
        return Lookup(Text(name));
    }

  private:
    char16_t* RawKey(const TDynaArray& array, uint32_t i) const {
        return static_cast<const TDir*>(array.poi)[i].*key_;
    }
    const char16_t* KeyOf(const TDynaArray& array, uint32_t i) const {
        return Text(RawKey(array, i));
    }
    const char16_t* KeyOf(uint32_t i) const { return KeyOf(old_, i); }
    TDir* Record(uint32_t i) const { return static_cast<TDir*>(old_.poi) + i; }

    // False when the hash was there already.
    bool Remember(uint64_t hash) {
        size_t at = hash & mask_;
        for (; table_[at]; at = (at + 1) & mask_)
            if (table_[at] == hash) return false;
        table_[at] = hash;
        return true;
    }

    // Slots of the index hold the upper half of the hash and the record
    // index + 1.
    static uint64_t Slot(uint64_t hash, uint32_t i) {
        return (hash & 0xFFFFFFFF00000000u) | (uint64_t{i} + 1);
    }
    static uint32_t IndexOf(uint64_t slot) { return static_cast<uint32_t>(slot) - 1; }

    void BuildIndex() {
        indexed_ = true;
        if (table_.size() < slots_) table_.resize(slots_);
        std::fill_n(table_.begin(), slots_, 0);
        for (uint32_t i = 0; i < old_.count; ++i) {
            const char16_t* name = KeyOf(i);
            const uint64_t hash = Hash(name, std::char_traits<char16_t>::length(name));
            size_t at = hash & mask_;
            while (table_[at] && !Equal(table_[at], hash, name)) at = (at + 1) & mask_;
            if (!table_[at]) table_[at] = Slot(hash, i);  // an earlier equal key stays
        }
    }

    bool Equal(uint64_t slot, uint64_t hash, const char16_t* name) const {
        size_t length;
        return (slot ^ hash) >> 32 == 0 && SameText(KeyOf(IndexOf(slot)), name, length);
    }

    TDir* Lookup(const char16_t* name) const {
        const uint64_t hash = Hash(name, std::char_traits<char16_t>::length(name));
        for (size_t at = hash & mask_; table_[at]; at = (at + 1) & mask_)
            if (Equal(table_[at], hash, name)) return Record(IndexOf(table_[at]));
        return nullptr;
    }

    std::vector<uint64_t>& table_;
    const TDynaArray& old_;
    char16_t* TDir::*key_;
    size_t slots_ = 0;
    size_t mask_ = 0;
    uint32_t inPlace_ = 0;  // the fresh records before this one have their match in place
    bool indexed_ = false;
};

// Volumes that keep local times (FAT, exFAT) report every time moved back by
// however far the local time's offset moved forward: such a move alone, with
// the size kept, is no change of the file.
bool Changed(const TDir& old, const TDir& file, int64_t shift) {
    if (old.sizelo != file.sizelo || old.sizehi != file.sizehi) return true;
    if (old.time == file.time) return false;
    return shift == 0 || static_cast<int64_t>(file.time - old.time) != -shift;
}

// The first of the fresh `files` from `i` on that is to be launched, as new
// or as changed; `count` when none is. A loop of its own, since nearly every
// entry of a tick is neither.
uint32_t NextToLaunch(FirstMatch& known, const TDir* files, uint32_t i, uint32_t count,
                      bool newfiles, bool changedfiles, int64_t shift) {
    const uint32_t inPlace = std::min(known.InPlace(), count);
    if (!changedfiles) {
        i = std::max(i, inPlace);
    } else if (i < inPlace) {
        const TDir* olds = known.Old();
        while (i < inPlace && !Changed(olds[i], files[i], shift)) ++i;
        if (i < inPlace) return i;
    }
    for (; i < count; ++i) {
        const TDir* old = known.Find(i, files[i].dname2);
        if (old ? changedfiles && Changed(*old, files[i], shift) : newfiles) break;
    }
    return i;
}

}  // namespace

void TMainForm::CompDir(TDir& dir, TDir& odir, std::u16string_view command,
                        std::u16string_view command2, bool newfiles, bool changedfiles,
                        bool invisible) {
    CompareLevel(dir, odir, command, command2, newfiles, changedfiles, invisible, 0);
}

void TMainForm::CompareLevel(TDir& dir, TDir& odir, std::u16string_view command,
                             std::u16string_view command2, bool newfiles, bool changedfiles,
                             bool invisible, size_t depth) {
    if (!odir.files || !odir.dirs) {
        // A read that failed before it set the record up left it without
        // arrays: everything below counts as new.
        TDir empty{};
        InitDir(empty);
        CompareLevel(dir, empty, command, command2, newfiles, changedfiles, invisible, depth);
        ReleaseDir(empty);
        return;
    }
    if (!standIns_) {
        CompareFiles(dir, odir, command, command2, newfiles, changedfiles, invisible, depth);
        CompareDirs(dir, odir, command, command2, newfiles, changedfiles, invisible, depth);
        return;
    }
    // A folder that stood in for one a read could not list holds the times
    // of the read it came from, and volumes that keep local times report
    // them under that read's offset.
    const int64_t fresh = freshBias_, old = oldBias_;
    freshBias_ = BiasOf(*standIns_, TextOf(dir.dname), fresh);
    oldBias_ = BiasOf(*oldStandIns_, TextOf(odir.dname), old);
    shift_ = freshBias_ - oldBias_;
    CompareFiles(dir, odir, command, command2, newfiles, changedfiles, invisible, depth);
    CompareDirs(dir, odir, command, command2, newfiles, changedfiles, invisible, depth);
    freshBias_ = fresh;
    oldBias_ = old;
    shift_ = fresh - old;
}

void TMainForm::CompareFiles(TDir& dir, TDir& odir, std::u16string_view command,
                             std::u16string_view command2, bool newfiles, bool changedfiles,
                             bool invisible, size_t depth) {
    if (!newfiles && !changedfiles) return;
    if (tables_.size() <= depth) tables_.resize(depth + 1);
    FirstMatch known(tables_[depth], *dir.files, *odir.files, &TDir::dname2);
    std::u16string path, path2;  // made at the first launch
    bool pathsMade = false;
    // The cursor is moved only where it can be seen: at a launch, and to
    // the last entry at the end, where a walk over the entries leaves it.
    const uint32_t count = dir.files->count;
    const auto* files = static_cast<const TDir*>(dir.files->poi);
    for (uint32_t i = 0;; ++i) {
        i = NextToLaunch(known, files, i, count, newfiles, changedfiles, shift_);
        if (i == count) break;
        const TDir& file = files[i];
        if (!pathsMade) {
            path = AddBackslash(TextOf(dir.dname));
            path2 = AddBackslash(TextOf(dir.dname2));
            pathsMade = true;
        }
        dir.files->GetObject(i);
        LaunchOrOwe(command, command2, path + file.dname2, path2 + file.dname2, invisible,
                    known.Find(i, file.dname2) != nullptr);
    }
    if (count) dir.files->GetObject(count - 1);
}

void TMainForm::CompareDirs(TDir& dir, TDir& odir, std::u16string_view command,
                            std::u16string_view command2, bool newfiles, bool changedfiles,
                            bool invisible, size_t depth, const Relisted* relisted) {
    if (tables_.size() <= depth) tables_.resize(depth + 1);
    FirstMatch known(tables_[depth], *dir.dirs, *odir.dirs, &TDir::dname);
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        PrefetchAhead(static_cast<const TDir*>(dir.dirs->poi), i + 1, dir.dirs->count);
        PrefetchAhead(known.Old(), i + 1, std::min(known.InPlace(), odir.dirs->count));
        auto* sub = static_cast<TDir*>(dir.dirs->GetObject(i));
        if (relisted && relisted->TakenOver(i)) {
            CompareRelisted(*sub, depth + 1);
        } else if (TDir* old = known.Find(i, sub->dname)) {
            CompareLevel(*sub, *old, command, command2, newfiles, changedfiles, invisible,
                         depth + 1);
        } else {
            TDir empty{};
            InitDir(empty);
            CompareLevel(*sub, empty, command, command2, newfiles, changedfiles, invisible,
                         depth + 1);
            ReleaseDir(empty);
        }
    }
}
