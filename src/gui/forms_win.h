// What the Win32 forms and their controls share. Windows code only; portable
// code sees controls.h.
#pragma once

// clang-format off
#include "gui/window_win.h"  // windows.h, before commctrl.h
// clang-format on

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "gui/controls.h"
#include "gui/form_class_win.h"

namespace gui::win {

// A GDI object (font, bitmap, brush) deleted with the object.
template <class Handle>
class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    void Reset(Handle handle = nullptr) {
        if (handle_) DeleteObject(handle_);
        handle_ = handle;
    }
    Handle Get() const { return handle_; }
    Handle Release() {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }

  private:
    Handle handle_ = nullptr;
};

class OwnedIcon {
  public:
    OwnedIcon() = default;
    explicit OwnedIcon(HICON icon) : icon_(icon) {}
    ~OwnedIcon() {
        if (icon_) DestroyIcon(icon_);
    }
    OwnedIcon(const OwnedIcon&) = delete;
    OwnedIcon& operator=(const OwnedIcon&) = delete;
    HICON Get() const { return icon_; }

  private:
    HICON icon_ = nullptr;
};

// The styles of controls that take the focus and stand alone: each its own
// group, so that the arrow keys stay within radio groups.
constexpr DWORD kFocusable = WS_TABSTOP | WS_GROUP;

// A paint cycle's device context.
class PaintDc {
  public:
    explicit PaintDc(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &paint_); }
    ~PaintDc() { EndPaint(hwnd_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A window's device context outside painting.
class WindowDc {
  public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

class NativeControl;

// A form as its window procedure and its controls see it.
struct FormState final : WindowState {
    FormState(Toolkit& toolkit, WindowEvents& events, const FormDesign& design)
        : WindowState(toolkit, events), design(design) {}

    FormDesign design;
    GdiObject<HFONT> font;
    bool placed = false;     // SetPlacement was called: no centring
    bool maximized = false;  // shown maximised
    bool shownBefore = false;
    bool inModal = false;
    ModalResult result = ModalResult::None;
    NativeControl* defaultButton = nullptr;
    NativeControl* cancelButton = nullptr;
    // The push button drawn as the one that Enter presses, if any.
    HWND emphasised = nullptr;
    // The control that gets the focus when the form is shown or activated;
    // cleared when that control goes.
    HWND focus = nullptr;
};

// Draws the button (null: none) as the one that Enter presses, and the one
// drawn so before as an ordinary button again.
void Emphasise(FormState& form, HWND button);

// A font of a form's control, at the form's DPI; the form's face and height
// stand in for what the font leaves empty.
HFONT CreateFormFont(const FormState& form, const Font& font);

// A child window of a form, the system's or ours, subclassed so that it
// learns of its own end and so that its parent can route notifications to it.
// The object and the window may end in either order; once the window is
// gone, Handle() is null.
class NativeControl {
  public:
    NativeControl(const NativeControl&) = delete;
    NativeControl& operator=(const NativeControl&) = delete;

    HWND Handle() const { return hwnd_; }
    FormState& Form() const { return *form_; }
    const std::shared_ptr<FormState>& SharedForm() const { return form_; }

    // The control behind a window of this toolkit; null for any other.
    static NativeControl* Of(HWND hwnd);

    // A WM_COMMAND notification from the control; true when handled.
    virtual bool OnCommand(WORD code) {
        (void)code;
        return false;
    }
    // A WM_NOTIFY from the control; true when handled, with the result.
    virtual bool OnNotify(NMHDR& header, LRESULT& result) {
        (void)header, (void)result;
        return false;
    }
    // Enter or Escape picked it: true when it is a push button and ran.
    virtual bool Press() { return false; }
    // The parent's client area has a new size.
    virtual void OnParentSize(int width, int height) { (void)width, (void)height; }
    // The form moved to a display of another DPI and has its new font: the
    // control takes its place, size and font anew.
    virtual void OnDpiChanged();

  protected:
    NativeControl(std::shared_ptr<FormState> form, HWND parent, const wchar_t* className,
                  std::u16string_view text, DWORD style, DWORD exStyle, Rect bounds);
    virtual ~NativeControl();

    // Every message to the window, before its own procedure; true when
    // handled, with the result.
    virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
        (void)message, (void)wparam, (void)lparam, (void)result;
        return false;
    }
    // The window's own handling of a message, for use in OnMessage.
    LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam);
    // Destroys the window now; derived classes whose members the window
    // uses (fonts, icons, bitmaps) call it first in their destructors.
    void DestroyHandle();
    int Scaled(int length) const { return Scale(hwnd_, length); }
    // Runs an event handler of the control through the toolkit's guard. A
    // copy runs, since the handler may replace itself or end the control.
    void Raise(std::function<void()> handler) const;
    // Focus for a shown form, else the focus it gets when shown.
    void TakeFocus();
    bool HasFocus() const;

  private:
    static LRESULT CALLBACK Subclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR id, DWORD_PTR data) noexcept;
    void Detach();
    void FollowFocus();

    std::shared_ptr<FormState> form_;
    HWND hwnd_ = nullptr;
    Rect bounds_;  // at 96 DPI
};

// A window class of ours whose windows get all their behaviour from the
// controls' subclass; registered for as long as the object lives.
class PlainWindowClass {
  public:
    PlainWindowClass(const wchar_t* name, int backgroundColour);
    ~PlainWindowClass();
    PlainWindowClass(const PlainWindowClass&) = delete;
    PlainWindowClass& operator=(const PlainWindowClass&) = delete;
    const wchar_t* Name() const { return name_; }

  private:
    const wchar_t* name_;
    ATOM atom_ = 0;
};

// The window's text.
std::u16string TextOf(HWND hwnd);

// One of our glyph icons at the size, or null for Glyph::None.
// A glyph's icon at `size` pixels, from the resource the program named for
// it; null for none.
HICON LoadGlyph(Glyph glyph, int size);

// Where a square button inside an edit's right end goes, as high as the
// edit's inside; the edit's text is made to stop short of it. False when the
// edit is gone.
bool InnerButtonPlace(HWND edit, int& side, int& right);

// A portable control interface over a native control.
template <class Interface>
class ControlBase : public Interface, public NativeControl {
  public:
    void SetFocus() override { TakeFocus(); }
    bool Focused() const override { return HasFocus(); }

  protected:
    using NativeControl::NativeControl;
};

// Where a container puts its controls.
struct Parent {
    std::shared_ptr<FormState> form;
    HWND hwnd;  // null once the window is gone
};

std::unique_ptr<Container> AddPanelTo(const Parent& parent, Rect bounds, bool alignTop,
                                      bool bevelled, const Color* background);
std::unique_ptr<Button> AddButtonTo(const Parent& parent, Rect bounds, std::u16string_view caption,
                                    Glyph glyph);
std::unique_ptr<Label> AddLabelTo(const Parent& parent, Rect bounds, std::u16string_view text,
                                  bool wordWrap, const Font& font);
std::unique_ptr<Edit> AddEditTo(const Parent& parent, Rect bounds, std::u16string_view text);
std::unique_ptr<CheckBox> AddCheckBoxTo(const Parent& parent, Rect bounds,
                                        std::u16string_view caption, bool checked);
std::unique_ptr<RadioButton> AddRadioButtonTo(const Parent& parent, Rect bounds,
                                              std::u16string_view caption, bool checked,
                                              bool startsGroup);
std::unique_ptr<BrowseEdit> AddBrowseEditTo(const Parent& parent, Rect bounds);
std::unique_ptr<SpinEdit> AddSpinEditTo(const Parent& parent, Rect bounds);
void AddTopLineTo(const Parent& parent, Rect bounds);
std::unique_ptr<Picture> AddPictureTo(const Parent& parent, Rect bounds);
std::unique_ptr<ReportList> AddReportListTo(const Parent& parent, Rect bounds, bool fill);

// The container interface of a form or a panel over the functions above.
// A template rather than a second base of Container, so that the final
// classes see one overrider per function.
template <class Base>
class ContainerOf : public Base {
  public:
    std::unique_ptr<Container> AddPanel(Rect bounds, bool alignTop, bool bevelled,
                                        const Color* background) override {
        return Added(AddPanelTo(Where(), bounds, alignTop, bevelled, background));
    }
    std::unique_ptr<Button> AddButton(Rect bounds, std::u16string_view caption,
                                      Glyph glyph) override {
        return Added(AddButtonTo(Where(), bounds, caption, glyph));
    }
    std::unique_ptr<Label> AddLabel(Rect bounds, std::u16string_view text, bool wordWrap,
                                    const Font& font) override {
        return Added(AddLabelTo(Where(), bounds, text, wordWrap, font));
    }
    std::unique_ptr<Edit> AddEdit(Rect bounds, std::u16string_view text) override {
        return Added(AddEditTo(Where(), bounds, text));
    }
    std::unique_ptr<CheckBox> AddCheckBox(Rect bounds, std::u16string_view caption,
                                          bool checked) override {
        return Added(AddCheckBoxTo(Where(), bounds, caption, checked));
    }
    std::unique_ptr<RadioButton> AddRadioButton(Rect bounds, std::u16string_view caption,
                                                bool checked) override {
        auto radio = AddRadioButtonTo(Where(), bounds, caption, checked, !lastWasRadio_);
        lastWasRadio_ = true;
        return radio;
    }
    std::unique_ptr<BrowseEdit> AddBrowseEdit(Rect bounds) override {
        return Added(AddBrowseEditTo(Where(), bounds));
    }
    std::unique_ptr<SpinEdit> AddSpinEdit(Rect bounds) override {
        return Added(AddSpinEditTo(Where(), bounds));
    }
    void AddTopLine(Rect bounds) override {
        lastWasRadio_ = false;
        AddTopLineTo(Where(), bounds);
    }
    std::unique_ptr<Picture> AddPicture(Rect bounds) override {
        return Added(AddPictureTo(Where(), bounds));
    }
    std::unique_ptr<ReportList> AddReportList(Rect bounds, bool fill) override {
        return Added(AddReportListTo(Where(), bounds, fill));
    }

  protected:
    virtual Parent Where() const = 0;

  private:
    // Radio buttons made one after another form a group.
    template <class T>
    T Added(T control) {
        lastWasRadio_ = false;
        return control;
    }

    bool lastWasRadio_ = false;
};

// What a form's or a panel's window procedure does for its children: routes
// WM_COMMAND and WM_NOTIFY to the control objects and lays the children out
// on WM_SIZE. True when handled, with the result.
bool HandleChildMessages(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

// The first control of the window's tab order, looking into panels; null
// when there is none.
HWND FirstTabStop(HWND hwnd);

}  // namespace gui::win
