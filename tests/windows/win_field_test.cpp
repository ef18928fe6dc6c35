// The Win32 listing where a machine in use differs from a test tree: long
// paths, links and junctions, time-zone changes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gui/memory/toolkit_memory.h"
#include "monitor/dyna_array.h"
#include "platform/dir_search.h"
#include "test_support.h"
#include "ui/main_form.h"

using test::Narrow;

namespace {

using Lines = std::vector<std::string>;

class WinField : public ::testing::Test {
  protected:
    void Watch(const std::u16string& dir, const char16_t* params = u"%2") {
        test::AddWatchRow(form, dir, params);
        form.BitBtn4Click();
    }
    Lines Tick() {
        kit.FireTimers();
        return test::TakeLaunches(kit);
    }
    TJob& Job() { return *static_cast<TJob*>(form.jobs->poi); }  // GetObject is a windows.h macro

    test::TempTree tree;
    gui::MemoryToolkit kit;
    TMainForm form{kit};
};

std::wstring Long(const std::filesystem::path& path) {
    return L"\\\\?\\" + path.wstring();
}

TEST_F(WinField, PathsPastMaxPathAreReadAndLaunchedWhole) {
    std::filesystem::path deep = tree.Root();
    std::u16string relative;
    for (int i = 0; i < 8; ++i) {
        const std::wstring name =
            L"folder-with-a-rather-long-name-" + std::to_wstring(i) + L"-abcdefghij";
        deep /= name;
        relative += (relative.empty() ? u"" : u"\\") + std::u16string(name.begin(), name.end());
        ASSERT_TRUE(CreateDirectoryW(Long(deep).c_str(), nullptr));
    }
    ASSERT_GT(deep.wstring().size(), 300u);
    Watch(tree.Path(), u"%1");
    const std::filesystem::path file = deep / L"new.txt";
    HANDLE made =
        CreateFileW(Long(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    CloseHandle(made);
    EXPECT_EQ(Tick(), Lines{"\"" + Narrow(file.u16string()) + "\""});
    EXPECT_EQ(Tick(), Lines{});
    // Cleaned up here: the tree's own removal takes short paths.
    DeleteFileW(Long(file).c_str());
    for (; deep != tree.Root(); deep = deep.parent_path()) RemoveDirectoryW(Long(deep).c_str());
}

TEST_F(WinField, LinksThatLeadBackUpAreNotFollowed) {
    for (int i = 0; i < 5; ++i) tree.Write("sub/f" + std::to_string(i));
    const std::wstring link = (tree.Root() / "sub" / "up").wstring();
    if (!CreateSymbolicLinkW(
            link.c_str(), tree.Root().c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "this system makes no directory links (error " << GetLastError() << ")";
    platform::DirEntry entry;
    platform::DirSearch search;
    bool flagged = false;
    for (bool found = search.First((tree.Path() + u"\\sub\\*.*").c_str(), entry); found;
         found = search.Next(entry))
        if (entry.name == u"up") flagged = entry.link && entry.directory;
    if (!flagged) GTEST_SKIP() << "this system does not list the link as a reparse point";
    Watch(tree.Path());
    EXPECT_EQ(test::Describe(Job().dir).size(), 6u);  // sub/ and its five files
    RemoveDirectoryW(link.c_str());
}

// A zone change as far as this system lets a program make one.
TEST_F(WinField, TimeZoneChangeLaunchesNothing) {
    for (int i = 0; i < 10; ++i) tree.Write("f" + std::to_string(i));
    Watch(tree.Path());
    TIME_ZONE_INFORMATION saved, moved;
    GetTimeZoneInformation(&saved);
    moved = saved;
    moved.Bias -= 60;
    const int64_t before = platform::LocalOffset();
    if (!SetTimeZoneInformation(&moved) || platform::LocalOffset() == before) {
        SetTimeZoneInformation(&saved);
        GTEST_SKIP() << "this system does not let a program move the time zone";
    }
    const Lines launched = Tick();
    SetTimeZoneInformation(&saved);
    EXPECT_EQ(launched, Lines{});
}

}  // namespace
