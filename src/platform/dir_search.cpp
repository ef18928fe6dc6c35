// The part of a directory search that every system shares: the fault seam.
#include "platform/dir_search.h"

#include <utility>

namespace platform {
namespace {

ListingFault& Fault() {
    static ListingFault fault;
    return fault;
}

}  // namespace

void SetListingFault(ListingFault fault) {
    DirSearch::faultSet_ = static_cast<bool>(fault);
    Fault() = std::move(fault);
}

bool DirSearch::faultSet_ = false;

bool DirSearch::Faulted() {
    const ListingFault& fault = Fault();
    if (!fault) return false;
    const ListEnd end = fault(pattern_, delivered_);
    if (end == ListEnd::complete) return false;
    end_ = end;
    return true;
}

bool DirSearch::First(const char16_t* pattern, DirEntry& entry, NameBuffer* names) {
    names_ = names ? names : &ownNames_;
    pattern_ = pattern;
    delivered_ = 0;
    end_ = ListEnd::complete;
    if ((faultSet_ && Faulted()) || !OpenListing(pattern, entry)) return false;
    ++delivered_;
    return true;
}

}  // namespace platform
