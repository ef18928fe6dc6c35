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

}  // namespace

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
    if (!state_ || Faulted() || !Take(changes)) {
        Stop();
        return false;
    }
    return true;
}

}  // namespace platform
