// What the Win32 toolkit's windows, timers and controls share. Windows code
// only; portable code sees the toolkit's interfaces.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string_view>

#include "platform/toolkit_win.h"

namespace platform::win {

// The screen's device context, released with the object.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};


// A main window as its window procedure sees it. It outlives the window
// handle, so that timers and controls can tell whether their window (and with
// it they themselves) still exists.
struct WindowState : std::enable_shared_from_this<WindowState> {
    WindowState(Toolkit& toolkit, WindowEvents& events) : toolkit(toolkit), events(events) {}
    WindowState(const WindowState&) = delete;
    WindowState& operator=(const WindowState&) = delete;

    Toolkit& toolkit;
    WindowEvents& events;
    HWND hwnd = nullptr;  // null once destroyed
    // The handlers of the running timers, by timer id. Shared, since a
    // handler may destroy its timer while it runs.
    std::map<UINT_PTR, std::shared_ptr<const std::function<void()>>> timers;
};

std::unique_ptr<Window> CreateMainWindow(Toolkit& toolkit, WindowEvents& events,
                                         std::u16string_view caption, Rect bounds);
std::unique_ptr<Timer> CreateTimer(Window& owner, std::function<void()> onTimer);
std::unique_ptr<ListView> CreateListView(Window& parent, Rect bounds);
std::unique_ptr<NumberField> CreateNumberField(Window& parent, Rect bounds);

// The program's own icon (resource 1), else the system's; shared either way.
IconHandle LoadApplicationIcon();

// The state of a window made by this toolkit; throws for any other window.
std::shared_ptr<WindowState> StateOf(Window& window);

// A length at 96 DPI in the window's DPI.
int Scale(HWND hwnd, int length);

// A child control of a main window. Windows destroys it with its parent, so
// it acts only while the parent lives and never touches a stale handle.
class ChildWindow {
public:
    ChildWindow(const ChildWindow&) = delete;
    ChildWindow& operator=(const ChildWindow&) = delete;

protected:
    ChildWindow(Window& parent, const wchar_t* className, DWORD style, DWORD exStyle, Rect bounds);
    ~ChildWindow();
    // Null once the parent window is gone.
    HWND Handle() const;

private:
    std::weak_ptr<WindowState> parent_;
    HWND hwnd_ = nullptr;
};

}  // namespace platform::win
