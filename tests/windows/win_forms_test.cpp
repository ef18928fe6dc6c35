// The Win32 forms and their controls against the real system: layout,
// showing, the modal loop, the keyboard interface and each kind of control.
// clang-format off
#include "gui/toolkit_win.h"  // windows.h, before commctrl.h
// clang-format on

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ui/resource_ids.h"
#include "platform/wide.h"
#include "gui/window_win.h"
#include "test_support.h"
#include "ui/about_box.h"
#include "ui/edit_form.h"
#include "win_toolkit_support.h"

namespace {

using namespace std::chrono_literals;
using gui::Form;
using gui::FormDesign;
using gui::Glyph;
using gui::ModalResult;
using test::Narrow;

class FormEvents final : public gui::WindowEvents {
  public:
    void OnShow() override {
        ++shows;
        if (onShow) onShow();
    }
    void OnClose() override { log += "close;"; }
    void OnDestroy() override { log += "destroy;"; }
    void OnTaskbarCreated() override { log += "taskbar;"; }
    void OnUserMessage(uint32_t message, intptr_t lparam) override {
        log += "user " + std::to_string(message) + " " + std::to_string(lparam) + ";";
    }
    int shows = 0;
    std::string log;
    std::function<void()> onShow;
};

// Ends a modal loop that the test failed to end, so that a broken test
// fails instead of hanging.
class Watchdog {
  public:
    explicit Watchdog(Form& form) {
        guarded = &form;
        fired = false;
        id_ = SetTimer(nullptr, 0, 5000, Fire);
    }
    ~Watchdog() {
        KillTimer(nullptr, id_);
        guarded = nullptr;
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    static inline bool fired = false;

  private:
    static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
        fired = true;
        if (guarded) guarded->EndModal(ModalResult::Cancel);
    }
    static inline Form* guarded = nullptr;
    UINT_PTR id_;
};

// Runs an action once, soon, from inside whatever message loop runs then.
class Soon {
  public:
    explicit Soon(std::function<void()> action) {
        pending = std::move(action);
        id_ = SetTimer(nullptr, 0, 50, Fire);
    }
    ~Soon() {
        KillTimer(nullptr, id_);
        pending = nullptr;
    }
    Soon(const Soon&) = delete;
    Soon& operator=(const Soon&) = delete;

  private:
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        std::function<void()> action = std::move(pending);
        pending = nullptr;
        if (action) action();
    }
    static inline std::function<void()> pending;
    UINT_PTR id_;
};

class WinForms : public test::ToolkitTest {
  protected:
    std::unique_ptr<Form> NewForm(FormEvents& handler, bool main = false, bool sizeable = false) {
        return kit.CreateForm(
            handler, FormDesign{u"Valmorin form", 300, 200, sizeable, {u"Tahoma", 11}, main});
    }
    // Where a control lies in its form's client area.
    static RECT ClientBounds(HWND control) {
        RECT bounds;
        GetWindowRect(control, &bounds);
        MapWindowPoints(nullptr, GetAncestor(control, GA_ROOT), reinterpret_cast<POINT*>(&bounds),
                        2);
        return bounds;
    }
    static void Key(HWND target, WPARAM key) { PostMessageW(target, WM_KEYDOWN, key, 1); }
};

HWND H(const gui::Window& window) {
    return test::Hwnd(window);
}

TEST_F(WinForms, AreMadeHiddenWithScaledClientAreaFontAndControls) {
    FormEvents formEvents;
    auto form = NewForm(formEvents);
    HWND hwnd = H(*form);
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(form->Visible());
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, test::Scaled(300));
    EXPECT_EQ(client.bottom, test::Scaled(200));
    LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));

    auto button = form->AddButton({10, 20, 75, 25}, u"OK", Glyph::Ok);
    auto plain = form->AddButton({90, 20, 75, 25}, u"Plain", Glyph::None);
    auto label = form->AddLabel({10, 60, 100, 13}, u"Label", false);
    auto bold = form->AddLabel({10, 80, 100, 13}, u"Bold", false, {u"", 0, true});
    HWND buttonHwnd = FindWindowExW(hwnd, nullptr, L"Button", L"OK");
    ASSERT_NE(buttonHwnd, nullptr);
    RECT bounds = ClientBounds(buttonHwnd);
    EXPECT_EQ(bounds.left, test::Scaled(10));
    EXPECT_EQ(bounds.top, test::Scaled(20));
    EXPECT_EQ(bounds.right - bounds.left, test::Scaled(75));
    EXPECT_EQ(bounds.bottom - bounds.top, test::Scaled(25));
    EXPECT_NE(SendMessageW(buttonHwnd, BM_GETIMAGE, IMAGE_ICON, 0), 0);
    EXPECT_EQ(
        SendMessageW(FindWindowExW(hwnd, nullptr, L"Button", L"Plain"), BM_GETIMAGE, IMAGE_ICON, 0),
        0);

    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(buttonHwnd, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_EQ(font.lfHeight, -test::Scaled(11));
    EXPECT_STREQ(font.lfFaceName, L"Tahoma");
    HWND boldHwnd = FindWindowExW(hwnd, nullptr, L"Static", L"Bold");
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(boldHwnd, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(font.lfHeight, -test::Scaled(11));
    EXPECT_EQ(Narrow(label->Text()), "Label");
    label->SetText(u"Changed");
    EXPECT_EQ(Narrow(label->Text()), "Changed");
}

TEST_F(WinForms, SizeableFormsHaveAThickFrame) {
    FormEvents formEvents;
    auto form = NewForm(formEvents, false, true);
    EXPECT_TRUE(GetWindowLongPtrW(H(*form), GWL_STYLE) & WS_THICKFRAME);
}

TEST_F(WinForms, ShowRunsOnShowBeforeTheFormIsVisibleAndCentresIt) {
    FormEvents formEvents;
    auto form = NewForm(formEvents);
    HWND hwnd = H(*form);
    bool visibleInHandler = true;
    formEvents.onShow = [&] { visibleInHandler = IsWindowVisible(hwnd) != FALSE; };
    form->Show();
    EXPECT_EQ(formEvents.shows, 1);
    EXPECT_FALSE(visibleInHandler);
    EXPECT_TRUE(form->Visible());
    RECT frame, work;
    GetWindowRect(hwnd, &frame);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 2);
    form->Hide();
    EXPECT_FALSE(form->Visible());
}

TEST_F(WinForms, TheFirstShowingFocusesTheFirstTabStopUnlessOnShowChoseOne) {
    FormEvents formEvents;
    auto form = NewForm(formEvents);
    auto first = form->AddEdit({10, 10, 100, 21}, u"a");
    auto second = form->AddEdit({10, 40, 100, 21}, u"b");
    auto button = form->AddButton({10, 70, 75, 25}, u"Go", Glyph::None);
    form->SetTabOrder({button.get(), second.get(), first.get()});
    form->Show();
    EXPECT_TRUE(button->Focused());
    EXPECT_FALSE(first->Focused());

    FormEvents otherEvents;
    auto other = NewForm(otherEvents);
    auto edit1 = other->AddEdit({10, 10, 100, 21}, u"a");
    auto edit2 = other->AddEdit({10, 40, 100, 21}, u"b");
    otherEvents.onShow = [&] { edit2->SetFocus(); };
    other->Show();
    EXPECT_TRUE(edit2->Focused());
    EXPECT_FALSE(edit1->Focused());
}

TEST_F(WinForms, TabFollowsTheTabOrderIntoPanels) {
    FormEvents formEvents;
    auto form = NewForm(formEvents, true);
    auto a = form->AddEdit({10, 10, 100, 21}, u"a");
    auto panel = form->AddPanel({0, 100, 300, 50}, true, true, nullptr);
    auto b = panel->AddButton({10, 10, 75, 25}, u"b", Glyph::None);
    auto c = form->AddCheckBox({10, 40, 100, 17}, u"c", false);
    form->SetTabOrder({c.get(), b.get(), a.get()});
    form->Show();
    EXPECT_TRUE(c->Focused());
    Key(GetFocus(), VK_TAB);
    kit.ProcessMessages();
    EXPECT_TRUE(b->Focused());
    Key(GetFocus(), VK_TAB);
    kit.ProcessMessages();
    EXPECT_TRUE(a->Focused());
    Key(GetFocus(), VK_TAB);
    kit.ProcessMessages();
    EXPECT_TRUE(c->Focused());
}

TEST_F(WinForms, RadioButtonsMadeInARowAreOneGroup) {
    FormEvents formEvents;
    auto form = NewForm(formEvents);
    auto r1 = form->AddRadioButton({10, 10, 100, 17}, u"r1", false);
    auto r2 = form->AddRadioButton({10, 30, 100, 17}, u"r2", true);
    auto box = form->AddCheckBox({10, 50, 100, 17}, u"box", true);
    auto r3 = form->AddRadioButton({10, 70, 100, 17}, u"r3", true);
    auto r4 = form->AddRadioButton({10, 90, 100, 17}, u"r4", false);
    EXPECT_FALSE(r1->Checked());
    EXPECT_TRUE(r2->Checked());
    EXPECT_TRUE(r3->Checked());
    HWND hwnd = H(*form);
    HWND r1Hwnd = FindWindowExW(hwnd, nullptr, L"Button", L"r1");
    HWND r2Hwnd = FindWindowExW(hwnd, nullptr, L"Button", L"r2");
    EXPECT_FALSE(GetWindowLongPtrW(r1Hwnd, GWL_STYLE) & WS_TABSTOP);
    EXPECT_TRUE(GetWindowLongPtrW(r2Hwnd, GWL_STYLE) & WS_TABSTOP);

    r1->SetChecked(true);
    EXPECT_TRUE(r1->Checked());
    EXPECT_FALSE(r2->Checked());
    EXPECT_TRUE(r3->Checked());
    EXPECT_TRUE(box->Checked());

    form->Show();
    SendMessageW(r2Hwnd, BM_CLICK, 0, 0);
    EXPECT_TRUE(r2->Checked());
    EXPECT_FALSE(r1->Checked());
    EXPECT_TRUE(r3->Checked());
    EXPECT_FALSE(r4->Checked());
    // The arrow keys move the check within the group.
    r2->SetFocus();
    Key(r2Hwnd, VK_UP);
    kit.ProcessMessages();
    EXPECT_TRUE(r1->Focused());
    EXPECT_TRUE(r1->Checked());
    EXPECT_FALSE(r2->Checked());
}

struct Dialog {
    explicit Dialog(WinForms* test, gui::Win32Toolkit& kit) {
        (void)test;
        form = kit.CreateForm(formEvents, FormDesign{u"Dialog", 300, 200, false, {u"Tahoma", 11}});
        edit = form->AddEdit({10, 10, 100, 21}, u"");
        ok = form->AddButton({10, 100, 75, 25}, u"OK", Glyph::Ok);
        other = form->AddButton({100, 100, 75, 25}, u"Other", Glyph::None);
        cancel = form->AddButton({190, 100, 75, 25}, u"Cancel", Glyph::Cancel);
        ok->onClick = [this] {
            clicks += "ok;";
            form->EndModal(ModalResult::Ok);
        };
        other->onClick = [this] {
            clicks += "other;";
            form->EndModal(ModalResult::Ok);
        };
        cancel->onClick = [this] {
            clicks += "cancel;";
            form->EndModal(ModalResult::Cancel);
        };
        form->SetDefaultButton(ok.get());
        form->SetCancelButton(cancel.get());
        formEvents.onShow = [this] { edit->SetFocus(); };
    }
    HWND Child(const wchar_t* caption) const {
        return FindWindowExW(test::Hwnd(*form), nullptr, nullptr, caption);
    }
    FormEvents formEvents;
    std::unique_ptr<Form> form;
    std::unique_ptr<gui::Edit> edit;
    std::unique_ptr<gui::Button> ok, other, cancel;
    std::string clicks;
};

TEST_F(WinForms, ShowModalRunsUntilAClickEndsItWithTheOwnerDisabled) {
    FormEvents mainEvents;
    auto main = NewForm(mainEvents, true);
    main->Show();
    Dialog dialog(this, kit);
    HWND dialogHwnd = H(*dialog.form);
    EXPECT_EQ(GetWindow(dialogHwnd, GW_OWNER), H(*main));
    bool mainEnabledDuring = true, dialogVisibleDuring = false;
    dialog.ok->onClick = [&] {
        mainEnabledDuring = IsWindowEnabled(H(*main)) != FALSE;
        dialogVisibleDuring = IsWindowVisible(dialogHwnd) != FALSE;
        dialog.form->EndModal(ModalResult::Ok);
    };
    PostMessageW(dialog.Child(L"OK"), BM_CLICK, 0, 0);
    Watchdog watchdog(*dialog.form);
    EXPECT_EQ(dialog.form->ShowModal(), ModalResult::Ok);
    EXPECT_FALSE(Watchdog::fired);
    EXPECT_FALSE(mainEnabledDuring);
    EXPECT_TRUE(dialogVisibleDuring);
    EXPECT_TRUE(IsWindowEnabled(H(*main)));
    EXPECT_FALSE(dialog.form->Visible());
    EXPECT_TRUE(IsWindow(dialogHwnd));
}

TEST_F(WinForms, EnterClicksTheDefaultButtonUnlessAnotherButtonHasTheFocus) {
    Dialog dialog(this, kit);
    Watchdog watchdog(*dialog.form);
    Key(dialog.Child(L""), VK_RETURN);
    EXPECT_EQ(dialog.form->ShowModal(), ModalResult::Ok);
    EXPECT_EQ(dialog.clicks, "ok;");

    dialog.clicks.clear();
    dialog.formEvents.onShow = [&] { dialog.other->SetFocus(); };
    Key(dialog.Child(L"Other"), VK_RETURN);
    EXPECT_EQ(dialog.form->ShowModal(), ModalResult::Ok);
    EXPECT_EQ(dialog.clicks, "other;");
    EXPECT_FALSE(Watchdog::fired);
}

TEST_F(WinForms, EscapeClicksTheCancelButton) {
    Dialog dialog(this, kit);
    Watchdog watchdog(*dialog.form);
    Key(dialog.Child(L""), VK_ESCAPE);
    EXPECT_EQ(dialog.form->ShowModal(), ModalResult::Cancel);
    EXPECT_EQ(dialog.clicks, "cancel;");
    EXPECT_FALSE(Watchdog::fired);
}

TEST_F(WinForms, TheCloseBoxEndsAModalFormWithCancelAndKeepsIt) {
    Dialog dialog(this, kit);
    Watchdog watchdog(*dialog.form);
    PostMessageW(H(*dialog.form), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog.form->ShowModal(), ModalResult::Cancel);
    EXPECT_EQ(dialog.clicks, "");
    EXPECT_TRUE(IsWindow(H(*dialog.form)));
    EXPECT_EQ(dialog.formEvents.log, "");
    // Made once, formEvents again.
    PostMessageW(dialog.Child(L"OK"), BM_CLICK, 0, 0);
    EXPECT_EQ(dialog.form->ShowModal(), ModalResult::Ok);
    EXPECT_EQ(dialog.formEvents.shows, 2);
    EXPECT_FALSE(Watchdog::fired);
}

TEST_F(WinForms, AQuitRequestEndsTheModalLoopAndStaysForTheMainLoop) {
    Dialog dialog(this, kit);
    Watchdog watchdog(*dialog.form);
    PostQuitMessage(7);
    EXPECT_EQ(dialog.form->ShowModal(), ModalResult::Cancel);
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_FALSE(Watchdog::fired);
}

TEST_F(WinForms, TheMainFormClosesTheApplicationAndOwnsTheOtherForms) {
    FormEvents mainEvents, dialogEvents;
    auto main = NewForm(mainEvents, true, true);
    auto dialog = NewForm(dialogEvents);
    HWND hwnd = H(*main);
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindow(H(*dialog), GW_OWNER), hwnd);
    main->Show();
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(mainEvents.log, "close;destroy;");
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(main->Handle(), nullptr);
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(WinForms, FormsTakeTimersUserMessagesAndTheTaskBarRestart) {
    FormEvents formEvents;
    auto form = NewForm(formEvents, true);
    HWND hwnd = H(*form);
    int ticks = 0;
    auto timer = kit.CreateTimer(*form, [&] { ++ticks; });
    timer->SetInterval(20);
    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 2; }));
    timer->SetEnabled(false);
    PostMessageW(hwnd, WM_USER + 5, 0, 42);
    kit.ProcessMessages();
    SendMessageW(hwnd, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(formEvents.log, "user 1029 42;taskbar;");
}

TEST_F(WinForms, TheMainFormsEscapeClicksItsCancelButtonButNotInTheListEditor) {
    FormEvents formEvents;
    auto form = NewForm(formEvents, true, true);
    auto edit = form->AddEdit({10, 10, 100, 21}, u"");
    auto stop = form->AddButton({120, 10, 75, 25}, u"Stop", Glyph::Cancel);
    auto list = form->AddReportList({0, 40, 0, 0}, true);
    list->SetColumns({{u"Name", 100}});
    list->SetCell(list->AddRow(), 0, u"old");
    int stops = 0;
    stop->onClick = [&] { ++stops; };
    form->SetCancelButton(stop.get());
    form->Show();
    edit->SetFocus();
    Key(GetFocus(), VK_ESCAPE);
    kit.ProcessMessages();
    EXPECT_EQ(stops, 1);
    // Enter means nothing without a default button.
    Key(GetFocus(), VK_RETURN);
    kit.ProcessMessages();
    EXPECT_EQ(stops, 1);

    HWND listHwnd = FindWindowExW(H(*form), nullptr, WC_LISTVIEWW, nullptr);
    SetFocus(listHwnd);
    auto editor = reinterpret_cast<HWND>(SendMessageW(listHwnd, LVM_EDITLABELW, 0, 0));
    ASSERT_NE(editor, nullptr);
    SetWindowTextW(editor, L"new");
    Key(editor, VK_ESCAPE);
    kit.ProcessMessages();
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(Narrow(list->Cell(0, 0)), "old");
}

TEST_F(WinForms, ADpiChangeLaysTheControlsOutAgainWithTheNewFont) {
    FormEvents formEvents;
    auto form = NewForm(formEvents, false, true);
    HWND hwnd = H(*form);
    auto label = form->AddLabel({10, 10, 100, 13}, u"Label", false, {u"", 0, true});
    auto edit = form->AddEdit({10, 30, 100, 21}, u"edit");
    auto list = form->AddReportList({0, 60, 0, 0}, true);
    HWND editHwnd = FindWindowExW(hwnd, nullptr, L"Edit", nullptr);
    HWND labelHwnd = FindWindowExW(hwnd, nullptr, L"Static", L"Label");
    auto oldFont = reinterpret_cast<HFONT>(SendMessageW(editHwnd, WM_GETFONT, 0, 0));
    RECT frame;
    GetWindowRect(hwnd, &frame);
    frame.right += 40;
    SendMessageW(hwnd, 0x02E0, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&frame));
    auto newFont = reinterpret_cast<HFONT>(SendMessageW(editHwnd, WM_GETFONT, 0, 0));
    EXPECT_NE(newFont, oldFont);
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(newFont, sizeof font, &font));
    EXPECT_EQ(font.lfHeight, -test::Scaled(11));
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(labelHwnd, WM_GETFONT, 0, 0)),
                           sizeof font, &font));
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    RECT bounds = ClientBounds(editHwnd);
    EXPECT_EQ(bounds.left, test::Scaled(10));
    EXPECT_EQ(bounds.right - bounds.left, test::Scaled(100));
    RECT client;
    GetClientRect(hwnd, &client);
    bounds = ClientBounds(FindWindowExW(hwnd, nullptr, WC_LISTVIEWW, nullptr));
    EXPECT_EQ(bounds.right, client.right);
    EXPECT_EQ(bounds.bottom, client.bottom);
}

TEST_F(WinForms, TheEditorDialogStartsInItsDirectoryFieldWhereEnterMeansOk) {
    TEditForm editor(kit);
    HWND hwnd = H(*editor.form);
    HWND directory = FindWindowExW(hwnd, nullptr, L"Edit", nullptr);
    editor.DirectoryEdit1->SetText(u"C:\\watched");
    HWND focused = nullptr;
    Soon enter([&] {
        focused = GetFocus();
        Key(focused, VK_RETURN);
    });
    Watchdog watchdog(*editor.form);
    EXPECT_EQ(editor.ShowModal(), ModalResult::Ok);
    EXPECT_FALSE(Watchdog::fired);
    EXPECT_EQ(focused, directory);
    EXPECT_EQ(Narrow(editor.DirectoryEdit1->Text()), "C:\\watched");
    EXPECT_FALSE(editor.form->Visible());
}

// As in the system's dialogs: the button that Enter would press is the one
// drawn as the default, and the field focused at the opening is selected.
TEST_F(WinForms, TheEditorDialogShowsWhatEnterPressesAndSelectsItsField) {
    TEditForm editor(kit);
    HWND hwnd = H(*editor.form);
    HWND directory = FindWindowExW(hwnd, nullptr, L"Edit", nullptr);
    HWND ok = FindWindowExW(hwnd, nullptr, L"Button", L"OK");
    HWND cancel = FindWindowExW(hwnd, nullptr, L"Button", L"Abbrechen");
    ASSERT_TRUE(directory && ok && cancel);
    auto isDefault = [](HWND button) {
        return (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    };
    editor.DirectoryEdit1->SetText(u"C:\\watched");
    DWORD start = 1, end = 0;
    std::vector<bool> seen;  // OK, Abbrechen default: at the opening, on Abbrechen, on the command
    Soon look([&] {
        SendMessageW(directory, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        seen = {isDefault(ok), isDefault(cancel)};
        editor.BitBtn2->SetFocus();
        seen.insert(seen.end(), {isDefault(ok), isDefault(cancel)});
        editor.Edit1->SetFocus();
        seen.insert(seen.end(), {isDefault(ok), isDefault(cancel)});
        editor.form->EndModal(ModalResult::Cancel);
    });
    Watchdog watchdog(*editor.form);
    editor.ShowModal();
    EXPECT_FALSE(Watchdog::fired);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 10u);
    EXPECT_EQ(seen, (std::vector<bool>{true, false, false, true, true, false}));
}

// The About panel's frame: a lowered outer and a raised inner bevel.
TEST_F(WinForms, TheAboutPanelDrawsALoweredOuterAndARaisedInnerBevel) {
    TAboutBox about(kit, kit, 2025);
    about.form->Show();
    HWND panel = FindWindowExW(H(*about.form), nullptr, L"TValmorinPanel", nullptr);
    ASSERT_NE(panel, nullptr);
    UpdateWindow(panel);
    RECT client;
    GetClientRect(panel, &client);
    HDC dc = GetDC(panel);
    int x = client.right / 2, y = client.bottom / 2;
    std::vector<COLORREF> edges = {GetPixel(dc, x, 0),
                                   GetPixel(dc, x, 1),
                                   GetPixel(dc, 0, y),
                                   GetPixel(dc, 1, y),
                                   GetPixel(dc, x, client.bottom - 1),
                                   GetPixel(dc, x, client.bottom - 2)};
    ReleaseDC(panel, dc);
    COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), light = GetSysColor(COLOR_BTNHIGHLIGHT);
    EXPECT_EQ(edges, (std::vector<COLORREF>{shadow, light, shadow, light, light, shadow}));
}

TEST_F(WinForms, ControlsAndTheirFormEndInEitherOrder) {
    FormEvents formEvents;
    auto form = NewForm(formEvents);
    HWND hwnd = H(*form);
    auto panel = form->AddPanel({0, 0, 300, 100}, false, true, nullptr);
    auto early = panel->AddEdit({10, 10, 100, 21}, u"early");
    auto late = form->AddSpinEdit({10, 120, 80, 21});
    auto button = form->AddButton({10, 150, 75, 25}, u"OK", Glyph::Ok);
    form->SetDefaultButton(button.get());
    int clicks = 0;
    button->onClick = [&] { ++clicks; };

    early.reset();
    EXPECT_EQ(FindWindowExW(FindWindowExW(hwnd, nullptr, L"TValmorinPanel", nullptr), nullptr,
                            L"Edit", nullptr),
              nullptr);
    panel.reset();
    EXPECT_EQ(FindWindowExW(hwnd, nullptr, L"TValmorinPanel", nullptr), nullptr);
    button.reset();  // the form forgets its default button
    Key(FindWindowExW(hwnd, nullptr, L"Edit", nullptr), VK_RETURN);
    kit.ProcessMessages();

    auto again = form->AddButton({10, 150, 75, 25}, u"Again", Glyph::None);
    again->onClick = [&] { ++clicks; };
    form.reset();
    EXPECT_FALSE(IsWindow(hwnd));
    // What is left of the controls stays harmless.
    late->PutText(u"5");
    EXPECT_EQ(late->Text(), u"");
    EXPECT_FALSE(late->Focused());
    late->SetFocus();
    again->Click();
    EXPECT_EQ(clicks, 1);
}

}  // namespace
