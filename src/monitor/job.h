// One running watch job.
#pragma once

#include <cstdint>

#include "monitor/dir.h"

namespace base {
class NameMasks;
}

struct TJob {
    char16_t* command2;  // the parameter template
    char16_t* command;
    char16_t* dirname;  // the watched folder: the entry's directory without its masks
    // The files it counts, from the masks; null when it counts every file.
    base::NameMasks* masks;
    TDir odir;  // the previous snapshot
    TDir dir;   // the fresh snapshot
    bool invisible;
    bool newfiles;
    bool changedfiles;
    bool subdirs;
    // The time zone's offset from UTC (100-ns steps) when each snapshot was
    // read: volumes that keep local times report other UTC times after the
    // offset changed.
    int64_t obias;
    int64_t bias;
};
