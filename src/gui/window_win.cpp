// What every window of the toolkit shares: timers, shared messages, DPI.
#include "gui/window_win.h"

#include <stdexcept>
#include <utility>

#include "platform/wide.h"

namespace gui::win {
namespace {

using Handler = std::shared_ptr<const std::function<void()>>;

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

bool HandleSharedMessage(WindowState& state, UINT message, WPARAM wparam, LPARAM lparam) {
    // The shell broadcasts this after a restart of its task bar; the name
    // is fixed by the shell.
    static const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    // Handlers may destroy the window object, and with it the state, unless
    // it is kept alive for them.
    if (message == WM_TIMER) {
        auto found = state.timers.find(wparam);
        // A timer stopped after its tick was queued.
        if (found == state.timers.end()) return true;
        std::shared_ptr<WindowState> kept = state.shared_from_this();
        Handler handler = found->second;
        kept->toolkit.Guarded(*handler);
        return true;
    }
    if (taskbarCreated != 0 && message == taskbarCreated) {
        std::shared_ptr<WindowState> kept = state.shared_from_this();
        kept->toolkit.Guarded([&kept] { kept->events.OnTaskbarCreated(); });
        return true;
    }
    // Registered messages (0xC000 and up) belong to whoever registered them.
    if (message >= WM_USER && message < 0xC000) {
        std::shared_ptr<WindowState> kept = state.shared_from_this();
        kept->toolkit.Guarded([&kept, message, lparam] {
            kept->events.OnUserMessage(message, static_cast<intptr_t>(lparam));
        });
        return true;
    }
    return false;
}

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
    auto* ours = dynamic_cast<StatefulWindow*>(&window);
    if (!ours) throw std::invalid_argument("Not a window of the Win32 toolkit");
    return ours->State();
}

std::unique_ptr<Timer> CreateTimer(Window& owner, std::function<void()> onTimer) {
    return std::make_unique<Win32Timer>(StateOf(owner), std::move(onTimer));
}

}  // namespace gui::win
