#include "platform/change_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

using platform::Change;
using platform::ChangeWatch;
using platform::WatchFault;
namespace fs = std::filesystem;

namespace {

bool UnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

// Wine watches a folder below the watched one from the moment a program
// opened it. The monitor reads every folder after each start and every folder
// that appeared; the tests read them likewise.
void ReadAll(const test::TempTree& tree) {
    if (!UnderWine()) return;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(tree.Root(), ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    }
}

// What the watch reported: each path once, appeared if any report said so.
struct Seen {
    bool ok = true;
    std::map<std::string, bool> paths;
    bool Has(const std::string& path) const { return paths.count(path) != 0; }
};

// Collects until every path in `expected` was reported or two seconds went by
// (Wine's notifications come a little later), or at once when none is
// expected, after a short settle.
Seen Await(ChangeWatch& watch, const std::set<std::string>& expected) {
    Seen seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    if (expected.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (;;) {
        std::vector<Change> changes;
        if (!watch.Collect(changes)) {
            seen.ok = false;
            return seen;
        }
        for (const Change& change : changes)
            seen.paths[test::Narrow(change.path)] |= change.appeared;
        bool all = true;
        for (const std::string& path : expected) all = all && seen.Has(path);
        if (all || std::chrono::steady_clock::now() > deadline) return seen;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Every reported path is one of `allowed` (what changed, and the folders that
// hold it): nothing outside the watched tree, no leading backslash.
void ExpectOnly(const Seen& seen, const std::set<std::string>& allowed) {
    for (const auto& [path, appeared] : seen.paths) EXPECT_TRUE(allowed.count(path)) << path;
}

TEST(ChangeWatch, NamesWhatHappensToFiles) {
    test::TempTree tree;
    tree.Write("sub/a.txt", "a");
    tree.Write("same.txt", "1234");
    tree.Write("old.txt");
    tree.Write("gone.txt");
    ChangeWatch watch;
    ASSERT_TRUE(watch.Start(tree.Path(), true));
    ReadAll(tree);
    Seen quiet = Await(watch, {});
    EXPECT_TRUE(quiet.ok);
    EXPECT_TRUE(quiet.paths.empty());

    tree.Write("sub/new.txt");
    std::ofstream(tree.Root() / "sub/a.txt", std::ios::app) << "more";
    tree.Write("same.txt", "4321");
    fs::rename(tree.Root() / "old.txt", tree.Root() / "renamed.txt");
    fs::remove(tree.Root() / "gone.txt");
    const std::set<std::string> changed = {"sub\\new.txt", "sub\\a.txt",  "same.txt",
                                           "old.txt",      "renamed.txt", "gone.txt"};
    Seen seen = Await(watch, changed);
    ASSERT_TRUE(seen.ok);
    for (const std::string& path : changed) EXPECT_TRUE(seen.Has(path)) << path;
    EXPECT_TRUE(seen.paths["sub\\new.txt"]);
    EXPECT_TRUE(seen.paths["renamed.txt"]);
    EXPECT_FALSE(seen.paths["gone.txt"]);
    EXPECT_FALSE(seen.paths["same.txt"]);
    std::set<std::string> allowed = changed;
    allowed.insert({"sub", ""});
    ExpectOnly(seen, allowed);

    // Without the subtree, only the folder's own entries count.
    ASSERT_TRUE(watch.Start(tree.Path(), false));
    tree.Write("top.txt");
    tree.Write("sub/deeper.txt");
    seen = Await(watch, {"top.txt"});
    ASSERT_TRUE(seen.ok);
    EXPECT_TRUE(seen.Has("top.txt"));
    EXPECT_FALSE(seen.Has("sub\\deeper.txt"));
}

TEST(ChangeWatch, FollowsFoldersThatAppearMoveOrGo) {
    test::TempTree tree, outside;
    tree.Write("away/y.txt");
    tree.Write("away/sub/s.txt");
    // Siblings whose names begin with the name of one that goes.
    tree.Write("away2/p.txt");
    tree.Write("away.x/q/r.txt");
    tree.Write("old/z.txt");
    outside.Write("in/x.txt");
    ChangeWatch watch;
    ASSERT_TRUE(watch.Start(tree.Path(), true));
    ReadAll(tree);

    tree.Write("made/deep/f.txt");
    fs::rename(outside.Root() / "in", tree.Root() / "in");
    fs::rename(tree.Root() / "away", outside.Root() / "away");
    Seen seen = Await(watch, {"made", "in", "away"});
    ASSERT_TRUE(seen.ok);
    EXPECT_TRUE(seen.paths["made"]);
    EXPECT_TRUE(seen.paths["in"]);
    EXPECT_TRUE(seen.Has("away"));

    fs::rename(tree.Root() / "old", tree.Root() / "new");
    seen = Await(watch, {"old", "new"});
#ifdef _WIN32
    // Windows starts over after a folder renamed inside the tree.
    EXPECT_FALSE(seen.ok);
    ASSERT_TRUE(watch.Start(tree.Path(), true));
#else
    ASSERT_TRUE(seen.ok);
    EXPECT_TRUE(seen.paths["new"]);
    EXPECT_TRUE(seen.Has("old"));
#endif
    // What arrived, however, is watched from now on; what left is not.
    ReadAll(tree);
    tree.Write("made/deep/later.txt");
    tree.Write("in/x2.txt");
    tree.Write("new/z2.txt");
    tree.Write("away2/p2.txt");
    tree.Write("away.x/q/r2.txt");
    // Wine would name these by their old paths in the tree.
    if (!UnderWine()) {
        outside.Write("away/w.txt");
        outside.Write("away/sub/w2.txt");
    }
    const std::set<std::string> changed = {"made\\deep\\later.txt", "in\\x2.txt", "new\\z2.txt",
                                           "away2\\p2.txt", "away.x\\q\\r2.txt"};
    seen = Await(watch, changed);
    ASSERT_TRUE(seen.ok);
    for (const std::string& path : changed) EXPECT_TRUE(seen.Has(path)) << path;
    std::set<std::string> allowed = changed;
    allowed.insert({"made\\deep", "in", "new", "away2", "away.x\\q"});
    ExpectOnly(seen, allowed);
}

TEST(ChangeWatch, GivesUpWhenTheWatchedFolderGoes) {
    test::TempTree tree;
    ChangeWatch watch;
    std::vector<Change> changes;
    EXPECT_FALSE(watch.Collect(changes));  // never started
    EXPECT_FALSE(watch.Start(tree.Path() + u"\\missing", true));
    EXPECT_FALSE(watch.Collect(changes));

    tree.Write("watched/a.txt");
    ASSERT_TRUE(watch.Start(tree.Path() + u"\\watched", true));
    fs::rename(tree.Root() / "watched", tree.Root() / "moved");
    EXPECT_FALSE(Await(watch, {"never"}).ok);

    if (UnderWine())
        GTEST_SKIP() << "Wine keeps a folder deleted while open until its last handle closes";
    ASSERT_TRUE(watch.Start(tree.Path() + u"\\moved", false));
    fs::remove_all(tree.Root() / "moved");
    EXPECT_FALSE(Await(watch, {"never"}).ok);
    EXPECT_FALSE(watch.Collect(changes));  // stays idle until started again
}

TEST(ChangeWatch, GivesUpWhenAnotherFolderTakesThePath) {
    test::TempTree tree;
    tree.Write("In/a.txt");
    tree.MakeDir("In.new");
    const std::u16string root = tree.Path() + u"\\In";
    ChangeWatch watch;
    ASSERT_TRUE(watch.Start(root, true));
    ASSERT_TRUE(Await(watch, {}).ok);
    fs::rename(tree.Root() / "In", tree.Root() / "In.old");
    fs::rename(tree.Root() / "In.new", tree.Root() / "In");
    EXPECT_FALSE(Await(watch, {"never"}).ok);

    ASSERT_TRUE(watch.Start(root, true));
    tree.Write("In/b.txt");
    Seen seen = Await(watch, {"b.txt"});
    ASSERT_TRUE(seen.ok);
    EXPECT_TRUE(seen.paths["b.txt"]);
}

// A drive's root ends in its backslash; the folders that a report names
// below it (by their long names, where it named them by short ones) lose
// nothing of their names.
TEST(ChangeWatch, NamesFoldersBelowARootThatEndsInItsBackslash) {
    test::TempTree tree;
    tree.MakeDir("a~b");
    ChangeWatch watch;
    ASSERT_TRUE(watch.Start(tree.Path() + u"\\", true));
    ReadAll(tree);
    tree.Write("a~b/f.txt");
    Seen seen = Await(watch, {"a~b\\f.txt"});
    ASSERT_TRUE(seen.ok);
    EXPECT_TRUE(seen.paths["a~b\\f.txt"]);
    ExpectOnly(seen, {"a~b\\f.txt", "a~b"});
}

TEST(ChangeWatch, FaultsFailAsTheirCauseWould) {
    test::TempTree tree;
    const std::u16string root = tree.Path();
    ChangeWatch watch;
    std::vector<Change> changes;
    for (WatchFault fault : {WatchFault::untrustedVolume, WatchFault::limitReached}) {
        platform::SetWatchFault(
            [&](std::u16string_view at) { return at == root ? fault : WatchFault::none; });
        EXPECT_FALSE(watch.Start(root, true));
        EXPECT_FALSE(watch.Collect(changes));
    }
    for (WatchFault fault : {WatchFault::overflow, WatchFault::broken}) {
        WatchFault now = WatchFault::none;
        platform::SetWatchFault([&](std::u16string_view) { return now; });
        ASSERT_TRUE(watch.Start(root, true));
        EXPECT_TRUE(watch.Collect(changes));
        now = fault;
        EXPECT_FALSE(watch.Collect(changes));
        now = WatchFault::none;
        EXPECT_FALSE(watch.Collect(changes));
    }
    platform::SetWatchFault(nullptr);
    EXPECT_TRUE(watch.Start(root, true));
    EXPECT_TRUE(watch.Collect(changes));
}

#ifndef _WIN32
TEST(ChangeWatch, FollowsFolderLinksButNotBackUp) {
    test::TempTree tree, outside;
    outside.MakeDir("target/inner");
    fs::create_directory_symlink(outside.Root() / "target", tree.Root() / "linked");
    fs::create_directory_symlink(tree.Root(), tree.Root() / "up");
    ChangeWatch watch;
    ASSERT_TRUE(watch.Start(tree.Path(), true));
    outside.Write("target/inner/f.txt");
    Seen seen = Await(watch, {"linked\\inner\\f.txt"});
    ASSERT_TRUE(seen.ok);
    EXPECT_TRUE(seen.Has("linked\\inner\\f.txt"));

    // A link that appears is followed as a folder would be.
    fs::create_directory_symlink(outside.Root() / "target", tree.Root() / "again");
    seen = Await(watch, {"again"});
    outside.Write("target/g.txt");
    seen = Await(watch, {"again\\g.txt", "linked\\g.txt"});
    ASSERT_TRUE(seen.ok);
    EXPECT_TRUE(seen.Has("again\\g.txt"));
    EXPECT_TRUE(seen.Has("linked\\g.txt"));
}

TEST(ChangeWatch, DistrustsFileSystemsOthersChange) {
    ChangeWatch watch;
    EXPECT_FALSE(watch.Start(u"\\proc", false));
}

TEST(ChangeWatch, OverflowOfTheSystemsQueueIsReported) {
    int limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 100000) GTEST_SKIP() << "queue limit " << limit << " too large";
    test::TempTree tree;
    ChangeWatch watch;
    ASSERT_TRUE(watch.Start(tree.Path(), false));
    // Alternating files, since the kernel merges repeats of one event.
    const int a = open((tree.Root() / "a").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const int b = open((tree.Root() / "b").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    for (int i = 0; i <= limit / 2 + 1; ++i) {
        ASSERT_EQ(write(a, "x", 1), 1);
        ASSERT_EQ(write(b, "x", 1), 1);
    }
    close(a);
    close(b);
    std::vector<Change> changes;
    EXPECT_FALSE(watch.Collect(changes));
}
#endif

}  // namespace
