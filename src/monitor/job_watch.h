// What a job keeps between ticks about the changes the system reports.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/change_watch.h"

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
};
