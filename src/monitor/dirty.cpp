// The folders a partial read lists anew: as the system reported them, and
// then as the snapshot spells them.
#include <algorithm>

#include "base/name_case.h"
#include "monitor/records.h"
#include "monitor/relisting.h"

namespace {

// Names that differ in case beyond the letters folded read as two, and a
// tick then reads fully where it need not.
std::u16string Folded(std::u16string_view path) {
    std::u16string out(path);
    for (char16_t& c : out) c = base::UpperOf(c);
    return out;
}

bool SameFolded(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return base::UpperOf(x) == base::UpperOf(y); });
}

}  // namespace

void SortUnique(std::vector<std::u16string>& list) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

void TMainForm::Dirty::AddWhole(std::u16string_view path) {
    whole.push_back(Folded(path));
}

bool TMainForm::Dirty::Relists(std::u16string_view path) const {
    return std::binary_search(relist.begin(), relist.end(), path);
}

bool TMainForm::Dirty::Whole(std::u16string_view path) const {
    return std::binary_search(whole.begin(), whole.end(), Folded(path));
}

bool TMainForm::Dirty::AtOrBelow(std::u16string_view path) const {
    if (path.empty()) return !relist.empty();
    if (Relists(path)) return true;
    // Paths below sort right after the path and its backslash.
    std::u16string below(path);
    below += u'\\';
    auto at = std::lower_bound(relist.begin(), relist.end(), below);
    return at != relist.end() && at->starts_with(below);
}

bool TMainForm::Dirty::Resolve(const TDir& root) {
    SortUnique(relist);
    SortUnique(whole);
    bool respelled = false;
    for (std::u16string& path : relist) {
        if (LevelOf(root, path)) continue;
        if (const TDir* level = LevelOf(root, path, true)) {
            path = TextOf(level->dname2);
            respelled = true;
            continue;
        }
        // A folder the snapshot does not hold is new since its parent was
        // last listed: it appeared, or a folder above it did, and that one is
        // read whole. Anything else is read in full.
        std::u16string_view above = path;
        while (!Whole(above)) {
            if (above.empty()) return false;
            above = ParentOf(above);
        }
    }
    if (respelled) SortUnique(relist);
    return true;
}

const TDir* LevelOf(const TDir& root, std::u16string_view path2, bool anyCase) {
    // Each level's relative path is its parent's, a backslash and its name:
    // the walk goes down the folders whose paths begin `path2`.
    const TDir* level = &root;
    while (TextOf(level->dname2).size() < path2.size()) {
        const TDir* next = nullptr;
        for (uint32_t i = 0; i < CountOf(level->dirs); ++i) {
            const TDir& sub = RecordAt(*level->dirs, i);
            const std::u16string_view name2 = TextOf(sub.dname2);
            if (name2.size() > path2.size() ||
                (name2.size() < path2.size() && path2[name2.size()] != u'\\'))
                continue;
            const std::u16string_view start = path2.substr(0, name2.size());
            if (anyCase ? !SameFolded(name2, start) : name2 != start) continue;
            // Names that only a system that tells case apart lists both of
            // say nothing about which one was meant.
            if (next) return nullptr;
            next = &sub;
            if (!anyCase) break;
        }
        if (!next) return nullptr;
        level = next;
    }
    return TextOf(level->dname2).size() == path2.size() ? level : nullptr;
}
