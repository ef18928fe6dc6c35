#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <string_view>
#include <thread>

#include "monitor/launcher.h"
#include "platform/dir_search.h"
#include "platform/dir_search_win.h"
#include "platform/shell.h"
#include "platform/wide.h"
#include "test_support.h"

namespace {

uint64_t Ticks(const FILETIME& time) { return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; }

void SetWriteTime(const std::filesystem::path& path, const SYSTEMTIME& when) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&when, &ft));
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &ft));
    CloseHandle(file);
}

std::map<std::u16string, platform::DirEntry> List(const std::u16string& dir) {
    std::map<std::u16string, platform::DirEntry> out;
    platform::DirSearch search;
    platform::DirEntry entry;
    for (bool found = search.First((dir + u"\\*.*").c_str(), entry); found; found = search.Next(entry)) {
        auto& kept = out[std::u16string(entry.name)] = entry;
        kept.name = {};  // the search's buffer goes with it
    }
    return out;
}

TEST(Win32Listing, EntriesCarrySizeKindAndTheSystemsUtcTime) {
    test::TempTree tree;
    tree.Write("a.txt", "hello");
    tree.Write("h.sys", "");
    tree.Hide("h.sys");
    tree.MakeDir("sub");
    auto early = tree.Write("early.txt");
    SetWriteTime(early, SYSTEMTIME{1975, 6, 0, 15, 12, 0, 0, 0});
    auto entries = List(tree.Path());
    ASSERT_EQ(entries.size(), 6u);  // the files, sub, "." and ".."
    EXPECT_TRUE(entries.count(u".") && entries.count(u".."));
    EXPECT_TRUE(entries[u"sub"].directory);
    EXPECT_FALSE(entries[u"sub"].link);
    EXPECT_FALSE(entries[u"a.txt"].directory);
    EXPECT_EQ(entries[u"a.txt"].size, 5u);
    for (const char* name : {"a.txt", "early.txt"}) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExW((tree.Root() / name).c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(entries[test::Wide(name)].written, Ticks(data.ftLastWriteTime)) << name;
    }
}

TEST(Win32Listing, MissingFolderIsToldFromOneThatCannotBeRead) {
    test::TempTree tree;
    tree.Write("file.txt");
    for (std::u16string pattern : {std::u16string(u"Z:\\no\\such\\place\\*.*"), tree.Path() + u"\\gone\\*.*",
                                   tree.Path() + u"\\file.txt\\*.*", std::u16string(u"*.*")}) {
        platform::DirSearch search;
        platform::DirEntry entry;
        EXPECT_FALSE(search.First(pattern.c_str(), entry)) << test::Narrow(pattern);
        EXPECT_EQ(search.End(), platform::ListEnd::notFound) << test::Narrow(pattern);
        EXPECT_FALSE(search.Next(entry));
    }
    platform::DirSearch search;
    platform::DirEntry entry;
    int listed = 0;
    for (bool found = search.First((tree.Path() + u"\\*.*").c_str(), entry); found; found = search.Next(entry))
        ++listed;
    EXPECT_EQ(listed, 3);
    EXPECT_EQ(search.End(), platform::ListEnd::complete);
}

// Wine makes no reparse points, so the decision is proven on the tags a
// listing can give.
TEST(Win32Listing, OnlyJunctionsAndSymbolicLinksAreFolderLinks) {
    using platform::win::IsFolderLink;
    constexpr DWORD folder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_TRUE(IsFolderLink(folder, IO_REPARSE_TAG_MOUNT_POINT));
    EXPECT_TRUE(IsFolderLink(folder | FILE_ATTRIBUTE_HIDDEN, IO_REPARSE_TAG_SYMLINK));
    // Synced folders' placeholders, deduplicated storage, a tag not told.
    for (DWORD tag : {DWORD{IO_REPARSE_TAG_CLOUD}, DWORD{IO_REPARSE_TAG_CLOUD_6},
                      DWORD{IO_REPARSE_TAG_DEDUP}, DWORD{0}})
        EXPECT_FALSE(IsFolderLink(folder, tag)) << std::hex << tag;
    // A file link is a file; a tag without a reparse point is left over.
    EXPECT_FALSE(IsFolderLink(FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK));
    EXPECT_FALSE(IsFolderLink(FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_MOUNT_POINT));
}

TEST(Win32Shell, OpensCmdHiddenWithoutWaiting) {
    test::TempTree tree;
    std::filesystem::path out = tree.Root() / "launched.txt";
    std::u16string params = u"/c echo launched> \"" + out.u16string() + u"\"";
    const platform::Launched cmd = platform::ShellOpen(nullptr, u"cmd", params.c_str(), true);
    ASSERT_TRUE(cmd.started);
    ASSERT_NE(cmd.process, 0);
    EXPECT_NE(cmd.pid, 0u);
    uint32_t code = 1;
    for (int i = 0; i < 1000 && !platform::ProcessEnded(cmd.process, code); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(code, 0u);
    platform::ReleaseProcess(cmd.process);
    bool seen = false;
    for (int i = 0; i < 1000 && !seen; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(out);
        std::string line;
        seen = std::getline(in, line) && line.rfind("launched", 0) == 0;
    }
    EXPECT_TRUE(seen);
}

// Wine's cmd expands %NAME% in a line as Windows' does, though not every
// name (CMDCMDLINE, for one): a name of the program's would show here as a
// copy under another name or one not made.
TEST(Win32Shell, NamesWithPercentsReachCopyThroughCmdUnchanged) {
    test::TempTree tree;
    const std::string names[] = {"%CMDCMDLINE%&mkdir canary&.txt", "100%% %USERNAME% done.txt"};
    for (const std::string& name : names) tree.Write("in\\" + name, name);
    const std::u16string in = tree.Path() + u"\\in\\";
    const std::u16string templates[] = {u"/c copy %1 ", u"/c \"copy %1 ", u"/c copy \"%1\" "};
    std::vector<std::filesystem::path> expected;
    for (size_t t = 0; t < std::size(templates); ++t) {
        const std::string out = "out" + std::to_string(t);
        tree.MakeDir(out);
        std::u16string templ = templates[t] + tree.Path() + u"\\" + test::Wide(out) + u"\\%2";
        if (templ.find(u"\"copy") != std::u16string::npos) templ += u'"';
        for (const std::string& name : names) {
            const std::u16string params =
                LaunchParameters(u"cmd", templ, in + test::Wide(name), test::Wide(name));
            const platform::Launched cmd =
                platform::ShellOpen(nullptr, u"cmd", params.c_str(), true);
            if (cmd.process) platform::ReleaseProcess(cmd.process);
            expected.push_back(tree.Root() / out / name);
        }
    }
    for (int i = 0; i < 1000; ++i) {
        if (std::all_of(expected.begin(), expected.end(),
                        [](const auto& p) { return std::filesystem::exists(p); }))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // for a stray command's trace
    for (const std::filesystem::path& copy : expected) {
        std::ifstream file(copy);
        std::string content;
        EXPECT_TRUE(std::getline(file, content) && copy.filename().string() == content)
            << copy.string();
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Root()))
        EXPECT_NE(entry.path().filename(), "canary") << entry.path().string();
    EXPECT_FALSE(std::filesystem::exists("canary"));
}

bool shellBoxSeen = false;

// Closes a box the shell put up, so that the test fails instead of hanging.
void CALLBACK CloseShellBox(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (IsWindowVisible(window) && std::wstring_view(name) == L"#32770") {
                shellBoxSeen = true;
                PostMessageW(window, WM_COMMAND, IDOK, 0);
            }
            return TRUE;
        },
        0);
}

TEST(Win32Shell, ACommandThatCannotStartShowsNoBox) {
    shellBoxSeen = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 1000, CloseShellBox);
    const platform::Launched none =
        platform::ShellOpen(nullptr, u"C:\\no such folder\\program.exe", u"x", false);
    KillTimer(nullptr, timer);
    EXPECT_FALSE(shellBoxSeen);
    EXPECT_FALSE(none.started);
    EXPECT_NE(none.error, 0u);
    EXPECT_FALSE(platform::ErrorText(none.error).empty());
}

}  // namespace
