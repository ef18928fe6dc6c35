// Forms: top-level windows with controls, their modal loop and their
// keyboard interface.
#include "gui/forms_win.h"

#include <map>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/wide.h"

namespace gui::win {
namespace {

constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED, newer than some headers

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

// The forms made after the main form are owned by it; PostMinimize and
// ApplicationMinimized speak of it.
std::weak_ptr<FormState>& MainForm() {
    static std::weak_ptr<FormState> main;
    return main;
}

class FormClass {
  public:
    FormClass() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = FormProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = static_cast<HICON>(LoadApplicationIcon());
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = kFormClass;
        atom_ = RegisterClassExW(&wc);
        if (!atom_) throw std::runtime_error("Cannot register the form window class");
    }
    ~FormClass() { UnregisterClassW(MAKEINTATOM(atom_), GetModuleHandleW(nullptr)); }
    FormClass(const FormClass&) = delete;
    FormClass& operator=(const FormClass&) = delete;
    ATOM Atom() const { return atom_; }

  private:
    ATOM atom_ = 0;
};

const FormClass& TheFormClass() {
    static const FormClass formClass;
    return formClass;
}

// The state of one of our forms; null for any other window.
FormState* FormOf(HWND hwnd) {
    if (!hwnd || GetClassLongPtrW(hwnd, GCW_ATOM) != TheFormClass().Atom()) return nullptr;
    return reinterpret_cast<FormState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

std::shared_ptr<FormState> Keep(FormState& state) {
    return std::static_pointer_cast<FormState>(state.shared_from_this());
}

// The control to focus when the form comes up, if it is still one of the
// form's and can take the focus.
HWND FocusTarget(const FormState& state) {
    HWND focus = state.focus;
    if (focus && state.hwnd && IsChild(state.hwnd, focus) && IsWindowVisible(focus) &&
        IsWindowEnabled(focus))
        return focus;
    return nullptr;
}

UINT DialogCode(HWND hwnd, MSG* message) {
    return static_cast<UINT>(SendMessageW(hwnd, WM_GETDLGCODE, message ? message->wParam : 0,
                                          reinterpret_cast<LPARAM>(message)));
}

// Focuses a control as a dialog does: an edit's text is selected, so that
// typing replaces it.
void FocusAndSelect(HWND control) {
    ::SetFocus(control);
    if (DialogCode(control, nullptr) & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
}

bool HasClass(HWND hwnd, const wchar_t* className) {
    wchar_t name[64] = {};
    return hwnd && GetClassNameW(hwnd, name, 64) && lstrcmpiW(name, className) == 0;
}

void SetClientSize(HWND hwnd, int width, int height) {
    RECT frame, client;
    GetWindowRect(hwnd, &frame);
    GetClientRect(hwnd, &client);
    int extraWidth = (frame.right - frame.left) - client.right;
    int extraHeight = (frame.bottom - frame.top) - client.bottom;
    SetWindowPos(hwnd, nullptr, 0, 0, width + extraWidth, height + extraHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A label is drawn under the controls it overlaps, as a text painted on
// its parent would be: the About box's paragraph runs into its web button.
void LabelsUnderControls(HWND form) {
    std::vector<HWND> labels;
    EnumChildWindows(
        form,
        [](HWND child, LPARAM found) -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(child, name, 16);
            const LONG_PTR type = GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK;
            if (lstrcmpiW(name, L"Static") == 0 && (type == SS_LEFT || type == SS_LEFTNOWORDWRAP))
                reinterpret_cast<std::vector<HWND>*>(found)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&labels));
    for (HWND label : labels)
        SetWindowPos(label, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Centre(HWND hwnd) {
    RECT frame;
    GetWindowRect(hwnd, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) return;
    const RECT& work = monitor.rcWork;
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(hwnd, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

struct Disabling {
    HWND except;
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableOne(HWND hwnd, LPARAM lparam) {
    auto* disabling = reinterpret_cast<Disabling*>(lparam);
    if (hwnd != disabling->except && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        EnableWindow(hwnd, FALSE);
        disabling->disabled.push_back(hwnd);
    }
    return TRUE;
}

// A modal form leaves the user nothing else of the program to work with:
// the main form (even while it waits hidden in the notification area) and
// whatever else of the thread is on the screen.
std::vector<HWND> DisableOthers(HWND modal) {
    Disabling disabling{modal, {}};
    if (auto main = MainForm().lock()) {
        if (main->hwnd && main->hwnd != modal && IsWindowEnabled(main->hwnd)) {
            EnableWindow(main->hwnd, FALSE);
            disabling.disabled.push_back(main->hwnd);
        }
    }
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabling));
    return disabling.disabled;
}

class Win32Form final : public ContainerOf<Form>, public StatefulWindow {
  public:
    Win32Form(Toolkit& toolkit, WindowEvents& events, const FormDesign& design)
        : state_(std::make_shared<FormState>(toolkit, events, design)) {
        TheFormClass();
        DWORD style =
            WS_CLIPCHILDREN | (design.sizeable ? WS_OVERLAPPEDWINDOW : WS_CAPTION | WS_SYSMENU);
        DWORD exStyle = WS_EX_CONTROLPARENT | (design.sizeable ? 0 : WS_EX_DLGMODALFRAME) |
                        (design.main ? WS_EX_APPWINDOW : 0);
        HWND owner = nullptr;
        if (auto main = MainForm().lock(); main && !design.main) owner = main->hwnd;
        HWND hwnd = CreateWindowExW(exStyle, kFormClass, platform::AsWide(design.caption).c_str(), style,
                                    CW_USEDEFAULT, CW_USEDEFAULT, 200, 200, owner, nullptr,
                                    GetModuleHandleW(nullptr), state_.get());
        if (!hwnd) throw std::runtime_error("Cannot create a form");
        if (design.main) MainForm() = state_;
        state_->font.Reset(CreateFormFont(*state_, {}));
        SetClientSize(hwnd, Scale(hwnd, design.clientWidth), Scale(hwnd, design.clientHeight));
    }

    ~Win32Form() override {
        HWND hwnd = state_->hwnd;
        if (!hwnd) return;
        // Detached first, so that the window procedure neither calls the
        // owner, who is going away, nor ends the message loop.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        state_->hwnd = nullptr;
        state_->timers.clear();
        DestroyWindow(hwnd);
    }

    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;

    std::shared_ptr<WindowState> State() const override { return state_; }
    WindowHandle Handle() const override { return state_->hwnd; }

    void Show() override {
        std::shared_ptr<FormState> state = state_;
        if (!state->hwnd) return;
        bool wasVisible = IsWindowVisible(state->hwnd) != FALSE;
        // Before the window appears, so that what the handler does to it
        // (the saved placement above all) is not seen happening.
        if (!wasVisible) state->toolkit.Guarded([&state] { state->events.OnShow(); });
        HWND hwnd = state->hwnd;
        if (!hwnd) return;
        if (!state->shownBefore) LabelsUnderControls(hwnd);
        if (!wasVisible && !state->placed) Centre(hwnd);
        int command = IsIconic(hwnd) ? SW_RESTORE : state->maximized ? SW_SHOWMAXIMIZED : SW_SHOW;
        ShowWindow(hwnd, command);
        SetForegroundWindow(hwnd);
        if (!wasVisible) {
            HWND target = FocusTarget(*state);
            if (!target && !state->shownBefore) target = FirstTabStop(hwnd);
            if (target) FocusAndSelect(target);
        }
        state->shownBefore = true;
    }

    void Hide() override {
        if (state_->hwnd) ShowWindow(state_->hwnd, SW_HIDE);
    }

    bool Visible() const override { return state_->hwnd && IsWindowVisible(state_->hwnd); }

    ModalResult ShowModal() override {
        std::shared_ptr<FormState> state = state_;
        if (!state->hwnd) return ModalResult::Cancel;
        std::vector<HWND> disabled = DisableOthers(state->hwnd);
        bool outerModal = state->inModal;
        state->inModal = true;
        state->result = ModalResult::None;
        Show();
        MSG message{};
        while (state->hwnd && state->result == ModalResult::None) {
            BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got <= 0) {
                // The program's own loop must see the quit request too.
                if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (PreTranslate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        // Enabled again before the form goes, so that the system hands the
        // activation back to the window the user came from.
        for (HWND hwnd : disabled)
            if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
        if (state->hwnd) ShowWindow(state->hwnd, SW_HIDE);
        state->inModal = outerModal;
        ModalResult result =
            state->result == ModalResult::None ? ModalResult::Cancel : state->result;
        state->result = ModalResult::None;
        return result;
    }

    void EndModal(ModalResult result) override { state_->result = result; }

    void SetDefaultButton(Button* button) override {
        state_->defaultButton = dynamic_cast<NativeControl*>(button);
        Emphasise(*state_, state_->defaultButton ? state_->defaultButton->Handle() : nullptr);
    }

    void SetCancelButton(Button* button) override {
        state_->cancelButton = dynamic_cast<NativeControl*>(button);
    }

    void SetTabOrder(const std::vector<Control*>& controls) override {
        HWND form = state_->hwnd;
        if (!form) return;
        // The tab order is the order of the siblings; a control on a panel
        // takes its panel along to the place it needs among the form's.
        std::map<HWND, HWND> lastOf;  // parent -> the child placed last
        std::set<HWND> placed;
        for (Control* control : controls) {
            auto* native = dynamic_cast<NativeControl*>(control);
            HWND node = native ? native->Handle() : nullptr;
            while (node && node != form && !placed.count(node)) {
                HWND parent = GetParent(node);
                auto last = lastOf.find(parent);
                SetWindowPos(node, last == lastOf.end() ? HWND_TOP : last->second, 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                lastOf[parent] = node;
                placed.insert(node);
                node = parent;
            }
        }
    }

    Placement GetPlacement() const override {
        Placement placement;
        WINDOWPLACEMENT native{};
        native.length = sizeof native;
        if (!state_->hwnd || !GetWindowPlacement(state_->hwnd, &native)) return placement;
        placement.flags = native.flags;
        placement.showCmd = native.showCmd;
        placement.minX = native.ptMinPosition.x;
        placement.minY = native.ptMinPosition.y;
        placement.maxX = native.ptMaxPosition.x;
        placement.maxY = native.ptMaxPosition.y;
        placement.left = native.rcNormalPosition.left;
        placement.top = native.rcNormalPosition.top;
        placement.right = native.rcNormalPosition.right;
        placement.bottom = native.rcNormalPosition.bottom;
        return placement;
    }

    void SetPlacement(const Placement& placement) override {
        if (!state_->hwnd) return;
        WINDOWPLACEMENT native{};
        native.length = sizeof native;
        native.flags = placement.flags;
        native.showCmd = placement.showCmd;
        native.ptMinPosition = {placement.minX, placement.minY};
        native.ptMaxPosition = {placement.maxX, placement.maxY};
        native.rcNormalPosition = {placement.left, placement.top, placement.right,
                                   placement.bottom};
        SetWindowPlacement(state_->hwnd, &native);
        state_->placed = true;
    }

    void SetMaximized(bool maximized) override {
        state_->maximized = maximized;
        if (Visible()) ShowWindow(state_->hwnd, maximized ? SW_MAXIMIZE : SW_RESTORE);
    }

    void PostMinimize() override {
        auto main = MainForm().lock();
        HWND target = main && main->hwnd ? main->hwnd : state_->hwnd;
        if (target) PostMessageW(target, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    }

    bool ApplicationMinimized() const override {
        auto main = MainForm().lock();
        HWND target = main && main->hwnd ? main->hwnd : state_->hwnd;
        return target && IsIconic(target);
    }

  protected:
    Parent Where() const override { return {state_, state_->hwnd}; }

  private:
    std::shared_ptr<FormState> state_;
};

// Parents come before their children, so that what fills a panel sees the
// panel's new size.
BOOL CALLBACK RescaleChild(HWND hwnd, LPARAM) {
    if (NativeControl* control = NativeControl::Of(hwnd)) control->OnDpiChanged();
    return TRUE;
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message == WM_NCCREATE) {
        auto* created = reinterpret_cast<CREATESTRUCTW*>(lparam);
        auto* state = static_cast<FormState*>(created->lpCreateParams);
        state->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    }
    auto* state = reinterpret_cast<FormState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!state) return DefWindowProcW(hwnd, message, wparam, lparam);

    switch (message) {
        case WM_CLOSE: {
            std::shared_ptr<FormState> kept = Keep(*state);
            if (kept->design.main) {
                kept->toolkit.Guarded([&kept] { kept->events.OnClose(); });
                if (kept->hwnd) DestroyWindow(kept->hwnd);
            } else if (kept->inModal) {
                kept->result = ModalResult::Cancel;
            } else {
                // Dialogs are made once and shown again: closing hides.
                kept->toolkit.Guarded([&kept] { kept->events.OnClose(); });
                if (kept->hwnd) ShowWindow(kept->hwnd, SW_HIDE);
            }
            return 0;
        }
        case WM_QUERYENDSESSION:
            return TRUE;  // nothing here holds up the end of a session
        case WM_ENDSESSION:
            if (wparam && state->design.main) {
                std::shared_ptr<FormState> kept = Keep(*state);
                kept->toolkit.Guarded([&kept] { kept->events.OnEndSession(); });
            }
            return 0;
        case WM_DESTROY: {
            std::shared_ptr<FormState> kept = Keep(*state);
            kept->toolkit.Guarded([&kept] { kept->events.OnDestroy(); });
            if (kept->design.main) PostQuitMessage(0);
            return 0;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            state->hwnd = nullptr;
            state->focus = nullptr;
            state->timers.clear();
            break;
        case WM_ACTIVATE:
            // A plain window forgets its focused control when the user
            // switches away; a form brings it back, as dialogs do.
            if (LOWORD(wparam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd, focus)) state->focus = focus;
            } else if (!HIWORD(wparam)) {
                HWND target = FocusTarget(*state);
                if (!target) target = FirstTabStop(hwnd);
                if (target) {
                    ::SetFocus(target);
                    return 0;
                }
            }
            break;
        case WM_SETFOCUS: {
            HWND target = FocusTarget(*state);
            if (!target) target = FirstTabStop(hwnd);
            if (target) ::SetFocus(target);
            return 0;
        }
        case kDpiChangedMessage: {
            // The old font stays until no control uses it any longer.
            GdiObject<HFONT> oldFont(state->font.Release());
            state->font.Reset(CreateFormFont(*state, {}));
            EnumChildWindows(hwnd, RescaleChild, 0);
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        default:
            if (HandleSharedMessage(*state, message, wparam, lparam)) return 0;
            break;
    }
    LRESULT result = 0;
    if (HandleChildMessages(hwnd, message, wparam, lparam, result)) return result;
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Tab and Shift+Tab through the form's tab stops, into panels.
bool Tab(HWND form, HWND focus, MSG& message) {
    if (GetKeyState(VK_CONTROL) < 0) return false;
    if (focus && focus != form && (DialogCode(focus, &message) & (DLGC_WANTTAB | DLGC_WANTALLKEYS)))
        return false;
    bool back = GetKeyState(VK_SHIFT) < 0;
    HWND next = GetNextDlgTabItem(form, focus == form ? nullptr : focus, back);
    if (!next) return true;
    FocusAndSelect(next);
    return true;
}

// The arrow keys move within a group of buttons; a radio button that gets
// the focus so is checked.
bool Arrow(HWND form, HWND focus, MSG& message) {
    if (!focus || focus == form) return false;
    UINT code = DialogCode(focus, &message);
    if (!(code & DLGC_BUTTON) || (code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS))) return false;
    bool back = message.wParam == VK_LEFT || message.wParam == VK_UP;
    HWND next = GetNextDlgGroupItem(form, focus, back);
    if (!next || next == focus) return true;
    ::SetFocus(next);
    if ((DialogCode(next, nullptr) & DLGC_RADIOBUTTON) &&
        (GetWindowLongPtrW(next, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
        SendMessageW(next, BM_GETCHECK, 0, 0) != BST_CHECKED)
        SendMessageW(next, BM_CLICK, 0, 0);
    return true;
}

}  // namespace

bool PreTranslate(MSG& message) {
    if (message.message != WM_KEYDOWN || !message.hwnd) return false;
    HWND form = GetAncestor(message.hwnd, GA_ROOT);
    FormState* found = FormOf(form);
    if (!found) return false;
    std::shared_ptr<FormState> state = Keep(*found);
    HWND focus = GetFocus();
    if (focus && focus != form && !IsChild(form, focus)) focus = nullptr;
    // The list's in-place editor takes its own Enter and Escape.
    if (focus && HasClass(GetParent(focus), WC_LISTVIEWW)) return false;
    switch (message.wParam) {
        case VK_TAB:
            return Tab(form, focus, message);
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
            return Arrow(form, focus, message);
        case VK_RETURN: {
            // A focused push button takes Enter itself.
            NativeControl* focused = focus ? NativeControl::Of(focus) : nullptr;
            if (focused && focused->Press()) return true;
            return state->defaultButton && state->defaultButton->Press();
        }
        case VK_ESCAPE:
            return state->cancelButton && state->cancelButton->Press();
        default:
            return false;
    }
}

std::unique_ptr<Form> CreateForm(Toolkit& toolkit, WindowEvents& events, const FormDesign& design) {
    return std::make_unique<Win32Form>(toolkit, events, design);
}

}  // namespace gui::win
