// Forms and controls of the toolkit: what the main window and the dialogs are
// built from. Positions and sizes are pixels at 96 DPI, relative to the
// parent's client area; the backend scales them to the display.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gui/toolkit.h"

namespace gui {

struct Font {
    std::u16string face;  // empty: the form's font
    int height = 0;       // character height in pixels at 96 DPI; 0: the form's
    bool bold = false;
};

struct Color {
    uint8_t r, g, b;
};

// The stock glyph of a button or the browse button: our own pictures.
enum class Glyph { None, All, Retry, Cancel, Ignore, Help, Ok, Folder, Globe };

enum class ModalResult : int { None = 0, Ok = 1, Cancel = 2 };

class Control {
  public:
    virtual ~Control() = default;
    virtual void SetFocus() = 0;
    virtual bool Focused() const = 0;
};

class Button : public virtual Control {
  public:
    // Runs on a click, on Enter or Space while focused, and when the form's
    // default or cancel key picks this button.
    std::function<void()> onClick;
    // A click from the program, as the user's.
    virtual void Click() = 0;
};

class Label : public virtual Control {
  public:
    virtual std::u16string Text() const = 0;
    virtual void SetText(std::u16string_view text) = 0;
};

class Edit : public virtual Control {
  public:
    virtual std::u16string Text() const = 0;
    virtual void SetText(std::u16string_view text) = 0;
};

class CheckBox : public virtual Control {
  public:
    virtual bool Checked() const = 0;
    virtual void SetChecked(bool checked) = 0;
};

// Radio buttons made one after another on the same parent form one group:
// checking one unchecks the others; the checked one is the group's tab stop.
class RadioButton : public CheckBox {};

// A single-line edit with a browse button inside its right end; Alt+Down in
// the edit acts as a click on the button.
class BrowseEdit : public Edit {
  public:
    std::function<void()> onBrowse;
};

// A single-line, right-aligned edit with a diagonal spin button inside its
// right end. It reports what the user does; the rules live with its owner.
class SpinEdit : public virtual Control {
  public:
    virtual std::u16string Text() const = 0;
    // Writes the text without raising onEdited.
    virtual void PutText(std::u16string_view text) = 0;

    // A typed character; false refuses it, with the system's beep.
    std::function<bool(char16_t)> onChar;
    // Typing, paste or cut changed the text.
    std::function<void()> onEdited;
    // Around a paste, before and after it.
    std::function<void()> onPasting;
    std::function<void()> onPasted;
    // +1 up, -1 down: the arrow keys, the spin button and its repeat. A press
    // on the button also moves the focus into the field.
    std::function<void(int)> onStep;
    // The focus moved to another control.
    std::function<void()> onLeave;
};

// Which half of a diagonal spin button a point falls in: the upper-left half,
// above the line from the lower-left to the upper-right corner, steps up.
// Coordinates are relative to the button.
inline bool SpinUpHalf(int x, int y, int width, int height) {
    return int64_t{x} * height + int64_t{y} * width < int64_t{width} * height;
}

// The spin button repeats a step first this long after the press, then at
// the second interval, while it stays pressed over the same half.
constexpr uint32_t kSpinFirstRepeatMs = 400;
constexpr uint32_t kSpinRepeatMs = 100;

class Picture : public virtual Control {
  public:
    // Shows a JPEG, stretched to the control. False when it does not decode.
    virtual bool SetJpeg(const std::vector<uint8_t>& data) = 0;
};

class ReportList : public ListView, public virtual Control {
  public:
    struct Column {
        std::u16string caption;
        int width;
    };
    virtual void SetColumns(const std::vector<Column>& columns) = 0;
    // A double-click on a row.
    std::function<void()> onDoubleClick;
};

class Form;

// A window's placement, as the system keeps it.
struct Placement {
    uint32_t flags = 0;
    uint32_t showCmd = 1;
    int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// A container: a form's client area or a panel on it.
class Container {
  public:
    virtual ~Container() = default;
    virtual std::unique_ptr<Container> AddPanel(Rect bounds, bool alignTop, bool bevelled,
                                                const Color* background) = 0;
    virtual std::unique_ptr<Button> AddButton(Rect bounds, std::u16string_view caption,
                                              Glyph glyph) = 0;
    virtual std::unique_ptr<Label> AddLabel(Rect bounds, std::u16string_view text, bool wordWrap,
                                            const Font& font = {}) = 0;
    virtual std::unique_ptr<Edit> AddEdit(Rect bounds, std::u16string_view text) = 0;
    virtual std::unique_ptr<CheckBox> AddCheckBox(Rect bounds, std::u16string_view caption,
                                                  bool checked) = 0;
    virtual std::unique_ptr<RadioButton> AddRadioButton(Rect bounds, std::u16string_view caption,
                                                        bool checked) = 0;
    virtual std::unique_ptr<BrowseEdit> AddBrowseEdit(Rect bounds) = 0;
    virtual std::unique_ptr<SpinEdit> AddSpinEdit(Rect bounds) = 0;
    // A separator line along the top edge of `bounds`.
    virtual void AddTopLine(Rect bounds) = 0;
    virtual std::unique_ptr<Picture> AddPicture(Rect bounds) = 0;
    // Fills the rest of the parent and follows its size when `fill` is set.
    virtual std::unique_ptr<ReportList> AddReportList(Rect bounds, bool fill) = 0;
};

struct FormDesign {
    std::u16string caption;
    int clientWidth, clientHeight;
    bool sizeable;  // else a fixed dialog frame with only a close box
    Font font;      // the form's font
    // The application's main form: it has the task-bar button, owns the
    // forms made after it, and closing it ends the program.
    bool main = false;
};

// A top-level form: the main window or a modal dialog. Created hidden and
// centred on the screen.
class Form : public Window, public virtual Container {
  public:
    // Shows the form modally over the application's other windows and runs
    // until EndModal; returns the result (the close box gives Cancel).
    virtual ModalResult ShowModal() = 0;
    virtual void EndModal(ModalResult result) = 0;
    // Enter clicks the default button unless another button has the focus;
    // Escape clicks the cancel button. Either may be null.
    virtual void SetDefaultButton(Button* button) = 0;
    virtual void SetCancelButton(Button* button) = 0;
    // The tab order of the form's controls, first to last.
    virtual void SetTabOrder(const std::vector<Control*>& controls) = 0;

    virtual Placement GetPlacement() const = 0;
    // Moves and sizes the hidden window; from then on it is shown where it
    // was put, not centred.
    virtual void SetPlacement(const Placement& placement) = 0;
    virtual void SetMaximized(bool maximized) = 0;
    // Minimises the application right after the window has come up.
    virtual void PostMinimize() = 0;
    // The application as a whole is minimised.
    virtual bool ApplicationMinimized() const = 0;
};

// Where the window settings are kept: a per-user store of named strings under
// a key and subkey (the registry on Windows).
class SettingsStore {
  public:
    enum class Kind { Missing, String, Other };
    virtual ~SettingsStore() = default;
    // False when the key cannot be opened or made.
    virtual bool Open(std::u16string_view key) = 0;
    virtual Kind Read(std::u16string_view subkey, std::u16string_view name,
                      std::u16string& value) = 0;
    // False when the subkey cannot be made; `failedValue` tells which failed.
    virtual bool Write(std::u16string_view subkey, std::u16string_view name,
                       std::u16string_view value, bool& failedValue) = 0;
};

}  // namespace gui

namespace gui {

// What the forms need of the application beyond the toolkit's basics.
class FormToolkit {
  public:
    virtual std::unique_ptr<Form> CreateForm(WindowEvents& events, const FormDesign& design) = 0;
    // The select-directory dialog: existing folders only, no new folder, no
    // help; starts at `start`. False when cancelled.
    virtual bool SelectDirectory(Window& owner, std::u16string_view start,
                                 std::u16string& chosen) = 0;
    virtual bool DirectoryExists(std::u16string_view path) = 0;
    // The process's error mode; returns the previous one.
    virtual uint32_t SetErrorMode(uint32_t mode) = 0;
    // The system's default beep.
    virtual void Beep() = 0;
    virtual SettingsStore& Settings() = 0;
    virtual int PixelsPerInch() = 0;
    virtual void ScreenSize(int& width, int& height) = 0;
    // The bytes of one of the program's own data resources; empty if missing.
    virtual std::vector<uint8_t> ResourceData(int id) = 0;

  protected:
    ~FormToolkit() = default;
};

}  // namespace gui
