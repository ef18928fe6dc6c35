#include "win_toolkit_support.h"

#include <cstring>
#include <cwchar>

#include "gui/window_win.h"
#include "platform/handle_win.h"

namespace test {
namespace {

using gui::win::ScreenDc;

using OwnedHandle = platform::win::KernelHandle;

class OwnedBitmap {
  public:
    explicit OwnedBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
    ~OwnedBitmap() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    OwnedBitmap(const OwnedBitmap&) = delete;
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;

  private:
    HBITMAP bitmap_;
};

// Environment variables set for as long as the object lives.
class ScopedEnvironment {
  public:
    explicit ScopedEnvironment(const std::vector<std::pair<std::wstring, std::wstring>>& variables)
        : variables_(variables) {
        for (const auto& [name, value] : variables_)
            SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    ~ScopedEnvironment() {
        for (const auto& variable : variables_)
            SetEnvironmentVariableW(variable.first.c_str(), nullptr);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::vector<std::pair<std::wstring, std::wstring>> variables_;
};

struct WindowSearch {
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lparam) {
    auto* search = reinterpret_cast<WindowSearch*>(lparam);
    wchar_t className[64] = {}, caption[256] = {};
    GetClassNameW(hwnd, className, 64);
    // Not GetWindowTextW: that would wait for the window's busy thread.
    InternalGetWindowText(hwnd, caption, 256);
    if (wcscmp(className, search->className) != 0 || wcscmp(caption, search->caption) != 0)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

void RecordingEvents::OnShow() {
    ++shows;
    if (onShow) onShow();
}

void RecordingEvents::OnClose() {
    ++closes;
    if (onClose) onClose();
}

void RecordingEvents::OnUserMessage(uint32_t message, intptr_t lparam) {
    user.emplace_back(message, lparam);
    if (onUser) onUser(message, lparam);
}

ToolkitTest::ToolkitTest() {
    kit.messageBoxHook = [this](std::u16string_view text, std::u16string_view caption,
                                uint32_t flags) {
        boxes.push_back({std::u16string(text), std::u16string(caption), flags});
        return IDOK;
    };
}

void ToolkitTest::TearDown() {
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        << "a quit request was left behind";
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

std::unique_ptr<gui::Form> ToolkitTest::NewWindow(std::u16string_view caption) {
    gui::FormDesign design{std::u16string(caption), 400, 300, true, {u"Tahoma", 11}};
    design.main = true;
    return kit.CreateForm(events, design);
}

bool ToolkitTest::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        kit.ProcessMessages();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(5);
    }
}

void ToolkitTest::PumpFor(std::chrono::milliseconds span) {
    PumpUntil([] { return false; }, span);
}

HWND Hwnd(const gui::Window& window) {
    return static_cast<HWND>(window.Handle());
}

int Scaled(int length) {
    ScreenDc screen;
    return MulDiv(length, GetDeviceCaps(screen.Get(), LOGPIXELSY), USER_DEFAULT_SCREEN_DPI);
}

HWND FindThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption) {
    WindowSearch search{className, caption, nullptr};
    EnumThreadWindows(thread, MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IconAlive(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return false;
    OwnedBitmap mask(info.hbmMask), color(info.hbmColor);
    return true;
}

int RunChild(const std::wstring& program, std::wstring commandLine,
             const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
    ScopedEnvironment scoped(environment);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    OwnedHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                                nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.Get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &started))
        return -1;
    OwnedHandle process(started.hProcess), thread(started.hThread);
    if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        return -1;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    return static_cast<int>(exitCode);
}

bool SetClipboardText(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (memory) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!ok) GlobalFree(memory);
    }
    CloseClipboard();
    return ok;
}

}  // namespace test
