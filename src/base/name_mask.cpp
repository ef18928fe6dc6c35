#include "base/name_mask.h"

#include <algorithm>

#include "base/name_case.h"

namespace base {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// `*` takes any run of characters, `?` exactly one; `mask` is in upper case.
// A star that fails is retried one character further on, which suffices:
// only the last star's place can still be moved.
bool Matches(std::u16string_view mask, std::u16string_view name) {
    size_t m = 0, n = 0;
    size_t star = std::u16string_view::npos, resume = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            star = m++;
            resume = n;
        } else if (m < mask.size() && (mask[m] == u'?' || mask[m] == UpperOf(name[n]))) {
            ++m;
            ++n;
        } else if (star != std::u16string_view::npos) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*') ++m;
    return m == mask.size();
}

bool AnyMatches(const std::vector<std::u16string>& masks, std::u16string_view name) {
    return std::any_of(masks.begin(), masks.end(),
                       [&](const std::u16string& mask) { return Matches(mask, name); });
}

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    return text;
}

}  // namespace

MaskedFolder SplitMasks(std::u16string_view cell) {
    const auto last = std::find_if(cell.rbegin(), cell.rend(), IsSeparator);
    const size_t at = static_cast<size_t>(cell.rend() - last);  // where the last component begins
    const std::u16string_view component = cell.substr(at);
    if (component.find_first_of(u"*?") == std::u16string_view::npos) return {cell, {}};
    size_t folder = at == 0 ? 0 : at - 1;
    // "C:" and "" name the current folder of a drive, not its root.
    if (at > 0 && (folder == 0 || (folder == 2 && cell[1] == u':'))) folder = at;
    return {cell.substr(0, folder), component};
}

NameMasks::NameMasks(std::u16string_view list) {
    while (!list.empty()) {
        const size_t end = std::min(list.find(u';'), list.size());
        std::u16string_view mask = Trimmed(list.substr(0, end));
        list.remove_prefix(std::min(end + 1, list.size()));
        const bool excludes = !mask.empty() && mask.front() == u'!';
        if (excludes) mask = Trimmed(mask.substr(1));
        if (mask.empty()) continue;
        std::vector<std::u16string>& into = excludes ? excluded_ : counted_;
        std::u16string& upper = into.emplace_back(mask);
        std::transform(upper.begin(), upper.end(), upper.begin(), UpperOf);
        // As on Windows, a final ".*" also takes the name without a dot:
        // "*.*" is every file, "report.*" takes "report" too.
        if (upper.size() > 2 && upper.ends_with(u".*"))
            into.push_back(upper.substr(0, upper.size() - 2));
    }
}

bool NameMasks::Counts(std::u16string_view name) const {
    return (counted_.empty() || AnyMatches(counted_, name)) && !AnyMatches(excluded_, name);
}

}  // namespace base
