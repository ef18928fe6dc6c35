// The spin edit: a right-aligned edit with a diagonal spin button of ours
// inside its right end.
#include <functional>
#include <utility>

#include "gui/forms_win.h"
#include "platform/wide.h"

namespace gui::win {
namespace {

constexpr UINT_PTR kRepeatTimer = 1;

const wchar_t* SpinButtonClass() {
    static const PlainWindowClass buttonClass(L"TValmorinSpinButton", COLOR_BTNFACE);
    return buttonClass.Name();
}

// Selects the stock DC brush and pen into a device context for as long as
// it lives, so that shapes can be filled and drawn in any colour without
// making GDI objects.
class DcColours {
  public:
    explicit DcColours(HDC dc)
        : dc_(dc),
          brush_(SelectObject(dc, GetStockObject(DC_BRUSH))),
          pen_(SelectObject(dc, GetStockObject(DC_PEN))) {}
    ~DcColours() {
        SelectObject(dc_, brush_);
        SelectObject(dc_, pen_);
    }
    DcColours(const DcColours&) = delete;
    DcColours& operator=(const DcColours&) = delete;
    void Use(int colour) {
        SetDCBrushColor(dc_, GetSysColor(colour));
        SetDCPenColor(dc_, GetSysColor(colour));
    }

  private:
    HDC dc_;
    HGDIOBJ brush_, pen_;
};

// The button: two halves split along the diagonal from the lower-left to
// the upper-right corner. It never takes the focus; a press puts the focus
// into the edit instead.
class SpinButton final : public NativeControl {
  public:
    SpinButton(const std::shared_ptr<FormState>& form, HWND edit, std::function<void()> onPress,
               std::function<void(int)> onStep)
        : NativeControl(form, edit, SpinButtonClass(), u"", 0, 0, {0, 0, 0, 0}),
          onPress_(std::move(onPress)),
          onStep_(std::move(onStep)) {}
    ~SpinButton() override { DestroyHandle(); }

    // The edit places the button.
    void OnDpiChanged() override {}

    void Layout(int side, int right) {
        if (Handle())
            SetWindowPos(Handle(), nullptr, right - side, 0, side, side,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }

  protected:
    bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        result = 0;
        switch (message) {
            case WM_LBUTTONDOWN: {
                HWND hwnd = Handle();
                up_ = UpHalf(lparam);
                pressed_ = over_ = true;
                firstRepeat_ = true;
                SetCapture(hwnd);
                InvalidateRect(hwnd, nullptr, FALSE);
                onPress_();
                // The handlers may have ended the press, or the control.
                if (Handle() == hwnd && pressed_)
                    SetTimer(hwnd, kRepeatTimer, kSpinFirstRepeatMs, nullptr);
                onStep_(up_ ? 1 : -1);
                return true;
            }
            case WM_MOUSEMOVE:
                if (pressed_) {
                    bool over = Inside(lparam) && UpHalf(lparam) == up_;
                    if (over != over_) {
                        over_ = over;
                        InvalidateRect(Handle(), nullptr, FALSE);
                    }
                }
                return true;
            case WM_TIMER:
                if (wparam != kRepeatTimer) return false;
                if (!pressed_) {
                    KillTimer(Handle(), kRepeatTimer);
                    return true;
                }
                if (firstRepeat_) {
                    firstRepeat_ = false;
                    SetTimer(Handle(), kRepeatTimer, kSpinRepeatMs, nullptr);
                }
                if (over_) onStep_(up_ ? 1 : -1);
                return true;
            case WM_LBUTTONUP:
                if (pressed_) ReleaseCapture();
                End();
                return true;
            case WM_CAPTURECHANGED:
                End();
                return true;
            case WM_ERASEBKGND:
                result = 1;
                return true;
            case WM_PAINT:
                Paint();
                return true;
            default:
                return false;
        }
    }

  private:
    static POINT PointOf(LPARAM lparam) {
        return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    }

    bool UpHalf(LPARAM lparam) const {
        RECT client;
        GetClientRect(Handle(), &client);
        POINT point = PointOf(lparam);
        return SpinUpHalf(point.x, point.y, client.right, client.bottom);
    }

    bool Inside(LPARAM lparam) const {
        RECT client;
        GetClientRect(Handle(), &client);
        return PtInRect(&client, PointOf(lparam)) != FALSE;
    }

    void End() {
        if (!pressed_) return;
        pressed_ = false;
        if (!Handle()) return;
        KillTimer(Handle(), kRepeatTimer);
        InvalidateRect(Handle(), nullptr, FALSE);
    }

    void Paint() {
        PaintDc painting(Handle());
        HDC dc = painting.Get();
        RECT client;
        GetClientRect(Handle(), &client);
        int w = client.right, h = client.bottom;
        {
            DcColours colours(dc);
            colours.Use(COLOR_BTNFACE);
            Rectangle(dc, 0, 0, w, h);
            bool downHeld = pressed_ && over_;
            if (downHeld) {
                // The held half looks pressed in.
                colours.Use(COLOR_BTNSHADOW);
                POINT upper[] = {{0, 0}, {w, 0}, {0, h}};
                POINT lower[] = {{w, 0}, {w, h}, {0, h}};
                Polygon(dc, up_ ? upper : lower, 3);
            }
            colours.Use(COLOR_BTNSHADOW);
            MoveToEx(dc, 0, h - 1, nullptr);
            LineTo(dc, w - 1, 0);
            colours.Use(COLOR_BTNHIGHLIGHT);
            MoveToEx(dc, 1, h - 1, nullptr);
            LineTo(dc, w - 1, 1);
            int arm = w / 7 > 1 ? w / 7 : 2;
            colours.Use(downHeld && up_ ? COLOR_BTNHIGHLIGHT : COLOR_BTNTEXT);
            POINT upArrow[] = {{w * 3 / 10 - arm, h * 3 / 10 + arm / 2},
                               {w * 3 / 10 + arm, h * 3 / 10 + arm / 2},
                               {w * 3 / 10, h * 3 / 10 - arm / 2 - 1}};
            Polygon(dc, upArrow, 3);
            colours.Use(downHeld && !up_ ? COLOR_BTNHIGHLIGHT : COLOR_BTNTEXT);
            POINT downArrow[] = {{w * 7 / 10 - arm, h * 7 / 10 - arm / 2},
                                 {w * 7 / 10 + arm, h * 7 / 10 - arm / 2},
                                 {w * 7 / 10, h * 7 / 10 + arm / 2 + 1}};
            Polygon(dc, downArrow, 3);
        }
        DrawEdge(dc, &client, EDGE_RAISED, BF_RECT);
    }

    std::function<void()> onPress_;
    std::function<void(int)> onStep_;
    bool pressed_ = false;  // held down, with the capture
    bool up_ = false;       // the press began on the upper half
    bool over_ = false;     // the pointer is over the half the press began on
    bool firstRepeat_ = false;
};

class Win32SpinEdit final : public ControlBase<SpinEdit> {
  public:
    Win32SpinEdit(const Parent& parent, Rect bounds)
        : ControlBase(parent.form, parent.hwnd, L"EDIT", u"",
                      kFocusable | ES_RIGHT | ES_AUTOHSCROLL | WS_CLIPCHILDREN, WS_EX_CLIENTEDGE,
                      bounds),
          button_(
              parent.form, Handle(), [this] { TakeFocus(); },
              [this](int direction) { Step(direction); }) {
        Layout();
    }
    ~Win32SpinEdit() override { DestroyHandle(); }

    std::u16string Text() const override { return TextOf(Handle()); }

    void OnDpiChanged() override {
        ControlBase::OnDpiChanged();
        Layout();
    }

    void PutText(std::u16string_view text) override {
        if (!Handle()) return;
        putting_ = true;
        SetWindowTextW(Handle(), platform::AsWide(text).c_str());
        putting_ = false;
    }

    bool OnCommand(WORD code) override {
        if (code != EN_CHANGE) return false;
        if (!putting_) Raise(onEdited);
        return true;
    }

  protected:
    bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        switch (message) {
            case WM_CHAR: {
                if (!onChar) return false;
                std::function<bool(char16_t)> handler = onChar;
                bool accepted = false;
                Raise([&] { accepted = handler(static_cast<char16_t>(wparam)); });
                result = 0;
                return !accepted;
            }
            case WM_PASTE:
                Raise(onPasting);
                result = Default(message, wparam, lparam);
                Raise(onPasted);
                return true;
            case WM_KEYDOWN:
                if (wparam != VK_UP && wparam != VK_DOWN) return false;
                Step(wparam == VK_UP ? 1 : -1);
                result = 0;
                return true;
            case WM_KILLFOCUS: {
                result = Default(message, wparam, lparam);
                // Only a move to another control of the form is a leave;
                // the user switching to another program is none.
                auto to = reinterpret_cast<HWND>(wparam);
                if (to && to != button_.Handle() && Handle() &&
                    GetAncestor(to, GA_ROOT) == GetAncestor(Handle(), GA_ROOT))
                    Raise(onLeave);
                return true;
            }
            case WM_SIZE:
                result = Default(message, wparam, lparam);
                Layout();
                return true;
            default:
                return false;
        }
    }

  private:
    void Step(int direction) {
        std::function<void(int)> handler = onStep;
        if (handler) Raise([&handler, direction] { handler(direction); });
    }

    void Layout() {
        int side, right;
        if (InnerButtonPlace(Handle(), side, right)) button_.Layout(side, right);
    }

    bool putting_ = false;
    SpinButton button_;
};

}  // namespace

std::unique_ptr<SpinEdit> AddSpinEditTo(const Parent& parent, Rect bounds) {
    return std::make_unique<Win32SpinEdit>(parent, bounds);
}

}  // namespace gui::win
