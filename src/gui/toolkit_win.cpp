#include "gui/toolkit_win.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "gui/window_win.h"
#include "platform/shell.h"
#include "platform/wide.h"

namespace gui {
namespace {

constexpr UINT kTrayCallbackMessage = WM_USER;  // 1024, as Toolkit::TrayIconAdd promises

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

struct CoTaskFreer {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};

struct IconDestroyer {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};

}  // namespace

int Win32Toolkit::Run() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (win::PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void Win32Toolkit::ProcessMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Taking WM_QUIT out of the queue would keep the main loop from
            // ever seeing it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (win::PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

Launched Win32Toolkit::ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params,
                                 bool hidden) {
    return platform::ShellOpen(owner, file, params, hidden);
}

bool Win32Toolkit::ProcessEnded(intptr_t process, uint32_t& exitCode) {
    return platform::ProcessEnded(process, exitCode);
}

void Win32Toolkit::ReleaseProcess(intptr_t process) {
    platform::ReleaseProcess(process);
}

std::unique_ptr<Timer> Win32Toolkit::CreateTimer(Window& owner, std::function<void()> onTimer) {
    return win::CreateTimer(owner, std::move(onTimer));
}

int Win32Toolkit::MessageBox(std::u16string_view text, std::u16string_view caption,
                             uint32_t flags) {
    if (messageBoxHook) return messageBoxHook(text, caption, flags);
    return MessageBoxW(GetActiveWindow(), platform::AsWide(text).c_str(),
                       platform::AsWide(caption).c_str(), flags);
}

IconHandle Win32Toolkit::ApplicationIcon() {
    return win::LoadApplicationIcon();
}

bool Win32Toolkit::TrayIconAdd(WindowHandle owner, uint32_t id, IconHandle icon,
                               std::u16string_view tip) {
    // Destroying a shared icon does nothing, so the caller may pass either.
    std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer> owned(static_cast<HICON>(icon));
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = static_cast<HWND>(owner);
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    // The shell would shrink the large image itself; the icon's own small
    // image is drawn for that size.
    std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer> small(
        win::SmallIconOf(owned.get()));
    data.hIcon = small ? small.get() : owned.get();
    std::copy_n(tip.begin(), std::min(tip.size(), std::size(data.szTip) - 1), data.szTip);
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

bool Win32Toolkit::TrayIconDelete(WindowHandle owner, uint32_t id) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = static_cast<HWND>(owner);
    data.uID = id;
    return Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
}

bool Win32Toolkit::TrayIconNotify(WindowHandle owner, uint32_t id, std::u16string_view tip,
                                  std::u16string_view title, std::u16string_view text) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = static_cast<HWND>(owner);
    data.uID = id;
    data.uFlags = NIF_TIP;
    std::copy_n(tip.begin(), std::min(tip.size(), std::size(data.szTip) - 1), data.szTip);
    if (!title.empty()) {
        data.uFlags |= NIF_INFO;
        data.dwInfoFlags = NIIF_ERROR;
        std::copy_n(title.begin(), std::min(title.size(), std::size(data.szInfoTitle) - 1),
                    data.szInfoTitle);
        std::copy_n(text.begin(), std::min(text.size(), std::size(data.szInfo) - 1), data.szInfo);
    }
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void Win32Toolkit::Post(const Window& window, uint32_t message, intptr_t lparam) {
    PostMessageW(static_cast<HWND>(window.Handle()), message, 0, lparam);
}

std::vector<std::u16string> Win32Toolkit::Arguments() {
    int count = 0;
    std::unique_ptr<LPWSTR[], LocalFreer> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::u16string> arguments;
    for (int i = 1; argv && i < count; ++i) arguments.push_back(platform::FromWide(argv[i]));
    return arguments;
}

std::u16string Win32Toolkit::ProgramFile() {
    // The function cuts the path to the buffer without saying how long it is.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size())
            return platform::FromWide(std::wstring_view(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}

bool Win32Toolkit::SpecialFolder(int csidl, std::u16string& path) {
    PIDLIST_ABSOLUTE list = nullptr;
    HRESULT located = SHGetSpecialFolderLocation(nullptr, csidl, &list);
    std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, CoTaskFreer> owned(list);
    if (located != S_OK) return false;
    wchar_t buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(owned.get(), buffer)) return false;
    path = platform::FromWide(buffer);
    return true;
}

namespace win {

HICON SmallIconOf(HICON icon) {
    if (!icon) return nullptr;
    return static_cast<HICON>(CopyImage(icon, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                        GetSystemMetrics(SM_CYSMICON), LR_COPYFROMRESOURCE));
}

}  // namespace win
}  // namespace gui
