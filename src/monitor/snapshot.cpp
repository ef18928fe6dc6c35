// Reading a directory tree into a snapshot, and releasing it again.
#include <algorithm>
#include <cstring>

#include "monitor/dir.h"
#include "monitor/dyna_array.h"
#include "platform/dir_search.h"
#include "ui/main_form.h"

void AllocPChar(char16_t*& field, std::u16string_view text) {
    auto* copy = new char16_t[text.size() + 1];
    std::memcpy(copy, text.data(), text.size() * sizeof(char16_t));
    copy[text.size()] = u'\0';
    field = copy;
}

void FreePChar(char16_t* text) { delete[] text; }

std::u16string AddBackslash(std::u16string_view text) {
    std::u16string out(text);
    if (!out.empty() && out.back() != u'\\') out += u'\\';
    return out;
}

namespace {

// Links that a system does not report as links (Wine's view of POSIX links,
// for one) can still lead back up; no real tree is this deep, and the read
// must not run out of stack.
constexpr size_t kDeepest = 512;

std::u16string Joined(std::u16string_view path, std::u16string_view name) {
    std::u16string joined;
    joined.reserve(path.size() + name.size());
    return joined.append(path).append(name);
}

}  // namespace

void TMainForm::InitDir(TDir& dir) {
    dir.dirs = new TDynaArray(sizeof(TDir), &adir);
    dir.files = new TDynaArray(sizeof(TDir), &afile);
}

void TMainForm::ReadinDir(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                          bool subdirs) {
    unreadable_.clear();
    path_.clear();
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
                          bool subdirs) {
    toolkit_.ProcessMessages();
    InitDir(dir);
    AllocPChar(dir.dname, dirname);
    AllocPChar(dir.dname2, dirname2);
    if (inbreak) return false;

    // The directories being read, from the watched one down, for telling a
    // link that leads back up; a read that throws leaves them as they were.
    path_.push_back(Level{dirname});
    struct Leave {
        std::vector<Level>& path;
        ~Leave() { path.pop_back(); }
    } leave{path_};
    const bool top = path_.size() == 1;

    // The search pattern, and the path the names of subdirectories follow.
    std::u16string pattern = AddBackslash(dirname) + u"*.*";
    const std::u16string_view path(pattern.data(), pattern.size() - 3);
    std::u16string path2;  // made at the first subdirectory
    const size_t first = staged_.size();
    // Adding one file at a time would leave `afile` on whatever was added
    // last; when that was a file below a subdirectory listed after this
    // directory's last file, the cursor must end there, not here.
    bool publishedBelow = false;
    bool publishedAny = false;
    platform::DirSearch search;
    platform::DirEntry entry;
    bool found = search.First(pattern.c_str(), entry);
    for (; found && !inbreak; found = search.Next(entry)) {
        if (!entry.directory) {
            Staged& staged = staged_.emplace_back();
            staged.time = entry.written;
            staged.size = entry.size;
            AllocPChar(staged.name, entry.name);
            publishedBelow = false;
        } else if (subdirs && entry.name != u"." && entry.name != u".." &&
                   !(entry.link && LeadsBack(entry.target)) && path_.size() < kDeepest) {
            auto* sub = static_cast<TDir*>(dir.dirs->Add());
            if (!sub) continue;
            if (path2.empty()) path2 = AddBackslash(dirname2);
            if (ReadLevel(Joined(path, entry.name), Joined(path2, entry.name), *sub, subdirs))
                publishedBelow = publishedAny = true;
        }
    }
    // A folder that could not be listed now is not an empty one; nor is a
    // watched folder that is missing (a drive or share not there for now).
    if (!found && !inbreak &&
        (search.End() == platform::ListEnd::unreadable ||
         (top && search.End() == platform::ListEnd::notFound)))
        unreadable_.push_back(dir.dname);

    // The entries go into the array in one block change, which leaves it as
    // adding them one by one would have.
    const auto gathered = static_cast<uint32_t>(staged_.size() - first);
    if (gathered) {
        TDir* below = afile;
        if (auto* records = static_cast<TDir*>(dir.files->AddMany(gathered))) {
            for (uint32_t i = 0; i < gathered; ++i) {
                const Staged& staged = staged_[first + i];
                records[i].dname2 = staged.name;
                records[i].time = staged.time;
                records[i].sizelo = static_cast<uint32_t>(staged.size);
                records[i].sizehi = static_cast<uint32_t>(staged.size >> 32);
            }
            publishedAny = true;
            if (publishedBelow) afile = below;
        } else {
            for (size_t i = first; i < staged_.size(); ++i) FreePChar(staged_[i].name);
        }
        staged_.resize(first);
    }
    return publishedAny;
}

void TMainForm::ReleaseDir(TDir& dir) {
    if (dir.dname) FreePChar(dir.dname);
    if (dir.dname2) FreePChar(dir.dname2);
    // A record whose read failed before it was set up has no arrays.
    if (dir.files) {
        dir.files->First();
        while (dir.files->WhileNext()) FreePChar(afile->dname2);
        delete dir.files;
    }
    if (dir.dirs) FreeDir(dir.dirs);
}

void TMainForm::FreeDir(TDynaArray*& dirs) {
    dirs->First();
    // The release moves the shared cursor; the next WhileNext publishes this
    // loop's record again.
    while (dirs->WhileNext()) ReleaseDir(*adir);
    delete dirs;
}

namespace {

// A record whose read failed before it was set up has no arrays.
uint32_t CountOf(const TDynaArray* array) { return array ? array->count : 0; }

const TDir& RecordOf(const TDynaArray* array, uint32_t i) {
    return static_cast<const TDir*>(array->poi)[i];
}

std::u16string_view TextOf(const char16_t* text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace

void TMainForm::KeepUnreadable(TDir& dir, const TDir& odir) {
    if (unreadable_.empty()) return;
    std::sort(unreadable_.begin(), unreadable_.end());
    KeepLevel(dir, odir);
    unreadable_.clear();
}

void TMainForm::KeepLevel(TDir& dir, const TDir& odir) {
    if (std::binary_search(unreadable_.begin(), unreadable_.end(), dir.dname)) {
        // Whatever the listing gave before it failed goes; what the folder
        // held when it was last read stands in for it.
        dir.files->First();
        while (dir.files->WhileNext()) FreePChar(afile->dname2);
        delete dir.files;
        FreeDir(dir.dirs);
        InitDir(dir);
        CopyContent(dir, odir);
        return;
    }
    const uint32_t olds = CountOf(odir.dirs);
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        TDir& sub = static_cast<TDir*>(dir.dirs->poi)[i];
        auto same = [&](uint32_t k) { return TextOf(RecordOf(odir.dirs, k).dname) == TextOf(sub.dname); };
        // Both snapshots usually list in the same order: the same place first.
        uint32_t k = i < olds && same(i) ? i : 0;
        while (k < olds && !same(k)) ++k;
        if (k < olds) {
            KeepLevel(sub, RecordOf(odir.dirs, k));
        } else {
            TDir none{};
            KeepLevel(sub, none);
        }
    }
}

void TMainForm::CopyContent(TDir& dir, const TDir& from) {
    if (const uint32_t n = CountOf(from.files)) {
        auto* records = static_cast<TDir*>(dir.files->AddMany(n));
        if (!records) return;
        for (uint32_t i = 0; i < n; ++i) {
            const TDir& old = RecordOf(from.files, i);
            records[i] = old;
            AllocPChar(records[i].dname2, TextOf(old.dname2));
        }
    }
    for (uint32_t i = 0; i < CountOf(from.dirs); ++i) {
        const TDir& old = RecordOf(from.dirs, i);
        auto* sub = static_cast<TDir*>(dir.dirs->Add());
        if (!sub) return;
        InitDir(*sub);
        AllocPChar(sub->dname, TextOf(old.dname));
        AllocPChar(sub->dname2, TextOf(old.dname2));
        CopyContent(*sub, old);
    }
}
