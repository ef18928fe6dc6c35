// Launches as a machine in use brings them: zone changes, quick rewrites,
// folders that cannot be read for a moment, links that lead back up.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/memory/toolkit_memory.h"
#include "monitor/dyna_array.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "test_support.h"
#include "ui/main_form.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using test::Narrow;

namespace {

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

class Field : public ::testing::Test {
  protected:
    void TearDown() override { platform::SetListingFault(nullptr); }

    // Starts monitoring one entry that launches "%2" for new and changed files.
    void Watch(const std::u16string& dir) {
        test::AddWatchRow(form, dir);
        form.BitBtn4Click();
    }
    Lines Tick() {
#ifdef _WIN32
        // Wine hands on the system's change reports a moment after the change.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
#endif
        kit.FireTimers();
        return test::TakeLaunches(kit);
    }
    // Every listing whose pattern holds `folder` fails at entry `at`.
    static void FailListing(std::u16string folder, size_t at = 0,
                            platform::ListEnd end = platform::ListEnd::unreadable) {
        platform::SetListingFault([=](std::u16string_view pattern, size_t index) {
            return pattern.find(folder) != std::u16string_view::npos && index == at
                       ? end
                       : platform::ListEnd::complete;
        });
    }
    void WriteFiles(const std::string& folder, int n) {
        for (int i = 0; i < n; ++i) tree.Write(folder + "f" + std::to_string(i) + ".txt");
    }

    test::TempTree tree;
    gui::MemoryToolkit kit;
    TMainForm form{kit};
};

TEST_F(Field, RewriteWithinTwoSecondsWithTheSameSizeIsAChange) {
    const fs::path file = tree.Write("a.txt", "one");
    const int64_t at = 1'650'000'000'300'000'000;  // an even second and 0.3 s
    test::SetWriteTime(file, at);
    Watch(tree.Path());
    tree.Write("a.txt", "two");
    test::SetWriteTime(file, at + 700'000'000);
    EXPECT_EQ(Tick(), Lines{"a.txt"});
    EXPECT_EQ(Tick(), Lines{});
}

TEST_F(Field, FolderUnreadableForAMomentLaunchesOnlyWhatIsNew) {
    WriteFiles("sub/", 10);
    WriteFiles("sub/deep/", 10);
    tree.Write("top.txt");
    Watch(tree.Path());
    // Refused at once, then cut off in the middle of the listing.
    for (size_t at : {0, 4}) {
        FailListing(u"sub\\*.*", at);
        EXPECT_EQ(Tick(), Lines{}) << at;
        EXPECT_EQ(Tick(), Lines{}) << at;
    }
    // What changes while the folder cannot be read is seen once it can.
    tree.Write("sub/new.txt");
    EXPECT_EQ(Tick(), Lines{});
    platform::SetListingFault(nullptr);
    tree.Write("sub/deep/f3.txt", "grown");
    EXPECT_EQ(Tick(), (Lines{"sub\\deep\\f3.txt", "sub\\new.txt"}));
    // A folder that is gone reads as empty; back, its files are new.
    test::TempTree away;
    fs::rename(tree.Root() / "sub", away.Root() / "sub");
    EXPECT_EQ(Tick(), Lines{});
    fs::rename(away.Root() / "sub", tree.Root() / "sub");
    EXPECT_EQ(Tick().size(), 21u);
}

TEST_F(Field, MissingOrUnreachableWatchedFolderKeepsItsSnapshot) {
    WriteFiles("w/", 5);
    WriteFiles("w/sub/", 5);
    Watch(tree.Path() + u"\\w");
    fs::rename(tree.Root() / "w", tree.Root() / "away");
    EXPECT_EQ(Tick(), Lines{});
    EXPECT_EQ(Tick(), Lines{});
    fs::rename(tree.Root() / "away", tree.Root() / "w");
    tree.Write("w/sub/f1.txt", "changed");
    tree.Write("w/new.txt");
    EXPECT_EQ(Tick(), (Lines{"new.txt", "sub\\f1.txt"}));
    FailListing(u"w\\*.*", 0, platform::ListEnd::unreadable);
    EXPECT_EQ(Tick(), Lines{});
    platform::SetListingFault(nullptr);
    EXPECT_EQ(Tick(), Lines{});
}

TEST_F(Field, EmptyDirectoryCellWatchesNothing) {
    // The current folder (where the tests run) is never listed in its stead.
    Watch(u"");
    auto* job = static_cast<TJob*>(form.jobs->GetObject(0));
    EXPECT_EQ(job->dir.files->count, 0u);
    EXPECT_EQ(job->dir.dirs->count, 0u);
    EXPECT_EQ(Tick(), Lines{});
}

// Holds a file open for writing as another program would: the writer
// copying it in.
class Writer {
  public:
    explicit Writer(const fs::path& path) : out_(path, std::ios::binary | std::ios::app) {}
    void Write(const std::string& bytes) { out_.write(bytes.data(), bytes.size()).flush(); }
    void Close() { out_.close(); }

  private:
    std::ofstream out_;
};

// A file found new or changed while another program still writes it is
// launched once, after the writer let go, as what it was first found to be;
// one that goes meanwhile is forgotten. With the setting off, files are
// launched at once, as before.
TEST(FieldWriters, AFileIsLaunchedOnceItsWriterLetsGo) {
    {
        test::TempTree probe;
        Writer held(probe.Root() / "probe");
        if (platform::WritersOf(probe.Path() + u"\\probe") != platform::Writers::busy)
            GTEST_SKIP() << "this system cannot tell a file's writers";
    }
    for (const char* changed : {"Ja", "Nein"}) {
        SCOPED_TRACE(changed);
        test::TempTree tree;
        tree.Write("old.txt");
        gui::MemoryToolkit kit;
        TMainForm form{kit};
        test::AddWatchRow(form, tree.Path());
        form.ListView1->SetCell(0, 5, test::Wide(changed));
        form.BitBtn4Click();
        auto tick = [&] {
#ifdef _WIN32
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
#endif
            kit.FireTimers();
            return test::TakeLaunches(kit);
        };
        Writer big(tree.Root() / "big.bin"), old(tree.Root() / "old.txt");
        big.Write(std::string(4096, 'a'));
        old.Write("more");
        tree.Write("gone.txt");
        const std::u16string gone = tree.Path() + u"\\gone.txt";
        platform::SetWritersFault([&](std::u16string_view path) -> std::optional<platform::Writers> {
            if (path != gone) return std::nullopt;
            return fs::exists(tree.Root() / "gone.txt") ? platform::Writers::busy
                                                        : platform::Writers::gone;
        });
        EXPECT_EQ(tick(), Lines{});
        big.Write(std::string(4096, 'b'));  // grows: still new, still owed once
        fs::remove(tree.Root() / "gone.txt");
        EXPECT_EQ(tick(), Lines{});
        big.Close();
        old.Close();
        const Lines expected =
            std::string(changed) == "Ja" ? Lines{"big.bin", "old.txt"} : Lines{"big.bin"};
        EXPECT_EQ(tick(), expected);
        EXPECT_EQ(tick(), Lines{});
        platform::SetWritersFault(nullptr);
        form.EndIt();
    }
    test::TempTree tree;
    gui::MemoryToolkit kit;
    kit.settings.keys[u"Software\\Valmorin"][u"Monitoring\\WaitForWriters"] = {
        gui::SettingsStore::Kind::String, u"0"};
    TMainForm form{kit};
    test::AddWatchRow(form, tree.Path());
    form.BitBtn4Click();
    Writer at(tree.Root() / "now.txt");
    at.Write("x");
#ifdef _WIN32
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
#endif
    kit.FireTimers();
    EXPECT_EQ(test::TakeLaunches(kit), Lines{"now.txt"});
    form.EndIt();
}

#ifndef _WIN32

// A loop that no system call shows as one still ends; no real tree is that
// deep.
TEST_F(Field, ReadingStopsGoingDownAt512Levels) {
    std::string path;
    for (int level = 1; level <= 513; ++level) {
        path += "d/";
        if (level >= 511) tree.Write(path + "at" + std::to_string(level));
    }
    Watch(tree.Path());
    const Lines names = test::Describe(static_cast<TJob*>(form.jobs->poi)->dir);
    EXPECT_EQ(
        std::count_if(names.begin(), names.end(),
                      [](const std::string& n) { return n.find("|at") != std::string::npos; }),
        1);  // the folder of level 511 is read, the ones below it are not
}

using test::Zone;

TEST_F(Field, ZoneAndDaylightSavingChangesLaunchNothing) {
    Zone zone("UTC0");
    WriteFiles("", 20);
    WriteFiles("sub/", 20);
    Watch(tree.Path());
    zone.Set("XST-1");
    EXPECT_EQ(Tick(), Lines{});
    // The zone moves in the middle of a read, as a message handled there may.
    kit.onPump = [&](int) { zone.Set("CET-1CEST,M3.5.0,M10.5.0/3"); };
    EXPECT_EQ(Tick(), Lines{});
    kit.onPump = nullptr;
    zone.Set("UTC0");
    tree.Write("new.txt");
    EXPECT_EQ(Tick(), Lines{"new.txt"});
}

// A FAT or exFAT volume keeps local times: when the offset moves forward by
// an hour, every time it reports moves back by one.
TEST_F(Field, LocalTimeVolumeShiftedByTheOffsetChangeIsNoChange) {
    Zone zone("UTC0");
    const fs::path same = tree.Write("same.txt"), other = tree.Write("other.txt");
    constexpr int64_t at = 1'650'000'000'000'000'000, hour = 3'600'000'000'000;
    test::SetWriteTime(same, at);
    test::SetWriteTime(other, at);
    Watch(tree.Path());
    zone.Set("XST-1");
    test::SetWriteTime(same, at - hour);
    test::SetWriteTime(other, at - hour + 2'000'000'000);
    EXPECT_EQ(Tick(), Lines{"other.txt"});
    test::SetWriteTime(same, at);  // the same move, with no change of the offset
    EXPECT_EQ(Tick(), Lines{"same.txt"});
}

TEST_F(Field, LinksThatLeadBackUpAreNotFollowed) {
    test::TempTree outside;
    outside.Write("o1.txt");
    outside.Write("o2.txt");
    WriteFiles("", 20);
    WriteFiles("sub/", 20);
    fs::create_directory_symlink(tree.Root(), tree.Root() / "sub" / "root");
    fs::create_directory_symlink(tree.Root() / "sub", tree.Root() / "sub" / "self");
    fs::create_directory_symlink(outside.Root(), tree.Root() / "sub" / "elsewhere");
    Watch(tree.Path());
    auto* job = static_cast<TJob*>(form.jobs->GetObject(0));
    const Lines names = test::Describe(job->dir);
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return n.back() != '/'; }),
              42);  // each real file once, and the two a link leads to
    tree.Write("sub/f1.txt", "changed");
    EXPECT_EQ(Tick(), Lines{"sub\\f1.txt"});
}

// A folder that the user may not list, for one tick, as a user and not as
// root (for whom nothing is locked): the scenario runs in a child process
// that gives up root where it has it.
TEST(FieldAccess, FolderWithoutPermissionForATickLaunchesNothing) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
        int failed = 0;
        {
            test::TempTree tree;
            for (int i = 0; i < 20; ++i) tree.Write("locked/f" + std::to_string(i));
            gui::MemoryToolkit kit;
            TMainForm form{kit};
            test::AddWatchRow(form, tree.Path());
            form.BitBtn4Click();
            fs::permissions(tree.Root() / "locked", fs::perms::none);
            kit.FireTimers();
            kit.Deliver();
            failed |= kit.launches.empty() ? 0 : 1;
            fs::permissions(tree.Root() / "locked", fs::perms::owner_all);
            tree.Write("locked/new");
            kit.FireTimers();
            kit.Deliver();
            failed |=
                kit.launches.size() == 1 && Narrow(kit.launches[0].params) == "locked\\new" ? 0 : 2;
            form.EndIt();
        }
        _exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot give up root here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: launched while locked, 2: wrong launches after";
}

#endif

}  // namespace
