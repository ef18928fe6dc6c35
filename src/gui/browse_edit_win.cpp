// The browse edit: an edit with a browse button of ours inside its right end.
#include <algorithm>
#include <functional>
#include <utility>

#include "gui/forms_win.h"
#include "platform/wide.h"

namespace gui::win {
namespace {

const wchar_t* InnerButtonClass() {
    static const PlainWindowClass buttonClass(L"TValmorinBrowseButton", COLOR_BTNFACE);
    return buttonClass.Name();
}

// The browse button inside the edit's right end. It never takes the focus,
// so that the edit keeps it while the user browses.
class BrowseButton final : public NativeControl {
  public:
    BrowseButton(const std::shared_ptr<FormState>& form, HWND edit, std::function<void()> onPress)
        : NativeControl(form, edit, InnerButtonClass(), u"", 0, 0, {0, 0, 0, 0}),
          onPress_(std::move(onPress)) {}
    ~BrowseButton() override { DestroyHandle(); }

    // The edit places the button.
    void OnDpiChanged() override {}

    void Layout(int side, int right) {
        if (!Handle()) return;
        SetWindowPos(Handle(), nullptr, right - side, 0, side, side, SWP_NOZORDER | SWP_NOACTIVATE);
        icon_ = std::make_unique<OwnedIcon>(
            LoadGlyph(Glyph::Folder, std::min(Scaled(16), std::max(side - 4, 8))));
        InvalidateRect(Handle(), nullptr, TRUE);
    }

  protected:
    bool OnMessage(UINT message, WPARAM, LPARAM lparam, LRESULT& result) override {
        switch (message) {
            case WM_LBUTTONDOWN:
                pressed_ = down_ = true;
                SetCapture(Handle());
                InvalidateRect(Handle(), nullptr, FALSE);
                return Handled(result);
            case WM_MOUSEMOVE:
                if (pressed_ && Inside(lparam) != down_) {
                    down_ = !down_;
                    InvalidateRect(Handle(), nullptr, FALSE);
                }
                return Handled(result);
            case WM_LBUTTONUP: {
                bool click = pressed_ && Inside(lparam);
                if (pressed_) ReleaseCapture();
                End();
                if (click) onPress_();
                return Handled(result);
            }
            case WM_CAPTURECHANGED:
                End();
                return Handled(result);
            case WM_ERASEBKGND:
                result = 1;
                return true;
            case WM_PAINT:
                Paint();
                return Handled(result);
            default:
                return false;
        }
    }

  private:
    static bool Handled(LRESULT& result) {
        result = 0;
        return true;
    }

    bool Inside(LPARAM lparam) const {
        RECT client;
        GetClientRect(Handle(), &client);
        POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        return PtInRect(&client, point) != FALSE;
    }

    void End() {
        if (!pressed_) return;
        pressed_ = down_ = false;
        if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
    }

    void Paint() {
        PaintDc dc(Handle());
        RECT client;
        GetClientRect(Handle(), &client);
        DrawFrameControl(dc.Get(), &client, DFC_BUTTON,
                         DFCS_BUTTONPUSH | (down_ ? DFCS_PUSHED : 0));
        if (!icon_ || !icon_->Get()) return;
        ICONINFO info{};
        int size = Scaled(16);
        if (GetIconInfo(icon_->Get(), &info)) {
            BITMAP bitmap{};
            if (GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap))
                size = bitmap.bmWidth;
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
        }
        int shift = down_ ? 1 : 0;
        DrawIconEx(dc.Get(), (client.right - size) / 2 + shift, (client.bottom - size) / 2 + shift,
                   icon_->Get(), size, size, 0, nullptr, DI_NORMAL);
    }

    std::function<void()> onPress_;
    std::unique_ptr<OwnedIcon> icon_;
    bool pressed_ = false;  // pressed and captured
    bool down_ = false;     // drawn pressed: the pointer is over it
};

class Win32BrowseEdit final : public ControlBase<BrowseEdit> {
  public:
    Win32BrowseEdit(const Parent& parent, Rect bounds)
        : ControlBase(parent.form, parent.hwnd, L"EDIT", u"",
                      kFocusable | ES_AUTOHSCROLL | WS_CLIPCHILDREN, WS_EX_CLIENTEDGE, bounds),
          button_(parent.form, Handle(), [this] { Browse(); }) {
        Layout();
    }
    ~Win32BrowseEdit() override { DestroyHandle(); }

    std::u16string Text() const override { return TextOf(Handle()); }

    void OnDpiChanged() override {
        ControlBase::OnDpiChanged();
        Layout();
    }
    void SetText(std::u16string_view text) override {
        if (Handle()) SetWindowTextW(Handle(), platform::AsWide(text).c_str());
    }

  protected:
    bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        if (message == WM_SYSKEYDOWN && wparam == VK_DOWN && (lparam & (1 << 29))) {
            Browse();
            result = 0;
            return true;
        }
        if (message == WM_SIZE) {
            result = Default(message, wparam, lparam);
            Layout();
            return true;
        }
        return false;
    }

  private:
    void Browse() { Raise(onBrowse); }

    void Layout() {
        int side, right;
        if (InnerButtonPlace(Handle(), side, right)) button_.Layout(side, right);
    }

    BrowseButton button_;
};

}  // namespace

std::unique_ptr<BrowseEdit> AddBrowseEditTo(const Parent& parent, Rect bounds) {
    return std::make_unique<Win32BrowseEdit>(parent, bounds);
}

}  // namespace gui::win
