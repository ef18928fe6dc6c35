// Reading a directory tree into a snapshot, and releasing it again.
#include <algorithm>
#include <cstring>

#include "base/name_mask.h"
#include "base/prefetch.h"
#include "monitor/dir.h"
#include "monitor/dyna_array.h"
#include "monitor/records.h"
#include "monitor/relisting.h"
#include "platform/dir_search.h"

namespace {

// In front of every text: the units of its buffer, then the count of names,
// whose top bit is the mark of distinct keys.
constexpr size_t kWordUnits = 2;
static_assert(sizeof(uint32_t) == kWordUnits * sizeof(char16_t));
constexpr size_t kHeadUnits = 2 * kWordUnits;
constexpr uint32_t kDistinct = 0x80000000u;

uint32_t WordAt(const char16_t* text, size_t back) {
    uint32_t word;
    std::memcpy(&word, text - back, sizeof word);
    return word;
}

uint32_t CountWord(const char16_t* text) {
    return WordAt(text, kWordUnits);
}

char16_t* NewText(size_t units, uint32_t names) {
    auto* buffer = new char16_t[kHeadUnits + units];
    const uint32_t head[2] = {static_cast<uint32_t>(units), names};
    std::memcpy(buffer, head, sizeof head);
    return buffer + kHeadUnits;
}

}  // namespace

void AllocPChar(char16_t*& field, std::u16string_view text) {
    char16_t* copy = NewText(text.size() + 1, 1);
    std::memcpy(copy, text.data(), text.size() * sizeof(char16_t));
    copy[text.size()] = u'\0';
    field = copy;
}

char16_t* AllocNames(std::u16string_view names, uint32_t count) {
    char16_t* block = NewText(names.size(), count);
    std::memcpy(block, names.data(), names.size() * sizeof(char16_t));
    return block;
}

void FreePChar(char16_t* text) {
    // A job whose set-up ran out of memory halfway has texts never made.
    if (text) delete[](text - kHeadUnits);
}

uint32_t UnitsAt(const char16_t* text) {
    return WordAt(text, kHeadUnits);
}

uint32_t NamesAt(const char16_t* text) {
    return CountWord(text) & ~kDistinct;
}

bool KeysDistinct(const char16_t* text) {
    return (CountWord(text) & kDistinct) != 0;
}

void MarkKeysDistinct(char16_t* text) {
    const uint32_t word = CountWord(text) | kDistinct;
    std::memcpy(text - kWordUnits, &word, sizeof word);
}

void PrefetchDir(const TDir& dir, int stage) {
    auto text = [](const char16_t* at) {
        if (at) base::Prefetch(at - kHeadUnits);
    };
    auto array = [](const TDynaArray* at) {
        if (at && at->poi) base::Prefetch(at->poi);
    };
    switch (stage) {
        case 0:
            text(dir.dname);
            text(dir.dname2);
            if (dir.files) base::Prefetch(dir.files);
            if (dir.dirs) base::Prefetch(dir.dirs);
            break;
        case 1:
            array(dir.files);
            array(dir.dirs);
            break;
        default:
            if (dir.files && dir.files->count)
                text(static_cast<const TDir*>(dir.files->poi)->dname2);
            break;
    }
}

std::u16string AddBackslash(std::u16string_view text) {
    std::u16string out(text);
    if (!out.empty() && out.back() != u'\\') out += u'\\';
    return out;
}

namespace {

std::u16string Joined(std::u16string_view path, std::u16string_view name) {
    std::u16string joined;
    joined.reserve(path.size() + name.size());
    return joined.append(path).append(name);
}

// A directory's names go into blocks of about this many text units: few
// allocations, and no large staging area for a directory of many files.
constexpr size_t kBlockUnits = 16384;

const char16_t* NextName(const char16_t* name) {
    return name + std::char_traits<char16_t>::length(name) + 1;
}

}  // namespace

// Frees the names of the file entries `files` holds, a block at a time, and
// leaves the cursor where a walk over the entries leaves it.
void ReleaseNames(TDynaArray& files) {
    auto* records = static_cast<TDir*>(files.poi);
    for (uint32_t i = 0; i < files.count;) {
        char16_t* name = records[i].dname2;
        i += name ? std::max<uint32_t>(NamesAt(name), 1) : 1;
        if (name) FreePChar(name);
    }
    if (files.count) files.GetObject(files.count - 1);
}

void TMainForm::InitDir(TDir& dir) {
    dir.dirs = new TDynaArray(sizeof(TDir), &adir);
    dir.files = new TDynaArray(sizeof(TDir), &afile);
}

void TMainForm::ReadinDir(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                          bool subdirs) {
    unreadable_.clear();
    path_.clear();
    links_.clear();
    ReadLevel(dirname, dirname2, dir, subdirs);
}

bool TMainForm::LeadsBack(const platform::DirId& target) {
    // A link whose end cannot be told is followed, as any other.
    if (target == platform::DirId{}) return false;
    for (Level& level : path_) {
        if (!level.asked) {
            level.asked = true;
            level.known = platform::IdentifyDir(level.path, level.id);
        }
        if (level.known && level.id == target) return true;
    }
    return false;
}

bool TMainForm::ReadLevel(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                          bool subdirs, Relisted* relisted) {
    toolkit_.ProcessMessages();
    InitDir(dir);
    AllocPChar(dir.dname, dirname);
    AllocPChar(dir.dname2, dirname2);
    // The caller's texts may be buffers that the next level reuses.
    dirname = dir.dname;
    dirname2 = dir.dname2;
    if (inbreak) return false;

    // The directories being read, from the watched one down, for telling a
    // link that leads back up; a read that throws leaves them as they were.
    path_.push_back(Level{dirname});
    struct Leave {
        std::vector<Level>& path;
        ~Leave() { path.pop_back(); }
    } leave{path_};
    const bool top = path_.size() == 1;

    // The search pattern, and the path the names of subdirectories follow,
    // in a buffer each depth keeps from read to read.
    if (patterns_.size() < path_.size()) patterns_.resize(path_.size());
    std::u16string& pattern = patterns_[path_.size() - 1];
    pattern.assign(dirname);
    if (!pattern.empty() && pattern.back() != u'\\') pattern += u'\\';
    pattern += u"*.*";
    const std::u16string_view path(pattern.data(), pattern.size() - 3);
    std::u16string path2;  // made at the first subdirectory
    // This directory's file entries, staged so that its array grows once,
    // and the blocks their names went into. Blocks that no record took over
    // (a failed array, a throw) are freed when the read of this level ends.
    const size_t first = staged_.Count();
    const size_t firstBlock = blocks_.size();
    const size_t firstUnit = staged_.Names().Kept();
    size_t unblocked = first;  // the first entry whose name is not in a block yet
    struct Unstage {
        TMainForm& form;
        size_t first, firstBlock, firstUnit;
        ~Unstage() {
            for (size_t b = firstBlock; b < form.blocks_.size(); ++b)
                if (form.blocks_[b]) FreePChar(form.blocks_[b]);
            form.blocks_.resize(firstBlock);
            form.staged_.Truncate(first, firstUnit);
        }
    } unstage{*this, first, firstBlock, firstUnit};
    auto block = [&] {
        if (unblocked == staged_.Count()) return;
        blocks_.push_back(nullptr);
        blocks_.back() = AllocNames(staged_.Names().Since(firstUnit),
                                    static_cast<uint32_t>(staged_.Count() - unblocked));
        staged_.Names().Drop(firstUnit);
        unblocked = staged_.Count();
    };
    // Adding one file at a time would leave `afile` on whatever was added
    // last; when that was a file below a subdirectory listed after this
    // directory's last file, the cursor must end there, not here.
    bool publishedBelow = false;
    bool publishedAny = false;
    bool unstored = false;  // a record that memory could not hold
    platform::DirSearch search;
    platform::DirEntry entry;
    // The plain files after an entry come in bulk, straight into the staging;
    // a stop while a subdirectory was read ends the listing before them.
    auto next = [&] {
        if (inbreak) return false;
        // Where masks decide, each file's name is looked at on its own.
        if (masks_) return search.Next(entry);
        platform::FileRoom room = staged_.Room(firstUnit + kBlockUnits);
        const bool found = search.NextTaking(room, entry);
        if (staged_.Taken(room)) publishedBelow = false;
        return found;
    };
    bool found = search.First(pattern.c_str(), entry, &staged_.Names());
    for (; found && !inbreak; found = next()) {
        if (!entry.directory) {
            if (entry.name.size() > UINT16_MAX) continue;  // no system lists such a name
            if (masks_ && !masks_->Counts(entry.name)) continue;
            staged_.Push(entry.size, entry.written, entry.name.size());
            if (staged_.Names().Kept() - firstUnit >= kBlockUnits) block();
            publishedBelow = false;
        } else if (subdirs && entry.name != u"." && entry.name != u".." &&
                   !(entry.link && LeadsBack(entry.target)) && path_.size() < platform::kDeepest) {
            auto* sub = static_cast<TDir*>(dir.dirs->Add());
            if (!sub) {
                unstored = true;
                continue;
            }
            if (path2.empty()) path2 = AddBackslash(dirname2);
            if (entry.link) links_.push_back(Joined(path2, entry.name));
            if (relisted && TakeOver(*relisted, entry, path2, *sub)) continue;
            subPath_.assign(path).append(entry.name);
            subPath2_.assign(path2).append(entry.name);
            if (ReadLevel(subPath_, subPath2_, *sub, subdirs)) publishedBelow = publishedAny = true;
        }
    }
    // The entries go into the array in one block change, which leaves it as
    // adding them one by one would have.
    block();
    const auto gathered = static_cast<uint32_t>(staged_.Count() - first);
    if (gathered) {
        TDir* below = afile;
        if (auto* records = static_cast<TDir*>(dir.files->AddMany(gathered))) {
            TDir* record = records;
            size_t b = firstBlock;
            const char16_t* name = nullptr;
            uint32_t left = 0;  // names of the current block not yet taken
            staged_.ForEach(first, [&](uint64_t size, uint64_t time, uint16_t units) {
                while (left == 0) {
                    name = blocks_[b++];
                    left = NamesAt(name);
                }
                record->dname2 = const_cast<char16_t*>(name);
                record->time = time;
                record->sizelo = static_cast<uint32_t>(size);
                record->sizehi = static_cast<uint32_t>(size >> 32);
                ++record;
                name += units + 1u;
                --left;
            });
            blocks_.resize(firstBlock);  // the records own them now
            publishedAny = true;
            if (publishedBelow) afile = below;
        } else {
            unstored = true;
        }
    }
    // A folder that could not be listed now is not an empty one; nor is a
    // watched folder that is missing (a drive or share not there for now),
    // nor one whose records memory could not hold.
    const platform::ListEnd end = found ? platform::ListEnd::complete : search.End();
    const bool denied = end == platform::ListEnd::denied;
    if (!inbreak && (unstored || denied || end == platform::ListEnd::unreadable ||
                     (top && end == platform::ListEnd::notFound)))
        unreadable_.push_back({dir.dname, dir.dname2, denied && !unstored});
    return publishedAny;
}

void TMainForm::ReleaseDir(TDir& dir) {
    if (dir.dname) FreePChar(dir.dname);
    if (dir.dname2) FreePChar(dir.dname2);
    // A record whose read failed before it was set up has no arrays.
    if (dir.files) {
        ReleaseNames(*dir.files);
        delete dir.files;
    }
    if (dir.dirs) FreeDir(dir.dirs);
}

void TMainForm::FreeDir(TDynaArray*& dirs) {
    dirs->First();
    // The release moves the shared cursor; the next WhileNext publishes this
    // loop's record again, and leaves its index on the next one.
    while (dirs->WhileNext()) {
        PrefetchAhead(static_cast<const TDir*>(dirs->poi), static_cast<uint32_t>(dirs->aobjnr),
                      dirs->count);
        ReleaseDir(*adir);
    }
    delete dirs;
}

TMainForm::Kept TMainForm::KeepUnreadable(TDir& dir, const TDir& odir, int64_t obias,
                                          const std::vector<StandIn>& oldStandIns) {
    Kept kept;
    if (unreadable_.empty()) return kept;
    std::sort(unreadable_.begin(), unreadable_.end());
    KeepLevel(dir, odir, obias, oldStandIns, kept);
    unreadable_.clear();
    return kept;
}

void TMainForm::KeepLevel(TDir& dir, const TDir& odir, int64_t obias,
                          const std::vector<StandIn>& oldStandIns, Kept& kept) {
    if (!oldStandIns.empty()) obias = BiasOf(oldStandIns, TextOf(odir.dname), obias);
    const auto unlisted = std::lower_bound(unreadable_.begin(), unreadable_.end(),
                                           Unlisted{dir.dname, nullptr, false});
    if (unlisted != unreadable_.end() && unlisted->dname == dir.dname) {
        // Whatever the listing gave before it failed goes; what the folder
        // held when it was last read stands in for it.
        ReleaseNames(*dir.files);
        delete dir.files;
        FreeDir(dir.dirs);
        InitDir(dir);
        CopyContent(dir, odir);
        const bool held = odir.dname && (CountOf(odir.files) || CountOf(odir.dirs));
        // A folder this user may never list (System Volume Information, say)
        // is as good as read when there was nothing to keep.
        if (unlisted->denied && !held) {
            kept.denied.emplace_back(TextOf(dir.dname2));
            return;
        }
        kept.listedAll = false;
        if (!held) {
            kept.known = false;
            return;
        }
        // Its times are compared, until it is read again, as of the offset
        // they were read under; those of stand-ins below it, as of theirs.
        kept.standIns.push_back({std::u16string(TextOf(dir.dname)), obias});
        const std::u16string below = AddBackslash(TextOf(odir.dname));
        for (const StandIn& old : oldStandIns)
            if (old.dname.starts_with(below)) kept.standIns.push_back(old);
        return;
    }
    const uint32_t olds = CountOf(odir.dirs);
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        TDir& sub = static_cast<TDir*>(dir.dirs->poi)[i];
        auto same = [&](uint32_t k) {
            return TextOf(RecordAt(*odir.dirs, k).dname) == TextOf(sub.dname);
        };
        // Both snapshots usually list in the same order: the same place first.
        uint32_t k = i < olds && same(i) ? i : 0;
        while (k < olds && !same(k)) ++k;
        if (k < olds) {
            KeepLevel(sub, RecordAt(*odir.dirs, k), obias, oldStandIns, kept);
        } else {
            TDir none{};
            KeepLevel(sub, none, obias, oldStandIns, kept);
        }
    }
}

void TMainForm::CopyContent(TDir& dir, const TDir& from) {
    if (const uint32_t n = CountOf(from.files)) {
        std::u16string names;
        for (uint32_t i = 0; i < n; ++i)
            names.append(TextOf(RecordAt(*from.files, i).dname2)).push_back(u'\0');
        char16_t* name = AllocNames(names, n);
        auto* records = static_cast<TDir*>(dir.files->AddMany(n));
        if (!records) {
            FreePChar(name);
            return;
        }
        for (uint32_t i = 0; i < n; ++i) {
            records[i] = RecordAt(*from.files, i);
            records[i].dname2 = name;
            name = const_cast<char16_t*>(NextName(name));
        }
    }
    for (uint32_t i = 0; i < CountOf(from.dirs); ++i) {
        const TDir& old = RecordAt(*from.dirs, i);
        auto* sub = static_cast<TDir*>(dir.dirs->Add());
        if (!sub) return;
        InitDir(*sub);
        AllocPChar(sub->dname, TextOf(old.dname));
        AllocPChar(sub->dname2, TextOf(old.dname2));
        CopyContent(*sub, old);
    }
}
