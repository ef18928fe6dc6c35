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

void TMainForm::InitDir(TDir& dir) {
    dir.dirs = new TDynaArray(sizeof(TDir), &adir);
    dir.files = new TDynaArray(sizeof(TDir), &afile);
}

void TMainForm::ReadinDir(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                          bool subdirs) {
    toolkit_.ProcessMessages();
    InitDir(dir);
    AllocPChar(dir.dname, dirname);
    AllocPChar(dir.dname2, dirname2);
    if (inbreak) return;

    const std::u16string path = AddBackslash(dirname);
    const std::u16string path2 = AddBackslash(dirname2);
    const size_t first = staged_.size();
    platform::DirSearch search;
    platform::DirEntry entry;
    for (bool found = search.First((path + u"*.*").c_str(), entry); found && !inbreak;
         found = search.Next(entry)) {
        if (!entry.directory) {
            TDir& file = staged_.emplace_back();
            AllocPChar(file.dname2, entry.name);
            file.time = entry.time;
            file.sizelo = static_cast<uint32_t>(entry.size);
            file.sizehi = static_cast<uint32_t>(entry.size >> 32);
        } else if (subdirs && entry.name != u"." && entry.name != u"..") {
            auto* sub = static_cast<TDir*>(dir.dirs->Add());
            if (sub) ReadinDir(path + entry.name, path2 + entry.name, *sub, subdirs);
        }
    }

    // The entries go into the array in one block change, which leaves it as
    // adding them one by one would have.
    const auto gathered = static_cast<uint32_t>(staged_.size() - first);
    if (gathered) {
        if (auto* records = static_cast<TDir*>(dir.files->AddMany(gathered)))
            std::memcpy(static_cast<void*>(records), &staged_[first], gathered * sizeof(TDir));
        else
            for (size_t i = first; i < staged_.size(); ++i) FreePChar(staged_[i].dname2);
        staged_.resize(first);
    }
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
