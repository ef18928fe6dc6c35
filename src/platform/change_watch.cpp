// The part of a change watch that every system shares: starting over after a
// failure, and the fault seam.
#include "platform/change_watch.h"

#include <utility>

namespace platform {
namespace {

std::function<WatchFault(std::u16string_view)>& Fault() {
    static std::function<WatchFault(std::u16string_view)> fault;
    return fault;
}

std::function<void(Change&)>& Spelling() {
    static std::function<void(Change&)> spell;
    return spell;
}

}  // namespace

void SetReportSpelling(std::function<void(Change& change)> spell) {
    Spelling() = std::move(spell);
}

void SetWatchFault(std::function<WatchFault(std::u16string_view root)> fault) {
    Fault() = std::move(fault);
}

bool ChangeWatch::Faulted() const {
    const auto& fault = Fault();
    return fault && fault(root_) != WatchFault::none;
}

bool ChangeWatch::Start(std::u16string_view root, bool subtree) {
    Stop();
    root_ = root;
    if (Faulted() || !Open(subtree)) {
        Stop();
        return false;
    }
    return true;
}

bool ChangeWatch::Collect(std::vector<Change>& changes) {
    // A watch that missed something once cannot say what it missed later
    // either: it stays idle until started again.
    const size_t before = changes.size();
    if (!state_ || Faulted() || !Take(changes)) {
        Stop();
        return false;
    }
    if (const auto& spell = Spelling())
        for (size_t i = before; i < changes.size(); ++i) spell(changes[i]);
    return true;
}

}  // namespace platform
