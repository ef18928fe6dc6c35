// The desktop toolkit the windows are written against: top-level windows,
// timers, a report list, a number field, message boxes, the notification
// icon and what the application knows about itself. The product uses the
// Win32 backend; the native tests use an in-memory one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gui/host.h"

namespace gui {

using IconHandle = void*;

class FormToolkit;

struct Rect {
    int left, top, width, height;
};

// What happens to a top-level window, as its owner sees it.
class WindowEvents {
  public:
    // Runs every time the window is shown.
    virtual void OnShow() {}
    // The user closes the window; the application ends after it.
    virtual void OnClose() {}
    // The window is being destroyed (after OnClose, or at the program's end).
    virtual void OnDestroy() {}
    // Windows ends the session (log-off, shutdown); the process ends after
    // it without a close.
    virtual void OnEndSession() {}
    // The shell's notification area has (re)started: icons must be added again.
    virtual void OnTaskbarCreated() {}
    // A message of the application's own range (WM_USER and above).
    virtual void OnUserMessage(uint32_t message, intptr_t lparam) { (void)message, (void)lparam; }

  protected:
    ~WindowEvents() = default;
};

class Window {
  public:
    virtual ~Window() = default;
    virtual WindowHandle Handle() const = 0;
    // Showing runs WindowEvents::OnShow; a hidden window leaves the task bar.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
};

class Timer {
  public:
    virtual ~Timer() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    // A new interval restarts the period of a running timer.
    virtual void SetInterval(uint32_t milliseconds) = 0;
    virtual uint32_t Interval() const = 0;
};

// A report list of rows with a caption and six sub-items.
class ListView {
  public:
    static constexpr int kColumns = 7;

    virtual ~ListView() = default;
    virtual int RowCount() const = 0;
    // Column 0 is the caption, 1 to 6 the sub-items.
    virtual std::u16string Cell(int row, int column) const = 0;
    virtual void SetCell(int row, int column, std::u16string_view text) = 0;
    // Appends a row of empty cells and returns its index.
    virtual int AddRow() = 0;
    virtual void DeleteRow(int row) = 0;
    virtual void Clear() = 0;
    // No repainting between the two.
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    // -1 when no row is selected.
    virtual int Selected() const = 0;
    virtual void Select(int row) = 0;
};

// The value of a number field.
class NumberField {
  public:
    virtual ~NumberField() = default;
    virtual double Value() const = 0;
    virtual void SetValue(double value) = 0;
};

class Toolkit : public Host {
  public:
    static constexpr uint32_t kErrorBoxFlags = 0x10;  // stop icon, OK button

    // `onTimer` runs on the GUI thread, through the message loop.
    virtual std::unique_ptr<Timer> CreateTimer(Window& owner, std::function<void()> onTimer) = 0;

    // The application's modal message box; returns the button pressed.
    virtual int MessageBox(std::u16string_view text, std::u16string_view caption,
                           uint32_t flags) = 0;
    // The application's error box: the text with a full stop added unless it
    // ends in one, the application title as caption, flags 0x10.
    void ErrorBox(std::u16string_view text);
    // Runs an event handler; an exception it throws ends the handler and is
    // shown in the error box, and the program goes on.
    void Guarded(const std::function<void()>& handler);

    // The application's own icon, shared: releasing it leaves it intact.
    virtual IconHandle ApplicationIcon() = 0;
    // The notification icon: added with the callback message 1024 and the
    // tip; the handle is released after the call unless null. True when the
    // shell took it.
    virtual bool TrayIconAdd(WindowHandle owner, uint32_t id, IconHandle icon,
                             std::u16string_view tip) = 0;
    virtual bool TrayIconDelete(WindowHandle owner, uint32_t id) = 0;
    // A new tip for the icon, and with a `title`, a balloon over it that
    // shows `text` with the error symbol.
    virtual bool TrayIconNotify(WindowHandle owner, uint32_t id, std::u16string_view tip,
                                std::u16string_view title = {}, std::u16string_view text = {}) = 0;
    // Queues `message` (1024 and up) with `lparam` for `window`, whose
    // OnUserMessage gets it once the messages before it are handled.
    virtual void Post(const Window& window, uint32_t message, intptr_t lparam) = 0;

    // The command-line arguments after the program's own name.
    virtual std::vector<std::u16string> Arguments() = 0;
    // The program file's full path.
    virtual std::u16string ProgramFile() = 0;
    // A shell special folder's path (CSIDL number); false when not located.
    virtual bool SpecialFolder(int csidl, std::u16string& path) = 0;

    // The forms, dialogs and the rest of what windows are built from.
    virtual FormToolkit& Forms() = 0;

    std::u16string title = u"Valmorin";

  protected:
    ~Toolkit() = default;
};

}  // namespace gui
