// What a partial read works with: the folders reported as changed, and each
// level of the snapshot that it lists anew.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/main_form.h"

// Relative paths, each list sorted once resolved.
struct TMainForm::Dirty {
    // Folders whose listing changed, as the snapshot's `dname2` spells them.
    std::vector<std::u16string> relist;
    // Entries that appeared, or lead through a link, in upper case: the
    // system may report a name in any case.
    std::vector<std::u16string> whole;
    void AddWhole(std::u16string_view path);
    // Spells every folder of `relist` as `root`, the snapshot, does; false
    // when one is neither there nor at or below an entry that appeared.
    bool Resolve(const TDir& root);
    bool Relists(std::u16string_view path) const;
    bool Whole(std::u16string_view path) const;
    // `path` or a folder below it is to be listed anew.
    bool AtOrBelow(std::u16string_view path) const;
};

struct TMainForm::Relisted {
    TDir* record = nullptr;  // where the snapshot holds the level
    TDir fresh{};            // its new listing
    // Every subfolder taken over from the snapshot rather than read, as
    // (index in `fresh`, index in the snapshot), in order.
    std::vector<std::pair<uint32_t, uint32_t>> takenOver;
    // The snapshot's subfolders by name, made at the first one listed.
    std::unordered_map<std::u16string_view, uint32_t> byName;
    bool indexed = false;

    bool TakenOver(uint32_t fresh) const;
};

struct TMainForm::Partial {
    const TJob& job;
    const Dirty& dirty;
    // In the order of the tree: the comparison meets them in the same order.
    std::deque<Relisted> relisted;
    size_t next = 0;
};

void SortUnique(std::vector<std::u16string>& list);

// The level of the snapshot `root` at the relative path `path2`, its names
// compared exactly or, `anyCase`, as Windows compares them; null when there
// is none, or more than one that could be meant.
const TDir* LevelOf(const TDir& root, std::u16string_view path2, bool anyCase = false);

// Frees the names of a file array, a block at a time.
void ReleaseNames(TDynaArray& files);
