// Where the system's reports cannot be trusted, a tick reads everything; a
// read that fails or stops loses nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/change_watch.h"
#include "platform/dir_search.h"
#include "test_support.h"
#include "twin_monitor.h"

using test::kSettle;
using test::Lines;
using test::Monitor;

namespace {

namespace fs = std::filesystem;

class RefreshFallback : public ::testing::Test {
  protected:
    void TearDown() override {
        platform::SetListingFault(nullptr);
        platform::SetWatchFault(nullptr);
        platform::SetReportSpelling(nullptr);
    }

    test::TempTree tree;
};

TEST_F(RefreshFallback, ReadsEverythingWhereReportsCannotBeTrusted) {
    for (const char* folder : {"a", "b", "c"}) tree.Write(std::string(folder) + "/x");
    Lines launched;
    auto listings = [&](Monitor& monitor) {
        size_t n = 0;
        launched = monitor.Tick(n);
        return n;
    };
    {
        Monitor monitor("3600");
        monitor.Start(tree.Path());
        EXPECT_EQ(listings(monitor), 0u);  // nothing changed: nothing read
        tree.Write("b/y");
        std::this_thread::sleep_for(kSettle);
        EXPECT_EQ(listings(monitor), 1u);  // only the folder that changed
        tree.Write("top.txt");
        std::this_thread::sleep_for(kSettle);
        EXPECT_EQ(listings(monitor), 1u);  // its folders are taken over, the last one too
        // Reports that spell a folder in another case, as Windows may: the
        // folder the snapshot holds is listed, even beside a change above it.
        platform::SetReportSpelling([](platform::Change& change) {
            for (char16_t& c : change.path)
                if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        });
        tree.Write("top.txt", "longer");
        tree.Write("b/w");
        std::this_thread::sleep_for(kSettle);
        EXPECT_EQ(listings(monitor), 2u);
        std::sort(launched.begin(), launched.end());
        EXPECT_EQ(launched, (Lines{"b\\w", "top.txt"}));
        platform::SetReportSpelling(nullptr);
        // Reports lost, the watch broken, volumes whose reports are not
        // trusted, the watch limit.
        for (auto fault :
             {platform::WatchFault::overflow, platform::WatchFault::broken,
              platform::WatchFault::untrustedVolume, platform::WatchFault::limitReached}) {
            platform::SetWatchFault([&](std::u16string_view) { return fault; });
            EXPECT_EQ(listings(monitor), 4u);
            EXPECT_EQ(listings(monitor), 4u);
            platform::SetWatchFault(nullptr);
            EXPECT_EQ(listings(monitor), 4u);  // the watch starts again
            EXPECT_EQ(listings(monitor), 0u);
        }
        // A folder that cannot be listed keeps its entries, and is read at
        // every tick until it can be.
        platform::SetListingFault([](std::u16string_view pattern, size_t) {
            return pattern.ends_with(u"\\b\\*.*") ? platform::ListEnd::unreadable
                                                  : platform::ListEnd::complete;
        });
        tree.Write("b/z");
        std::this_thread::sleep_for(kSettle);
        monitor.kit.FireTimers();
        platform::SetListingFault(nullptr);
        EXPECT_TRUE(monitor.kit.launches.empty());
        EXPECT_EQ(listings(monitor), 4u);
        EXPECT_EQ(launched, Lines{"b\\z"});  // once it can be read
    }
    {
        // A folder this user may never list (System Volume Information, say)
        // is listed again at every tick, and nothing else is.
        auto denied = [](std::u16string_view pattern, size_t) {
            return pattern.ends_with(u"\\b\\*.*") ? platform::ListEnd::denied
                                                  : platform::ListEnd::complete;
        };
        test::TempTree other;
        for (const char* file : {"a/x", "b/y", "c/z"}) other.Write(file);
        Monitor monitor("3600");
        platform::SetListingFault(denied);
        monitor.Start(other.Path());
        size_t n = 0;
        EXPECT_TRUE(monitor.Tick(n, denied).empty());
        EXPECT_EQ(n, 1u);
        other.Write("a/new");
        std::this_thread::sleep_for(kSettle);
        n = 0;
        EXPECT_EQ(monitor.Tick(n, denied), Lines{"a\\new"});
        EXPECT_EQ(n, 2u);
        // Once it can be listed, what it holds is new, as for a full read.
        EXPECT_EQ(listings(monitor), 1u);
        EXPECT_EQ(launched, Lines{"b\\y"});
        EXPECT_EQ(listings(monitor), 0u);
        // Denied where it held something, it keeps that, as any folder
        // that cannot be listed.
        other.Write("b/more");
        std::this_thread::sleep_for(kSettle);
        n = 0;
        EXPECT_TRUE(monitor.Tick(n, denied).empty());
        EXPECT_EQ(n, 5u);  // the folder, then everything
        EXPECT_EQ(listings(monitor), 4u);
        EXPECT_EQ(launched, Lines{"b\\more"});
    }
    {
        // A root that is missing is read at every tick, and its files are
        // new when it comes.
        test::TempTree other;
        const fs::path missing = other.Root() / "later";
        Monitor monitor("3600");
        monitor.Start(missing.u16string());
        EXPECT_EQ(listings(monitor), 1u);
        fs::create_directories(missing);
        std::ofstream(missing / "f.txt") << "x";
        EXPECT_EQ(listings(monitor), 1u);
        EXPECT_EQ(launched, Lines{"f.txt"});
        EXPECT_EQ(listings(monitor), 0u);
    }
    {
        // The safety net: a full read once the set time has passed.
        Monitor monitor("1");
        monitor.Start(tree.Path());
        EXPECT_EQ(listings(monitor), 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        EXPECT_EQ(listings(monitor), 4u);
        EXPECT_EQ(listings(monitor), 0u);
    }
}

#ifndef _WIN32
using test::Zone;

TEST_F(RefreshFallback, AFolderUnreadableWhileTheZoneMovesKeepsTheOffsetOfItsTimes) {
    for (const char* every : {"0", "3600"}) {
        test::TempTree local;
        for (const char* file : {"a/x", "b/y", "b/deep/z", "top"}) local.Write(file);
        Zone zone("UTC0");
        Monitor monitor(every);
        monitor.Start(local.Path());
        // A volume that keeps local times reports every time moved back by
        // as far as the offset moves forward.
        zone.Set("XST-3");
        for (const auto& entry : fs::recursive_directory_iterator(local.Root()))
            if (entry.is_regular_file())
                fs::last_write_time(entry.path(), entry.last_write_time() - std::chrono::hours(3));
        platform::SetListingFault([](std::u16string_view pattern, size_t) {
            return pattern.ends_with(u"\\b\\*.*") ? platform::ListEnd::unreadable
                                                  : platform::ListEnd::complete;
        });
        monitor.kit.FireTimers();
        platform::SetListingFault(nullptr);
        EXPECT_TRUE(monitor.kit.launches.empty()) << every;
        size_t listings = 0;
        EXPECT_TRUE(monitor.Tick(listings).empty()) << every;
        local.Write("b/new");
        std::this_thread::sleep_for(kSettle);
        EXPECT_EQ(monitor.Tick(listings), Lines{"b\\new"}) << every;
    }
}
#endif

TEST_F(RefreshFallback, AFailedOrStoppedPartialReadLosesNothing) {
    tree.Write("a/x");
    tree.Write("b/y");
    Monitor monitor("3600");
    monitor.Start(tree.Path());
    size_t listings = 0;
    EXPECT_TRUE(monitor.Tick(listings).empty());
    tree.Write("a/new");
    tree.Write("b/new");
    std::this_thread::sleep_for(kSettle);
    // The second folder's listing fails: the first one's is given up too.
    const int pumps = monitor.kit.pumps;
    monitor.kit.onPump = [&](int n) {
        if (n == pumps + 2) throw std::runtime_error("boom");
    };
    EXPECT_TRUE(monitor.Tick(listings).empty());
    EXPECT_EQ(monitor.kit.boxes.size(), 1u);
    monitor.kit.onPump = nullptr;
    Lines launched = monitor.Tick(listings);
    std::sort(launched.begin(), launched.end());
    EXPECT_EQ(launched, (Lines{"a\\new", "b\\new"}));

    // A stop in the middle of one.
    tree.Write("a/more");
    tree.Write("b/more");
    std::this_thread::sleep_for(kSettle);
    monitor.kit.onPump = [&](int) { monitor.form.EndIt(); };
    EXPECT_TRUE(monitor.Tick(listings).empty());
    EXPECT_FALSE(monitor.form.needtodelete);
    EXPECT_EQ(monitor.form.jobs, nullptr);
}

}  // namespace
