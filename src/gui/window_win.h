// What the Win32 toolkit's windows, timers and controls share. Windows code
// only; portable code sees the toolkit's interfaces.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "gui/controls.h"
#include "gui/toolkit_win.h"

namespace gui::win {

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

// A top-level window as its window procedure sees it. It outlives the window
// handle, so that timers and controls can tell whether their window (and with
// it they themselves) still exists.
struct WindowState : std::enable_shared_from_this<WindowState> {
    WindowState(Toolkit& toolkit, WindowEvents& events) : toolkit(toolkit), events(events) {}
    virtual ~WindowState() = default;
    WindowState(const WindowState&) = delete;
    WindowState& operator=(const WindowState&) = delete;

    Toolkit& toolkit;
    WindowEvents& events;
    HWND hwnd = nullptr;  // null once destroyed
    // The handlers of the running timers, by timer id. Shared, since a
    // handler may destroy its timer while it runs.
    std::map<UINT_PTR, std::shared_ptr<const std::function<void()>>> timers;
};

// A window of this toolkit that shares its state with timers and controls.
class StatefulWindow {
  public:
    virtual std::shared_ptr<WindowState> State() const = 0;

  protected:
    ~StatefulWindow() = default;
};

// What every top-level window of the toolkit does alike: timers, the
// application's own messages and the shell's restart. True when handled.
bool HandleSharedMessage(WindowState& state, UINT message, WPARAM wparam, LPARAM lparam);

// A form: the main window or a dialog (see controls.h).
std::unique_ptr<Form> CreateForm(Toolkit& toolkit, WindowEvents& events, const FormDesign& design);
// The forms' keyboard interface: Tab, the arrow keys in radio groups,
// Enter and Escape. The message loops call it for every message before
// translating and dispatching it, and skip those two when it returns true.
bool PreTranslate(MSG& message);
std::unique_ptr<Timer> CreateTimer(Window& owner, std::function<void()> onTimer);

// The rows of a report list view.
namespace list_rows {
int Count(HWND list);
std::u16string Cell(HWND list, int row, int column);
void SetCell(HWND list, int row, int column, std::u16string_view text);
int Add(HWND list);
void Delete(HWND list, int row);
void Clear(HWND list);
// Counted, so that nested updates redraw once, at the end of the outermost.
void BeginUpdate(HWND list, int& depth);
void EndUpdate(HWND list, int& depth);
int Selected(HWND list);
void Select(HWND list, int row);
}  // namespace list_rows

// The program's own icon (resource 1), else the system's; shared either way.
IconHandle LoadApplicationIcon();
// A new icon at the system's small size, which the notification area shows:
// for an icon loaded from a resource, the image that the resource has for
// that size rather than a shrunken copy. Null when none can be made.
HICON SmallIconOf(HICON icon);

// The state of a window made by this toolkit; throws for any other window.
std::shared_ptr<WindowState> StateOf(Window& window);

// A length at 96 DPI in the window's DPI.
int Scale(HWND hwnd, int length);
UINT DpiOf(HWND hwnd);

}  // namespace gui::win
