// The folders a partial read lists anew: as the system reported them, and
// then as the snapshot spells them.
#include <algorithm>
#include <unordered_map>

#include "monitor/records.h"
#include "monitor/relisting.h"

namespace {

// Windows compares names by their upper case. These are the letters of the
// scripts most names are written in; names that differ in case beyond them
// read as two, and a tick then reads fully where it need not.
char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

std::u16string Folded(std::u16string_view path) {
    std::u16string out(path);
    for (char16_t& c : out) c = Upper(c);
    return out;
}

// Every directory record of a snapshot by its relative path.
void Levels(const TDir& level, std::unordered_map<std::u16string_view, const TDir*>& out) {
    out.emplace(TextOf(level.dname2), &level);
    if (!level.dirs) return;
    for (uint32_t i = 0; i < level.dirs->count; ++i) Levels(RecordAt(*level.dirs, i), out);
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
    if (relist.empty() || (relist.size() == 1 && relist.front().empty())) return true;
    std::unordered_map<std::u16string_view, const TDir*> levels;
    Levels(root, levels);
    // The levels by their names in upper case; null where two fold alike, as
    // only a system that tells case apart lists them.
    std::unordered_map<std::u16string, const TDir*> folded;
    for (std::u16string& path : relist) {
        if (levels.contains(path)) continue;
        if (folded.empty())
            for (const auto& [name, level] : levels) {
                auto [at, made] = folded.emplace(Folded(name), level);
                if (!made) at->second = nullptr;
            }
        if (auto found = folded.find(Folded(path)); found != folded.end() && found->second) {
            path = TextOf(found->second->dname2);
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
    SortUnique(relist);
    return true;
}
