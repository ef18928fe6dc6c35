// Any bytes as a saved state: reading never crashes, never allocates much
// more than the file holds, and gives the whole state or nothing. The bytes
// are read as they are, and again with the checksum they would need, so
// that the reading itself is reached.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "largest_allocation.h"
#include "monitor/saved_state.h"

namespace {

TDir* adir = nullptr;
TDir* afile = nullptr;

std::string Encode(const SavedState& state) {
    return EncodeState(state.dir, state.dirname, state.masks, state.subdirs, state.bias,
                       state.standIns, state.owed);
}

void Check(std::string_view file) {
    SavedState state;
    fuzz::WatchAllocations();
    const bool read = DecodeState(file, &adir, &afile, state);
    const size_t largest = fuzz::LargestAllocation();
    // Records and names may come to a few times their bytes, and a string
    // may double its room once.
    if (largest > 64 * file.size() + 262144) std::abort();
    if (!read) {
        if (state.dir.dname || state.dir.files || state.dir.dirs || !state.owed.empty() ||
            !state.standIns.empty())
            std::abort();
        return;
    }
    // A state that was read is whole: written out and read again, it is the
    // same state.
    const std::string again = Encode(state);
    SavedState copy;
    if (!DecodeState(again, &adir, &afile, copy) || Encode(copy) != again) std::abort();
    DiscardState(copy.dir);
    DiscardState(state.dir);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file(reinterpret_cast<const char*>(data), size);
    Check(file);
    if (file.size() >= sizeof(uint64_t)) {
        const uint64_t sum = StateChecksum(std::string_view(file).substr(0, file.size() - 8));
        std::memcpy(file.data() + file.size() - 8, &sum, sizeof sum);
        Check(file);
    }
    return 0;
}
