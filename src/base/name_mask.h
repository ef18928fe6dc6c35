// Which files an entry counts: the masks at the end of its directory cell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace base {

// A directory cell as the folder to watch and the masks of the files counted.
struct MaskedFolder {
    std::u16string_view folder;
    std::u16string_view masks;  // empty: every file
};

// When the cell's last component holds `*` or `?`, which no folder's name
// can hold, that component is the masks and the rest the folder (a drive's
// or the current drive's root keeps its backslash); otherwise the whole cell
// is the folder.
MaskedFolder SplitMasks(std::u16string_view cell);

// A list of masks separated by `;`, those that exclude with a leading `!`.
// A name counts when it matches a mask that does not exclude (any name, when
// there is none) and none that does.
class NameMasks {
  public:
    explicit NameMasks(std::u16string_view list);
    bool Counts(std::u16string_view name) const;

  private:
    std::vector<std::u16string> counted_, excluded_;  // in upper case
};

}  // namespace base
