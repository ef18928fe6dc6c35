// What every control of a form shares: its window's subclass, the routing of
// notifications to it, fonts, glyphs and the tab stops.
#include <stdexcept>
#include <utility>

#include "gui/forms_win.h"
#include "gui/toolkit_win.h"
#include "platform/wide.h"

namespace gui {
namespace {

GlyphResources glyphResources{};

}  // namespace

void SetGlyphResources(const GlyphResources& ids) {
    glyphResources = ids;
}

}  // namespace gui

namespace gui::win {
namespace {

constexpr UINT_PTR kSubclassId = 0x56414C;
// The window property that leads from a control's window to its object.
constexpr wchar_t kControlProperty[] = L"Valmorin.Control";

bool IsPushButton(HWND hwnd) {
    return (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) &
            (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

}  // namespace

void Emphasise(FormState& form, HWND button) {
    if (form.emphasised == button) return;
    if (form.emphasised) SendMessageW(form.emphasised, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    form.emphasised = button;
    if (button) SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

HFONT CreateFormFont(const FormState& form, const Font& font) {
    std::u16string face = font.face.empty() ? form.design.font.face : font.face;
    int height = font.height ? font.height : form.design.font.height;
    if (face.empty() && height == 0 && !font.bold) return nullptr;
    if (height == 0) height = 11;
    return CreateFontW(-Scale(form.hwnd, height), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                       FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       platform::AsWide(face).c_str());
}

NativeControl::NativeControl(std::shared_ptr<FormState> form, HWND parent, const wchar_t* className,
                             std::u16string_view text, DWORD style, DWORD exStyle, Rect bounds)
    : form_(std::move(form)), bounds_(bounds) {
    if (!parent) throw std::logic_error("The parent window is gone");
    static UINT_PTR lastId = 1000;
    hwnd_ = CreateWindowExW(exStyle, className, platform::AsWide(text).c_str(),
                            WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(++lastId), GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) throw std::runtime_error("Cannot create a control");
    if (!SetWindowSubclass(hwnd_, Subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) ||
        !SetPropW(hwnd_, kControlProperty, this)) {
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        throw std::runtime_error("Cannot subclass a control");
    }
    HFONT font = form_->font.Get() ? form_->font.Get()
                                   : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(hwnd_, nullptr, Scaled(bounds.left), Scaled(bounds.top), Scaled(bounds.width),
                 Scaled(bounds.height), SWP_NOZORDER | SWP_NOACTIVATE);
}

NativeControl::~NativeControl() {
    DestroyHandle();
    if (form_->defaultButton == this) form_->defaultButton = nullptr;
    if (form_->cancelButton == this) form_->cancelButton = nullptr;
}

void NativeControl::DestroyHandle() {
    HWND hwnd = hwnd_;
    if (!hwnd) return;
    Detach();
    DestroyWindow(hwnd);
}

void NativeControl::Detach() {
    RemoveWindowSubclass(hwnd_, Subclass, kSubclassId);
    RemovePropW(hwnd_, kControlProperty);
    if (form_->focus == hwnd_) form_->focus = nullptr;
    if (form_->emphasised == hwnd_) form_->emphasised = nullptr;
    hwnd_ = nullptr;
}

// As in the system's dialogs, the button that Enter would press looks it: a
// push button with the focus, else the form's default button.
void NativeControl::FollowFocus() {
    HWND button = hwnd_;
    if (!IsPushButton(hwnd_))
        button = form_->defaultButton ? form_->defaultButton->Handle() : nullptr;
    Emphasise(*form_, button);
}

NativeControl* NativeControl::Of(HWND hwnd) {
    // Windows of other threads are none of ours, whatever their properties.
    if (!hwnd || GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) return nullptr;
    return static_cast<NativeControl*>(GetPropW(hwnd, kControlProperty));
}

LRESULT NativeControl::Default(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefSubclassProc(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK NativeControl::Subclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR, DWORD_PTR data) noexcept {
    auto* self = reinterpret_cast<NativeControl*>(data);
    if (message == WM_NCDESTROY) {
        self->Detach();
        return DefSubclassProc(hwnd, message, wparam, lparam);
    }
    if (message == WM_SETFOCUS) self->FollowFocus();
    LRESULT result = 0;
    if (self->OnMessage(message, wparam, lparam, result)) return result;
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

void NativeControl::OnDpiChanged() {
    if (!hwnd_) return;
    HFONT font = form_->font.Get() ? form_->font.Get()
                                   : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(hwnd_, nullptr, Scaled(bounds_.left), Scaled(bounds_.top), Scaled(bounds_.width),
                 Scaled(bounds_.height), SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void NativeControl::TakeFocus() {
    if (!hwnd_) return;
    form_->focus = hwnd_;
    if (form_->hwnd && IsWindowVisible(form_->hwnd)) ::SetFocus(hwnd_);
}

bool NativeControl::HasFocus() const {
    if (!hwnd_) return false;
    if (form_->hwnd && IsWindowVisible(form_->hwnd)) return GetFocus() == hwnd_;
    return form_->focus == hwnd_;
}

void NativeControl::Raise(std::function<void()> handler) const {
    if (!handler) return;
    Toolkit& toolkit = form_->toolkit;
    toolkit.Guarded(handler);
}

PlainWindowClass::PlainWindowClass(const wchar_t* name, int backgroundColour) : name_(name) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(backgroundColour + 1));
    wc.lpszClassName = name;
    atom_ = RegisterClassExW(&wc);
    if (!atom_) throw std::runtime_error("Cannot register a control class");
}

PlainWindowClass::~PlainWindowClass() {
    UnregisterClassW(MAKEINTATOM(atom_), GetModuleHandleW(nullptr));
}

std::u16string TextOf(HWND hwnd) {
    if (!hwnd) return {};
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return platform::FromWide(text);
}

HICON LoadGlyph(Glyph glyph, int size) {
    const int id = glyphResources[static_cast<size_t>(glyph)];
    if (glyph == Glyph::None || !id) return nullptr;
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

bool InnerButtonPlace(HWND edit, int& side, int& right) {
    if (!edit) return false;
    RECT client;
    GetClientRect(edit, &client);
    side = client.bottom;
    right = client.right;
    SendMessageW(edit, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, side + 1));
    return true;
}

bool HandleChildMessages(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND:
            if (NativeControl* control = NativeControl::Of(reinterpret_cast<HWND>(lparam))) {
                result = 0;
                return control->OnCommand(HIWORD(wparam));
            }
            return false;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lparam);
            if (NativeControl* control = NativeControl::Of(header->hwndFrom))
                return control->OnNotify(*header, result);
            return false;
        }
        case WM_SIZE:
            if (wparam == SIZE_MINIMIZED) return false;
            for (HWND child = GetWindow(hwnd, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT))
                if (NativeControl* control = NativeControl::Of(child))
                    control->OnParentSize(LOWORD(lparam), HIWORD(lparam));
            return false;
        default:
            return false;
    }
}

HWND FirstTabStop(HWND hwnd) {
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child) || !IsWindowEnabled(child)) continue;
        LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (style & WS_TABSTOP) return child;
        if (GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT)
            if (HWND inner = FirstTabStop(child)) return inner;
    }
    return nullptr;
}

}  // namespace gui::win
