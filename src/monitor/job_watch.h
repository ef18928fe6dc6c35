// What a job keeps between ticks beside its snapshots: the changes the
// system reports, and where a snapshot holds times of an earlier read.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/change_watch.h"

// A folder of a snapshot that stands in for one its read could not list (the
// full path, as `dname`), and the zone offset the times it holds were read
// under.
struct StandIn {
    std::u16string dname;
    int64_t bias = 0;
};

// The offset the stand-in for `dname` in `list` was read under, or `otherwise`.
inline int64_t BiasOf(const std::vector<StandIn>& list, std::u16string_view dname,
                      int64_t otherwise) {
    for (const StandIn& standIn : list)
        if (standIn.dname == dname) return standIn.bias;
    return otherwise;
}

// A file the comparison found new or changed while another program was still
// writing it, or whose launch was still waiting when monitoring ended:
// launched once the writer lets go, as what it was found to be.
struct Owed {
    std::u16string fname, fname2;  // its full path, and the path below the folder
    bool changed = false;          // found changed rather than new
};

struct JobWatch {
    platform::ChangeWatch watch;
    // The watch runs and nothing it reported has been lost.
    bool running = false;
    // The last read listed every folder; one that could not be listed is
    // read again at every tick, as a full read would.
    bool listedAll = false;
    std::chrono::steady_clock::time_point fullAt{};
    // The relative paths of the folders reached through a link, sorted: the
    // system reports nothing that happens behind a link, so these are read
    // whole at every tick.
    std::vector<std::u16string> links;
    // The relative paths of the folders this user may not list and that held
    // nothing, sorted: listed again at every tick, so that they are read
    // once they can be.
    std::vector<std::u16string> denied;
    // The stand-ins of the job's snapshot and of the one before it.
    std::vector<StandIn> standIns, oldStandIns;
    // Files waiting for their writer, in the order they were found.
    std::vector<Owed> owed;
    // The masks of the job's entry, as typed, and the file name of its
    // saved state.
    std::u16string masks, stateFile;
    // The snapshot is the saved state of an earlier run: the first pass
    // compares with it.
    bool restored = false;
    // The snapshot knows what every folder holds: a folder that could not
    // be listed holds what it held before, or nothing this user may see.
    bool known = false;
    // Something was launched or became owed since the state was last saved.
    bool unsaved = false;
};
