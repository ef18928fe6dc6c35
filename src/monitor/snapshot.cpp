// Reading a directory tree into a snapshot, and releasing it again.
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
    ReadLevel(dirname, dirname2, dir, subdirs);
}

bool TMainForm::ReadLevel(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                          bool subdirs) {
    toolkit_.ProcessMessages();
    InitDir(dir);
    AllocPChar(dir.dname, dirname);
    AllocPChar(dir.dname2, dirname2);
    if (inbreak) return false;

    // The search pattern, and the path the names of subdirectories follow.
    std::u16string pattern = AddBackslash(dirname) + u"*.*";
    const std::u16string_view path(pattern.data(), pattern.size() - 3);
    std::u16string path2;  // made at the first subdirectory
    const size_t first = staged_.size();
    // A time number depends on the time zone, which only code outside the
    // read can change, and such code runs only where a subdirectory's read
    // handles window messages. The files listed before that get their
    // numbers in one batch, the same as they would have got one by one.
    size_t timed = first;
    auto makeTimes = [&] {
        if (timed == staged_.size()) return;
        platform::LocalTimes batch(staged_.size() - timed);
        for (; timed < staged_.size(); ++timed)
            staged_[timed].time = batch.DosTime(staged_[timed].time);
    };
    // Adding one file at a time would leave `afile` on whatever was added
    // last; when that was a file below a subdirectory listed after this
    // directory's last file, the cursor must end there, not here.
    bool publishedBelow = false;
    bool publishedAny = false;
    platform::DirSearch search(true);
    platform::DirEntry entry;
    for (bool found = search.First(pattern.c_str(), entry); found && !inbreak;
         found = search.Next(entry)) {
        if (!entry.directory) {
            Staged& staged = staged_.emplace_back();
            staged.time = entry.written;
            staged.size = entry.size;
            AllocPChar(staged.name, entry.name);
            publishedBelow = false;
        } else if (subdirs && entry.name != u"." && entry.name != u"..") {
            auto* sub = static_cast<TDir*>(dir.dirs->Add());
            if (!sub) continue;
            makeTimes();
            if (path2.empty()) path2 = AddBackslash(dirname2);
            if (ReadLevel(Joined(path, entry.name), Joined(path2, entry.name), *sub, subdirs))
                publishedBelow = publishedAny = true;
        }
    }
    makeTimes();

    // The entries go into the array in one block change, which leaves it as
    // adding them one by one would have.
    const auto gathered = static_cast<uint32_t>(staged_.size() - first);
    if (gathered) {
        TDir* below = afile;
        if (auto* records = static_cast<TDir*>(dir.files->AddMany(gathered))) {
            for (uint32_t i = 0; i < gathered; ++i) {
                const Staged& staged = staged_[first + i];
                records[i].dname2 = staged.name;
                records[i].time = static_cast<uint32_t>(staged.time);
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
