// The part of a directory search that every system shares: the fault seam.
#include "platform/dir_search.h"

#include <utility>

namespace platform {
namespace {

ListingFault& Fault() {
    static ListingFault fault;
    return fault;
}

// Asked before every entry: a plain flag, not the function object's guard.
bool faultSet = false;

}  // namespace

void SetListingFault(ListingFault fault) {
    faultSet = static_cast<bool>(fault);
    Fault() = std::move(fault);
}

bool DirSearch::Faulted() {
    if (!faultSet) return false;
    const ListingFault& fault = Fault();
    const ListEnd end = fault(pattern_, delivered_);
    if (end == ListEnd::complete) return false;
    end_ = end;
    return true;
}

bool DirSearch::First(const char16_t* pattern, DirEntry& entry) {
    pattern_ = pattern;
    delivered_ = 0;
    end_ = ListEnd::complete;
    if (Faulted() || !OpenListing(pattern, entry)) return false;
    ++delivered_;
    return true;
}

bool DirSearch::Next(DirEntry& entry) {
    if (!handle_ || Faulted() || !NextListed(entry)) return false;
    ++delivered_;
    return true;
}

}  // namespace platform
