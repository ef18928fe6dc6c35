// The main window and its timers.
#include "platform/window_win.h"

#include <stdexcept>
#include <utility>

#include "platform/wide.h"

namespace platform::win {
namespace {

constexpr wchar_t kMainWindowClass[] = L"TValmorinMainForm";

using Handler = std::shared_ptr<const std::function<void()>>;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

UINT DpiOf(HWND hwnd) {
    // GetDpiForWindow arrived with Windows 10; older systems have one DPI
    // for everything, the screen's.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && hwnd) {
        if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    ScreenDc dc;
    int dpi = dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void Place(HWND hwnd, Rect bounds) {
    SetWindowPos(hwnd, nullptr, Scale(hwnd, bounds.left), Scale(hwnd, bounds.top),
                 Scale(hwnd, bounds.width), Scale(hwnd, bounds.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

class WindowClass {
public:
    WindowClass() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = MainWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = static_cast<HICON>(LoadApplicationIcon());
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = kMainWindowClass;
        atom_ = RegisterClassExW(&wc);
        if (!atom_) throw std::runtime_error("Cannot register the main window class");
    }
    ~WindowClass() { UnregisterClassW(MAKEINTATOM(atom_), GetModuleHandleW(nullptr)); }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

private:
    ATOM atom_ = 0;
};

class Win32Window final : public Window {
public:
    Win32Window(Toolkit& toolkit, WindowEvents& events, std::u16string_view caption, Rect bounds)
        : state_(std::make_shared<WindowState>(toolkit, events)) {
        static const WindowClass windowClass;
        HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, kMainWindowClass, AsWide(caption).c_str(),
                                    WS_OVERLAPPEDWINDOW, bounds.left, bounds.top, bounds.width,
                                    bounds.height, nullptr, nullptr, GetModuleHandleW(nullptr),
                                    state_.get());
        if (!hwnd) throw std::runtime_error("Cannot create the main window");
        Place(hwnd, bounds);
    }

    ~Win32Window() override {
        HWND hwnd = state_->hwnd;
        if (!hwnd) return;
        // Detached first, so that the window procedure neither calls the
        // owner, who is going away, nor ends the message loop.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        state_->hwnd = nullptr;
        state_->timers.clear();
        DestroyWindow(hwnd);
    }

    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    WindowHandle Handle() const override { return state_->hwnd; }

    void Show() override {
        if (!state_->hwnd) return;
        ShowWindow(state_->hwnd, SW_SHOW);
        // Coming back from the notification area, the window belongs in front.
        SetForegroundWindow(state_->hwnd);
        std::shared_ptr<WindowState> state = state_;
        state->toolkit.Guarded([&state] { state->events.OnShow(); });
    }

    void Hide() override {
        if (state_->hwnd) ShowWindow(state_->hwnd, SW_HIDE);
    }

    bool Visible() const override { return state_->hwnd && IsWindowVisible(state_->hwnd); }

    const std::shared_ptr<WindowState>& State() const { return state_; }

private:
    std::shared_ptr<WindowState> state_;
};

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    // noexcept: Guarded lets through only what is no std::exception, and
    // that ends the program here instead of unwinding through the system.
    if (message == WM_NCCREATE) {
        auto* created = reinterpret_cast<CREATESTRUCTW*>(lparam);
        auto* state = static_cast<WindowState*>(created->lpCreateParams);
        state->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    }
    auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!state) return DefWindowProcW(hwnd, message, wparam, lparam);

    // Handlers may destroy the window object, and with it the state, unless
    // it is kept alive for them.
    switch (message) {
        case WM_CLOSE: {
            std::shared_ptr<WindowState> kept = state->shared_from_this();
            kept->toolkit.Guarded([&kept] { kept->events.OnClose(); });
            if (kept->hwnd) DestroyWindow(kept->hwnd);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            state->hwnd = nullptr;
            state->timers.clear();
            break;
        case WM_TIMER: {
            auto found = state->timers.find(wparam);
            // A timer stopped after its tick was queued.
            if (found == state->timers.end()) return 0;
            std::shared_ptr<WindowState> kept = state->shared_from_this();
            Handler handler = found->second;
            kept->toolkit.Guarded(*handler);
            return 0;
        }
        default:
            if (message >= WM_USER) {
                std::shared_ptr<WindowState> kept = state->shared_from_this();
                kept->toolkit.Guarded([&kept, message, lparam] {
                    kept->events.OnUserMessage(message, static_cast<intptr_t>(lparam));
                });
                return 0;
            }
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

class Win32Timer final : public Timer {
public:
    Win32Timer(std::shared_ptr<WindowState> owner, std::function<void()> onTimer)
        : owner_(owner),
          handler_(std::make_shared<const std::function<void()>>(std::move(onTimer))),
          id_(NextId()) {}
    ~Win32Timer() override { Disarm(); }
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;

    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) return;
        enabled_ = enabled;
        if (enabled_)
            Arm();
        else
            Disarm();
    }
    bool Enabled() const override { return enabled_; }

    void SetInterval(uint32_t milliseconds) override {
        if (milliseconds == interval_) return;
        interval_ = milliseconds;
        // SetTimer on a running timer starts the new period from now.
        if (enabled_) Arm();
    }
    uint32_t Interval() const override { return interval_; }

private:
    static UINT_PTR NextId() {
        static UINT_PTR last = 0;
        return ++last;
    }

    void Arm() {
        if (interval_ == 0) {
            Disarm();
            return;
        }
        auto owner = owner_.lock();
        if (!owner || !owner->hwnd) return;
        if (!SetTimer(owner->hwnd, id_, interval_, nullptr))
            throw std::runtime_error("Not enough timers available");
        owner->timers[id_] = handler_;
    }

    void Disarm() {
        auto owner = owner_.lock();
        if (!owner) return;
        owner->timers.erase(id_);
        if (owner->hwnd) KillTimer(owner->hwnd, id_);
    }

    std::weak_ptr<WindowState> owner_;
    Handler handler_;
    UINT_PTR id_;
    bool enabled_ = false;
    uint32_t interval_ = 1000;
};

}  // namespace

IconHandle LoadApplicationIcon() {
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0,
                             LR_DEFAULTSIZE | LR_SHARED);
    if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
    return icon;
}

int Scale(HWND hwnd, int length) {
    return MulDiv(length, static_cast<int>(DpiOf(hwnd)), USER_DEFAULT_SCREEN_DPI);
}

std::shared_ptr<WindowState> StateOf(Window& window) {
    auto* ours = dynamic_cast<Win32Window*>(&window);
    if (!ours) throw std::invalid_argument("Not a window of the Win32 toolkit");
    return ours->State();
}

std::unique_ptr<Window> CreateMainWindow(Toolkit& toolkit, WindowEvents& events,
                                         std::u16string_view caption, Rect bounds) {
    return std::make_unique<Win32Window>(toolkit, events, caption, bounds);
}

std::unique_ptr<Timer> CreateTimer(Window& owner, std::function<void()> onTimer) {
    return std::make_unique<Win32Timer>(StateOf(owner), std::move(onTimer));
}

ChildWindow::ChildWindow(Window& parent, const wchar_t* className, DWORD style, DWORD exStyle,
                         Rect bounds) {
    std::shared_ptr<WindowState> state = StateOf(parent);
    if (!state->hwnd) throw std::logic_error("The parent window is gone");
    hwnd_ = CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                            state->hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) throw std::runtime_error("Cannot create a control");
    parent_ = state;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    Place(hwnd_, bounds);
}

ChildWindow::~ChildWindow() {
    if (HWND hwnd = Handle()) DestroyWindow(hwnd);
}

HWND ChildWindow::Handle() const {
    auto parent = parent_.lock();
    return parent && parent->hwnd ? hwnd_ : nullptr;
}

}  // namespace platform::win
