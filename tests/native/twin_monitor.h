// Two monitors of one tree driven tick by tick: one that reads everything
// at every tick, one that reads what the system reported.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "gui/memory/toolkit_memory.h"
#include "platform/dir_search.h"
#include "test_support.h"
#include "ui/main_form.h"

namespace test {

using Lines = std::vector<std::string>;

#ifdef _WIN32
// Wine hands on the system's reports a moment after the change.
inline constexpr auto kSettle = std::chrono::milliseconds(60);
#else
inline constexpr auto kSettle = std::chrono::milliseconds(0);
#endif

struct Monitor {
    explicit Monitor(const char* fullReadSeconds) {
        kit.settings.keys[u"Software\\Valmorin"][u"Monitoring\\FullReadSeconds"] = {
            gui::SettingsStore::Kind::String, test::Wide(fullReadSeconds)};
    }
    void Start(const std::u16string& dir) {
        test::AddWatchRow(form, dir);
        form.BitBtn4Click();
    }
    // The launches of one tick, in their order, and how many folders it
    // listed (`listed`: which), with the listings `fault` ends.
    Lines Tick(size_t& listings, const platform::ListingFault& fault = nullptr) {
        listed.clear();
        platform::SetListingFault([&](std::u16string_view pattern, size_t index) {
            if (index == 0) {
                ++listings;
                listed.emplace_back(pattern);
            }
            return fault ? fault(pattern, index) : platform::ListEnd::complete;
        });
        kit.FireTimers();
        platform::SetListingFault(nullptr);
        kit.Deliver();  // the launcher's turn
        Lines out;
        for (auto& launch : kit.launches) out.push_back(test::Narrow(launch.params));
        kit.launches.clear();
        return out;
    }
    gui::MemoryToolkit kit;
    TMainForm form{kit};
    std::vector<std::u16string> listed;
};

}  // namespace test
