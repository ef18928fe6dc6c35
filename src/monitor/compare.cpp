// Comparing a fresh snapshot with the previous one.
#include <bit>

#include "monitor/dir.h"
#include "monitor/dyna_array.h"
#include "ui/main_form.h"

namespace {

std::u16string_view View(const char16_t* text) { return text ? std::u16string_view(text) : std::u16string_view(); }

uint32_t Hash(std::u16string_view text) {
    uint32_t h = 2166136261u;
    for (char16_t c : text) h = (h ^ c) * 16777619u;
    return h;
}

// Finds, for a name, the first record of an array that carries it. The slots
// hold record index + 1, 0 marking a free slot.
class FirstIndex {
public:
    FirstIndex(std::vector<uint32_t>& slots, const TDynaArray& array, char16_t* TDir::*key)
        : slots_(slots), array_(array), key_(key) {
        if (array.count == 0) return;
        slots_.assign(std::bit_ceil(size_t{array.count} * 2), 0);
        mask_ = slots_.size() - 1;
        for (uint32_t i = 0; i < array.count; ++i) {
            std::u16string_view name = KeyOf(i);
            size_t at = Hash(name) & mask_;
            while (slots_[at] && KeyOf(slots_[at] - 1) != name) at = (at + 1) & mask_;
            if (!slots_[at]) slots_[at] = i + 1;  // an earlier equal name stays
        }
    }

    TDir* Find(std::u16string_view name) const {
        if (array_.count == 0) return nullptr;
        for (size_t at = Hash(name) & mask_; slots_[at]; at = (at + 1) & mask_)
            if (KeyOf(slots_[at] - 1) == name) return Record(slots_[at] - 1);
        return nullptr;
    }

private:
    TDir* Record(uint32_t i) const { return static_cast<TDir*>(array_.poi) + i; }
    std::u16string_view KeyOf(uint32_t i) const { return View(Record(i)->*key_); }

    std::vector<uint32_t>& slots_;
    const TDynaArray& array_;
    char16_t* TDir::*key_;
    size_t mask_ = 0;
};

}  // namespace

void TMainForm::CompDir(TDir& dir, TDir& odir, std::u16string_view command,
                        std::u16string_view command2, bool newfiles, bool changedfiles,
                        bool invisible) {
    CompareLevel(dir, odir, command, command2, newfiles, changedfiles, invisible, 0);
}

void TMainForm::CompareLevel(TDir& dir, TDir& odir, std::u16string_view command,
                             std::u16string_view command2, bool newfiles, bool changedfiles,
                             bool invisible, size_t depth) {
    if (tables_.size() <= depth) tables_.resize(depth + 1);
    std::vector<uint32_t>& slots = tables_[depth];

    if (newfiles || changedfiles) {
        FirstIndex known(slots, *odir.files, &TDir::dname2);
        std::u16string path, path2;  // made at the first launch
        bool pathsMade = false;
        for (uint32_t i = 0; i < dir.files->count; ++i) {
            auto* file = static_cast<TDir*>(dir.files->GetObject(i));
            const TDir* old = known.Find(View(file->dname2));
            bool report = old ? changedfiles && (old->time != file->time ||
                                                 old->sizelo != file->sizelo ||
                                                 old->sizehi != file->sizehi)
                              : newfiles;
            if (!report) continue;
            if (!pathsMade) {
                path = AddBackslash(View(dir.dname));
                path2 = AddBackslash(View(dir.dname2));
                pathsMade = true;
            }
            ExecCommand(command, command2, path + file->dname2, path2 + file->dname2, invisible);
        }
    }

    FirstIndex known(slots, *odir.dirs, &TDir::dname);
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        auto* sub = static_cast<TDir*>(dir.dirs->GetObject(i));
        if (TDir* old = known.Find(View(sub->dname))) {
            CompareLevel(*sub, *old, command, command2, newfiles, changedfiles, invisible, depth + 1);
        } else {
            TDir empty{};
            InitDir(empty);
            CompareLevel(*sub, empty, command, command2, newfiles, changedfiles, invisible, depth + 1);
            ReleaseDir(empty);
        }
    }
}
