#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "platform/dir_search.h"
#include "gui/memory/toolkit_memory.h"
#include "test_support.h"
#include "ui/main_form.h"

#ifndef _WIN32
#include <unistd.h>

#include "platform/memory.h"
#endif

using test::Describe;
using test::Narrow;
using test::Rec;

namespace {

class Snapshot : public ::testing::Test {
protected:
    void Read(const std::u16string& path, bool subdirs = true) {
        form.ReadinDir(path, u"", snap, subdirs);
        read = true;
    }
    void TearDown() override {
        if (read) form.ReleaseDir(snap);
    }
    std::vector<std::string> Names() const { return Describe(snap); }

    test::TempTree tree;
    gui::MemoryToolkit host;
    TMainForm form{host};
    TDir snap{};
    bool read = false;
};

bool Contains(const std::vector<std::string>& all, const std::string& item) {
    return std::find(all.begin(), all.end(), item) != all.end();
}

TEST_F(Snapshot, PathsOfNestedDirectoriesWithAndWithoutFinalBackslash) {
    tree.Write("A/B/C/deep.txt", "12345");
    tree.Write("top.txt");
    Read(tree.Path() + u"\\");
    EXPECT_EQ(Narrow(snap.dname), Narrow(tree.Path() + u"\\"));
    EXPECT_EQ(Narrow(snap.dname2), "");
    ASSERT_EQ(snap.dirs->count, 1u);
    TDir* a = Rec(*snap.dirs, 0);
    EXPECT_EQ(Narrow(a->dname), Narrow(tree.Path() + u"\\A"));
    EXPECT_EQ(Narrow(a->dname2), "A");
    TDir* b = Rec(*a->dirs, 0);
    TDir* c = Rec(*b->dirs, 0);
    EXPECT_EQ(Narrow(b->dname2), "A\\B");
    EXPECT_EQ(Narrow(c->dname2), "A\\B\\C");
    EXPECT_EQ(Narrow(c->dname), Narrow(tree.Path() + u"\\A\\B\\C"));
    EXPECT_TRUE(Contains(Names(), "A\\B\\C|deep.txt|5"));
    EXPECT_TRUE(Contains(Names(), "|top.txt|1"));
    EXPECT_EQ(host.pumps, 4);  // once per directory, the watched one included
}

TEST_F(Snapshot, HiddenFilesAreEntriesDotsNeverAndDirectoriesAreNoFiles) {
    tree.Write(".hidden", "ab");
    tree.Hide(".hidden");
    tree.MakeDir("sub");
    tree.MakeDir("empty");
    Read(tree.Path());
    auto names = Names();
    EXPECT_TRUE(Contains(names, "|.hidden|2"));
    EXPECT_EQ(snap.files->count, 1u);
    EXPECT_EQ(snap.dirs->count, 2u);
    for (const auto& n : names) {
        EXPECT_EQ(n.find("|.|"), std::string::npos);
        EXPECT_EQ(n.find("|..|"), std::string::npos);
    }
}

TEST_F(Snapshot, WithoutSubdirsNoSubdirectoryIsRead) {
    tree.Write("a/b/c.txt");
    tree.Write("x.txt");
    Read(tree.Path(), false);
    EXPECT_EQ(snap.dirs->count, 0u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"|x.txt|1"}));
    EXPECT_EQ(host.pumps, 1);
}

TEST_F(Snapshot, SizesBeyondFourGigabytesUseBothHalves) {
    auto path = tree.Write("big.bin", "");
    std::filesystem::resize_file(path, 5ull << 30);  // sparse, costs no disk
    Read(tree.Path());
    ASSERT_EQ(snap.files->count, 1u);
    TDir* big = Rec(*snap.files, 0);
    EXPECT_EQ(big->sizehi, 1u);
    EXPECT_EQ(big->sizelo, 1u << 30);
}

TEST_F(Snapshot, UnchangedFilesReadTheSameTimeTwice) {
    tree.Write("a.txt");
    auto old = tree.Write("old.txt");
    auto future = tree.Write("future.txt");
    using namespace std::chrono;
    auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(old, now - hours(24 * 365 * 60));     // before 1980
    std::filesystem::last_write_time(future, now + hours(24 * 365 * 150)); // after 2107
    Read(tree.Path());
    TDir again{};
    form.ReadinDir(tree.Path(), u"", again, true);
    ASSERT_EQ(snap.files->count, again.files->count);
    std::set<uintptr_t> times;
    for (uint32_t i = 0; i < snap.files->count; ++i) {
        EXPECT_EQ(Rec(*snap.files, i)->time, Rec(*again.files, i)->time) << Narrow(Rec(*snap.files, i)->dname2);
        times.insert(Rec(*snap.files, i)->time);
    }
    EXPECT_EQ(times.size(), 3u);
    form.ReleaseDir(again);
}

TEST_F(Snapshot, StopFlagBeforeReadGivesTextsAndEmptyArrays) {
    tree.Write("a.txt");
    tree.Write("d/b.txt");
    form.inbreak = true;
    Read(tree.Path());
    EXPECT_EQ(Narrow(snap.dname), Narrow(tree.Path()));
    EXPECT_EQ(snap.files->count, 0u);
    EXPECT_EQ(snap.dirs->count, 0u);
    EXPECT_EQ(host.pumps, 1);
}

TEST_F(Snapshot, StopDuringSubdirectoryEndsItAndEveryReadAbove) {
    tree.Write("A/B/b.txt");
    tree.Write("A/C/c.txt");
    tree.Write("A/a.txt");
    // Pumps: the top, then A, then the first of B and C: the stop comes there.
    host.onPump = [&](int n) {
        if (n == 3) form.inbreak = true;
    };
    Read(tree.Path());
    ASSERT_EQ(snap.dirs->count, 1u);
    const TDir* a = Rec(*snap.dirs, 0);
    ASSERT_EQ(a->dirs->count, 1u);  // the second subdirectory was never begun
    const TDir* stopped = Rec(*a->dirs, 0);
    EXPECT_NE(stopped->dname, nullptr);
    EXPECT_EQ(stopped->files->count, 0u);
    EXPECT_EQ(stopped->dirs->count, 0u);
    EXPECT_EQ(host.pumps, 3);
}

TEST_F(Snapshot, MissingOrNonDirectoryPathsGiveEmptySnapshots) {
    tree.Write("file.txt");
    Read(tree.Path() + u"\\nothing");
    EXPECT_EQ(snap.files->count, 0u);
    EXPECT_EQ(snap.dirs->count, 0u);
    TDir other{};
    form.ReadinDir(tree.Path() + u"\\file.txt", u"", other, true);
    EXPECT_EQ(other.files->count, 0u);
    form.ReleaseDir(other);
}

TEST_F(Snapshot, VanishedDirectoryComesBackWithItsFiles) {
    tree.Write("w/one.txt");
    std::u16string watched = tree.Path() + u"\\w";
    std::filesystem::remove_all(tree.Root() / "w");
    Read(watched);
    EXPECT_EQ(snap.files->count, 0u);
    tree.Write("w/one.txt");
    TDir back{};
    form.ReadinDir(watched, u"", back, true);
    EXPECT_EQ(back.files->count, 1u);
    form.ReleaseDir(back);
}

#ifndef _WIN32
TEST_F(Snapshot, UnreadableSubdirectoryStaysAsEmptyRecord) {
    tree.Write("locked/inner.txt");
    platform::SetListingFault([](std::u16string_view pattern, size_t) {
        return pattern.ends_with(u"locked\\*.*") ? platform::ListEnd::unreadable
                                                 : platform::ListEnd::complete;
    });
    Read(tree.Path());
    platform::SetListingFault(nullptr);
    ASSERT_EQ(snap.dirs->count, 1u);
    EXPECT_EQ(Rec(*snap.dirs, 0)->files->count, 0u);
}

TEST_F(Snapshot, TimeZoneChangeKeepsEveryTime) {
    tree.Write("a.txt");
    const char* saved = getenv("TZ");
    std::string keep = saved ? saved : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    Read(tree.Path());
    setenv("TZ", "XST-3", 1);
    tzset();
    TDir shifted{};
    form.ReadinDir(tree.Path(), u"", shifted, true);
    if (saved) setenv("TZ", keep.c_str(), 1); else unsetenv("TZ");
    tzset();
    EXPECT_EQ(Rec(*snap.files, 0)->time, Rec(*shifted.files, 0)->time);
    form.ReleaseDir(shifted);
}
#endif

// Names of files enough for several blocks of names.
std::set<std::string> ManyFiles(test::TempTree& tree, int n = 1500) {
    std::set<std::string> names;
    for (int i = 0; i < n; ++i) {
        std::string name = "a file with a rather long name " + std::to_string(i);
        tree.Write(name);
        names.insert(name);
    }
    return names;
}

std::set<std::string> FileNames(const TDir& dir) {
    std::set<std::string> names;
    for (uint32_t i = 0; i < dir.files->count; ++i)
        names.insert(Narrow(Rec(*dir.files, i)->dname2));
    return names;
}

// The sanitizers see a name freed twice or not at all in these.
TEST_F(Snapshot, NamesShareBlocksThatGoWithTheRelease) {
    const std::set<std::string> made = ManyFiles(tree);
    Read(tree.Path());
    EXPECT_EQ(FileNames(snap), made);
    uint32_t blocks = 0, names = 0;
    for (uint32_t i = 0; i < snap.files->count; i += NamesAt(Rec(*snap.files, i)->dname2)) {
        ++blocks;
        names += NamesAt(Rec(*snap.files, i)->dname2);
    }
    EXPECT_EQ(names, snap.files->count);
    EXPECT_GT(blocks, 1u);
    EXPECT_LT(blocks, 10u);
    // A name of its own beside the blocks, as a hand-made record has.
    AllocPChar(static_cast<TDir*>(snap.files->Add())->dname2, u"extra");
}

TEST_F(Snapshot, StopInTheMiddleOfAListingKeepsTheNamesSoFar) {
    const std::set<std::string> made = ManyFiles(tree);
    platform::SetListingFault([&](std::u16string_view, size_t index) {
        if (index == 1000) form.inbreak = true;
        return platform::ListEnd::complete;
    });
    Read(tree.Path());
    platform::SetListingFault(nullptr);
    const std::set<std::string> kept = FileNames(snap);
    EXPECT_GE(kept.size(), 998u);  // "." and ".." among the first thousand, or not
    EXPECT_LE(kept.size(), 1000u);
    EXPECT_EQ(kept.size(), snap.files->count);
    EXPECT_TRUE(std::includes(made.begin(), made.end(), kept.begin(), kept.end()));
}

#ifndef _WIN32
TEST_F(Snapshot, FailedFileArrayFreesTheNamesGathered) {
    ManyFiles(tree);
    platform::TakeOutOfMemoryText();
    platform::FailNextBlockAllocs(1);
    Read(tree.Path(), false);
    EXPECT_STRNE(platform::TakeOutOfMemoryText(), "");
    EXPECT_EQ(snap.files->count, 0u);
    TDir again{};
    form.ReadinDir(tree.Path(), u"", again, false);
    EXPECT_EQ(again.files->count, 1500u);
    form.ReleaseDir(again);
}
#endif

TEST_F(Snapshot, ReleaseOfSetUpRecordFreesOnlyItsArrays) {
    TDir blank{};
    form.InitDir(blank);
    EXPECT_EQ(form.adir, nullptr);
    form.ReleaseDir(blank);  // the sanitizers see a double free or a leak
}

}  // namespace
