// The Win32 toolkit against the real system: windows, the message loop,
// timers, message boxes, the notification area and the process's facts.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/resource_ids.h"
#include "base/text.h"
#include "gui/toolkit_win.h"
#include "platform/wide.h"
#include "gui/window_win.h"
#include "test_support.h"
#include "win_toolkit_support.h"

namespace {

using namespace std::chrono_literals;
using test::Narrow;
using test::ToolkitTest;

using Win32ToolkitWindow = ToolkitTest;
using Win32ToolkitTimer = ToolkitTest;
using Win32ToolkitMessageBox = ToolkitTest;
using Win32ToolkitTray = ToolkitTest;
using Win32ToolkitProcess = ToolkitTest;

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The quit request in the queue, taken out: its exit code, or -1 if none.
int TakeQuit() {
    MSG message;
    return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)
               ? static_cast<int>(message.wParam)
               : -1;
}

TEST_F(Win32ToolkitWindow, IsCreatedHiddenAsATopLevelWindow) {
    std::u16string caption = u"Valmorin \u00fc\u4e16";
    auto window = NewWindow(caption);
    HWND hwnd = test::Hwnd(*window);
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(window->Visible());
    EXPECT_EQ(events.shows, 0);
    EXPECT_EQ(GetAncestor(hwnd, GA_ROOT), hwnd);
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);
    LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(style & WS_CHILD, 0);
    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, static_cast<int>(std::size(className)));
    EXPECT_STREQ(className, L"TValmorinForm");
    EXPECT_EQ(Narrow(platform::FromWide(TextOf(hwnd))), Narrow(caption));
    RECT client;
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.right, test::Scaled(400));
    EXPECT_EQ(client.bottom, test::Scaled(300));
}

TEST_F(Win32ToolkitWindow, ShowRunsOnShowEveryTimeAndHideHides) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    bool visibleInHandler = false;
    events.onShow = [&] { visibleInHandler = IsWindowVisible(hwnd) != FALSE; };

    window->Show();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(window->Visible());
    EXPECT_FALSE(visibleInHandler);  // the handler places the window before it appears
    EXPECT_EQ(events.shows, 1);

    window->Hide();
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(window->Visible());
    EXPECT_EQ(events.shows, 1);

    window->Show();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(events.shows, 2);
    kit.ProcessMessages();
    EXPECT_EQ(events.shows, 2);
}

TEST_F(Win32ToolkitWindow, ApplicationMessagesReachOnUserMessageThroughProcessMessages) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    ASSERT_TRUE(PostMessageW(hwnd, 1024, 0, 514));
    ASSERT_TRUE(PostMessageW(hwnd, WM_USER - 1, 0, 1));
    ASSERT_TRUE(PostMessageW(hwnd, WM_APP + 3, 0, -7));
    EXPECT_TRUE(events.user.empty());
    kit.ProcessMessages();
    std::vector<std::pair<uint32_t, intptr_t>> expected{{1024u, 514}, {WM_APP + 3u, -7}};
    EXPECT_EQ(events.user, expected);

    EXPECT_EQ(SendMessageW(hwnd, 1024, 0, 517), 0);
    ASSERT_EQ(events.user.size(), 3u);
    EXPECT_EQ(events.user.back(), std::make_pair(1024u, intptr_t{517}));
}

TEST_F(Win32ToolkitWindow, ProcessMessagesHandlesAllThatWaitsAndReturnsWhenEmpty) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    // What a handler posts arrives while the queue is being emptied.
    events.onUser = [hwnd](uint32_t, intptr_t lparam) {
        if (lparam == 3) PostMessageW(hwnd, 1024, 0, 4);
    };
    for (LPARAM i = 1; i <= 3; ++i) PostMessageW(hwnd, 1024, 0, i);
    kit.ProcessMessages();
    EXPECT_EQ(events.user.size(), 4u);

    auto start = std::chrono::steady_clock::now();
    kit.ProcessMessages();
    kit.ProcessMessages();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(events.user.size(), 4u);
}

TEST_F(Win32ToolkitWindow, ProcessMessagesLeavesTheQuitToTheMainLoop) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    PostMessageW(hwnd, 1024, 0, 1);
    PostQuitMessage(5);
    kit.ProcessMessages();
    EXPECT_EQ(events.user.size(), 1u);
    kit.ProcessMessages();
    EXPECT_EQ(TakeQuit(), 5);
}

TEST_F(Win32ToolkitWindow, RunDispatchesUntilTheQuitAndReturnsItsCode) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    events.onUser = [hwnd](uint32_t, intptr_t lparam) {
        if (lparam < 3)
            PostMessageW(hwnd, 1024, 0, lparam + 1);
        else
            PostQuitMessage(3);
    };
    PostMessageW(hwnd, 1024, 0, 1);
    EXPECT_EQ(kit.Run(), 3);
    EXPECT_EQ(events.user.size(), 3u);
}

TEST_F(Win32ToolkitWindow, ClosingRunsOnCloseDestroysTheWindowAndEndsTheLoop) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    window->Show();
    events.onClose = [] { throw std::runtime_error("cannot save"); };
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(events.closes, 1);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(TakeQuit(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(Narrow(boxes[0].text), "cannot save.");

    // What is left of the object stays harmless.
    EXPECT_EQ(window->Handle(), nullptr);
    EXPECT_FALSE(window->Visible());
    window->Show();
    window->Hide();
    EXPECT_EQ(events.shows, 1);
}

TEST_F(Win32ToolkitWindow, DestroyingTheObjectDestroysTheWindowQuietly) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    window->Show();
    window.reset();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(events.closes, 0);
    EXPECT_EQ(TakeQuit(), -1);
}

TEST_F(Win32ToolkitWindow, HandlerExceptionsBecomeErrorBoxes) {
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    events.onShow = [] { throw std::runtime_error("show failed"); };
    events.onUser = [](uint32_t, intptr_t lparam) {
        if (lparam == 1) throw std::runtime_error("Bad message.");
    };
    window->Show();
    EXPECT_TRUE(window->Visible());
    PostMessageW(hwnd, 1024, 0, 1);
    PostMessageW(hwnd, 1024, 0, 2);
    kit.ProcessMessages();
    EXPECT_EQ(events.user.size(), 2u);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Narrow(boxes[0].text), "show failed.");
    EXPECT_EQ(Narrow(boxes[0].caption), "Valmorin");
    EXPECT_EQ(boxes[0].flags, 0x10u);
    EXPECT_EQ(Narrow(boxes[1].text), "Bad message.");
}

TEST_F(Win32ToolkitTimer, StartsStoppedWithASecond) {
    auto window = NewWindow();
    int ticks = 0;
    auto timer = kit.CreateTimer(*window, [&] { ++ticks; });
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 1000u);
    timer->SetInterval(20);
    PumpFor(200ms);
    EXPECT_EQ(ticks, 0);
}

TEST_F(Win32ToolkitTimer, FiresThroughTheMessageLoopUntilStopped) {
    auto window = NewWindow();
    int ticks = 0;
    auto timer = kit.CreateTimer(*window, [&] { ++ticks; });
    timer->SetInterval(50);
    timer->SetEnabled(true);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(timer->Interval(), 50u);

    // Without a message loop nothing fires.
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(ticks, 0);

    // Missed ticks do not pile up: the first comes at once, the next two
    // take two periods.
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);

    timer->SetEnabled(false);
    EXPECT_FALSE(timer->Enabled());
    kit.ProcessMessages();
    int stoppedAt = ticks;
    PumpFor(300ms);
    EXPECT_EQ(ticks, stoppedAt);

    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return ticks > stoppedAt; }));
}

TEST_F(Win32ToolkitTimer, ANewIntervalRestartsTheRunningPeriod) {
    auto window = NewWindow();
    int ticks = 0;
    auto timer = kit.CreateTimer(*window, [&] { ++ticks; });
    timer->SetInterval(60000);
    timer->SetEnabled(true);
    PumpFor(200ms);
    EXPECT_EQ(ticks, 0);
    timer->SetInterval(50);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 1; }, 3s));

    // Changed every tenth of its period, a one-second timer never comes due.
    timer->SetInterval(1000);
    kit.ProcessMessages();
    ticks = 0;
    for (int i = 0; i < 15; ++i) {
        PumpFor(100ms);
        timer->SetInterval(i % 2 ? 1000 : 1001);
    }
    EXPECT_EQ(ticks, 0);

    // The same interval again changes nothing: the period runs on.
    timer->SetInterval(300);
    EXPECT_TRUE(PumpUntil(
        [&] {
            timer->SetInterval(300);
            return ticks >= 1;
        },
        3s));
}

TEST_F(Win32ToolkitTimer, AZeroIntervalKeepsItSilent) {
    auto window = NewWindow();
    int ticks = 0;
    auto timer = kit.CreateTimer(*window, [&] { ++ticks; });
    timer->SetInterval(0);
    timer->SetEnabled(true);
    EXPECT_TRUE(timer->Enabled());
    PumpFor(200ms);
    EXPECT_EQ(ticks, 0);
    timer->SetInterval(30);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 1; }));
}

TEST_F(Win32ToolkitTimer, TimersOfOneWindowAreSeparate) {
    auto window = NewWindow();
    int aTicks = 0, bTicks = 0;
    auto a = kit.CreateTimer(*window, [&] { ++aTicks; });
    auto b = kit.CreateTimer(*window, [&] { ++bTicks; });
    a->SetInterval(30);
    b->SetInterval(60000);
    a->SetEnabled(true);
    b->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return aTicks >= 3; }));
    EXPECT_EQ(bTicks, 0);
}

TEST_F(Win32ToolkitTimer, DestroyingARunningTimerStopsIt) {
    auto window = NewWindow();
    int ticks = 0;
    auto timer = kit.CreateTimer(*window, [&] { ++ticks; });
    timer->SetInterval(20);
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 1; }));
    timer.reset();
    int before = ticks;
    PumpFor(200ms);
    EXPECT_EQ(ticks, before);
}

TEST_F(Win32ToolkitTimer, AHandlerMayDestroyItsOwnTimer) {
    auto window = NewWindow();
    int ticks = 0;
    std::unique_ptr<gui::Timer> timer;
    timer = kit.CreateTimer(*window, [&] {
        ++ticks;
        timer.reset();
    });
    timer->SetInterval(20);
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 1; }));
    PumpFor(200ms);
    EXPECT_EQ(ticks, 1);
}

TEST_F(Win32ToolkitTimer, AnExceptionInTheHandlerBecomesAnErrorBoxAndTicksGoOn) {
    auto window = NewWindow();
    auto timer = kit.CreateTimer(*window, [] { throw std::runtime_error("disk gone"); });
    timer->SetInterval(30);
    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return boxes.size() >= 2; }));
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(Narrow(boxes[0].text), "disk gone.");
    EXPECT_EQ(Narrow(boxes[0].caption), "Valmorin");
    EXPECT_EQ(boxes[0].flags, 0x10u);
}

TEST_F(Win32ToolkitTimer, OutlivingItsWindowIsHarmless) {
    auto window = NewWindow();
    int ticks = 0;
    auto timer = kit.CreateTimer(*window, [&] { ++ticks; });
    timer->SetInterval(20);
    timer->SetEnabled(true);
    window.reset();
    timer->SetEnabled(false);
    timer->SetEnabled(true);
    timer->SetInterval(30);
    PumpFor(200ms);
    EXPECT_EQ(ticks, 0);
    // No timer of the thread instead of the window.
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

TEST_F(Win32ToolkitMessageBox, TheHookTakesTheBoxesAndAnswers) {
    kit.messageBoxHook = [this](std::u16string_view text, std::u16string_view caption,
                                uint32_t flags) {
        boxes.push_back({std::u16string(text), std::u16string(caption), flags});
        return IDNO;
    };
    EXPECT_EQ(kit.MessageBox(u"Weiter?", u"Frage", MB_YESNO), IDNO);
    kit.ErrorBox(u"Fehler");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Narrow(boxes[0].caption), "Frage");
    EXPECT_EQ(boxes[0].flags, static_cast<uint32_t>(MB_YESNO));
    EXPECT_EQ(Narrow(boxes[1].text), "Fehler.");
    EXPECT_EQ(boxes[1].flags, 0x10u);
}

TEST_F(Win32ToolkitMessageBox, ShowsARealBoxOwnedByTheActiveWindow) {
    kit.messageBoxHook = nullptr;
    auto window = NewWindow();
    HWND hwnd = test::Hwnd(*window);
    window->Show();
    SetActiveWindow(hwnd);
    kit.ProcessMessages();
    ASSERT_EQ(GetActiveWindow(), hwnd);

    // Another thread answers the modal box as a user would.
    DWORD guiThread = GetCurrentThreadId();
    HWND seenOwner = nullptr;
    std::wstring seenText;
    std::thread user([&] {
        for (int i = 0; i < 1000; ++i) {
            HWND box = test::FindThreadWindow(guiThread, L"#32770", L"Valmorin Frage");
            if (box && IsWindowVisible(box)) {
                seenOwner = GetWindow(box, GW_OWNER);
                HWND label = FindWindowExW(box, nullptr, L"Static", L"Monitoring beenden?");
                if (label) seenText = TextOf(label);
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    int answer =
        kit.MessageBox(u"Monitoring beenden?", u"Valmorin Frage", MB_YESNO | MB_ICONQUESTION);
    user.join();
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(seenOwner, hwnd);
    EXPECT_EQ(seenText, L"Monitoring beenden?");
}

TEST_F(Win32ToolkitTray, AddsAndDeletesTheNotificationIcon) {
    auto window = NewWindow();
    auto owner = window->Handle();
    EXPECT_TRUE(kit.TrayIconAdd(owner, 7, kit.ApplicationIcon(), u"Valmorin"));
    EXPECT_TRUE(kit.TrayIconDelete(owner, 7));
    EXPECT_FALSE(kit.TrayIconDelete(owner, 7));

    // A tip longer than the shell's 127 characters is cut, not refused.
    EXPECT_TRUE(kit.TrayIconAdd(owner, 8, kit.ApplicationIcon(), std::u16string(300, u'x')));
    EXPECT_TRUE(kit.TrayIconDelete(owner, 8));
    EXPECT_TRUE(kit.TrayIconAdd(owner, 9, nullptr, u"no icon"));
    EXPECT_TRUE(kit.TrayIconDelete(owner, 9));
}

TEST_F(Win32ToolkitTray, ReleasesTheIconButNotTheSharedApplicationIcon) {
    auto window = NewWindow();
    auto owner = window->Handle();
    HICON own = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
    ASSERT_TRUE(test::IconAlive(own));
    EXPECT_TRUE(kit.TrayIconAdd(owner, 1, own, u"Valmorin"));
    EXPECT_FALSE(test::IconAlive(own));

    // Refused or not, the icon is gone.
    HICON second = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
    EXPECT_FALSE(kit.TrayIconAdd(owner, 1, second, u"Valmorin"));
    EXPECT_FALSE(test::IconAlive(second));
    EXPECT_TRUE(kit.TrayIconDelete(owner, 1));

    // The tests carry the program's resources, and with them its icon.
    gui::IconHandle app = kit.ApplicationIcon();
    EXPECT_EQ(app, LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VALMORIN), IMAGE_ICON,
                              0, 0, LR_DEFAULTSIZE | LR_SHARED));
    EXPECT_NE(app, LoadIconW(nullptr, IDI_APPLICATION));
    EXPECT_TRUE(kit.TrayIconAdd(owner, 2, app, u"Valmorin"));
    EXPECT_TRUE(test::IconAlive(static_cast<HICON>(app)));
    EXPECT_EQ(kit.ApplicationIcon(), app);
    EXPECT_TRUE(kit.TrayIconDelete(owner, 2));
}

// The icon drawn at the size on white, pixel by pixel.
std::vector<uint32_t> Drawn(HICON icon, int size) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, size, size, WHITENESS);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const auto* first = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> pixels(first, first + static_cast<size_t>(size) * size);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

TEST_F(Win32ToolkitTray, TheIconIsTheApplicationIconsOwnSmallImage) {
    int size = GetSystemMetrics(SM_CXSMICON);
    auto app = static_cast<HICON>(kit.ApplicationIcon());
    HICON small = gui::win::SmallIconOf(app);
    auto own = static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VALMORIN), IMAGE_ICON, size, size, 0));
    auto shrunk = static_cast<HICON>(CopyImage(app, IMAGE_ICON, size, size, 0));
    ASSERT_TRUE(small && own && shrunk);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(small, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_EQ(bitmap.bmWidth, size);
    EXPECT_EQ(Drawn(small, size), Drawn(own, size));
    // What the shell would have made of the large image, which differs.
    EXPECT_NE(Drawn(shrunk, size), Drawn(own, size));
    DestroyIcon(small);
    DestroyIcon(own);
    DestroyIcon(shrunk);
}

TEST_F(Win32ToolkitProcess, ProgramFileIsThisExecutable) {
    std::filesystem::path program(kit.ProgramFile());
    EXPECT_TRUE(program.is_absolute());
    EXPECT_EQ(program.filename().wstring(), L"valmorin_wintests.exe");
    EXPECT_TRUE(std::filesystem::is_regular_file(program));
}

TEST_F(Win32ToolkitProcess, SpecialFolderLocatesApplicationData) {
    std::u16string path;
    ASSERT_TRUE(kit.SpecialFolder(26, path));
    EXPECT_FALSE(path.empty());
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(path)));

    std::u16string untouched = u"unchanged";
    EXPECT_FALSE(kit.SpecialFolder(0xFE, untouched));
    EXPECT_EQ(Narrow(untouched), "unchanged");
}

constexpr wchar_t kArgumentsOut[] = L"VALMORIN_TEST_ARGUMENTS_OUT";

TEST_F(Win32ToolkitProcess, ArgumentsAreTheCommandLineAfterTheProgram) {
    test::TempTree tree;
    std::filesystem::path out = tree.Root() / "arguments.txt";
    std::wstring program = platform::AsWide(kit.ProgramFile());
    std::wstring commandLine =
        L"\"" + program +
        L"\" --gtest_filter=Win32ToolkitChild.ReportsArguments \"two words\" "
        L"Gr\u00fc\u00dfe \"\" a\\\"b";
    int exitCode = test::RunChild(program, commandLine, {{kArgumentsOut, out.wstring()}});
    ASSERT_EQ(exitCode, 0);

    std::ifstream in(out, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < bytes.size(); start = end + 1) {
        end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
    }
    std::vector<std::string> expected{"--gtest_filter=Win32ToolkitChild.ReportsArguments",
                                      "two words",
                                      "Gr\xc3\xbc\xc3\x9f"
                                      "e",
                                      "", "a\"b"};
    EXPECT_EQ(lines, expected);
}

// The other half of the test above, in a process of its own.
TEST(Win32ToolkitChild, ReportsArguments) {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(kArgumentsOut, path, MAX_PATH))
        GTEST_SKIP() << "runs inside the test above";
    gui::Win32Toolkit kit;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    bool first = true;
    for (const std::u16string& argument : kit.Arguments()) {
        if (!first) out << '\n';
        first = false;
        out << base::Utf16ToUtf8(argument);
    }
    ASSERT_TRUE(out.good());
}

}  // namespace
