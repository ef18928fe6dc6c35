// The Win32 forms' controls that do more than the system's: the spin edit,
// the browse edit, the report list, the picture, and the form's placement.
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
#include "test_support.h"
#include "win_toolkit_support.h"

namespace {

using namespace std::chrono_literals;
using gui::Form;
using gui::FormDesign;
using test::Narrow;

class WinFormControls : public test::ToolkitTest {
  protected:
    WinFormControls() {
        form = kit.CreateForm(formEvents,
                              FormDesign{u"Controls", 400, 300, true, {u"Tahoma", 11}, true});
        hwnd = test::Hwnd(*form);
    }
    static void Key(HWND target, WPARAM key) { PostMessageW(target, WM_KEYDOWN, key, 1); }

    class : public gui::WindowEvents {
    } formEvents;
    std::unique_ptr<Form> form;
    HWND hwnd;
};

struct Spin {
    explicit Spin(Form& form) {
        edit = form.AddSpinEdit({10, 10, 80, 21});
        other = form.AddEdit({10, 50, 80, 21}, u"");
        hwnd = FindWindowExW(test::Hwnd(form), nullptr, L"Edit", nullptr);
        button = FindWindowExW(hwnd, nullptr, nullptr, nullptr);
        edit->onChar = [this](char16_t c) {
            log += "char;";
            return c != u'x';
        };
        edit->onEdited = [this] { log += "edited;"; };
        edit->onPasting = [this] { log += "pasting;"; };
        edit->onPasted = [this] { log += "pasted;"; };
        edit->onStep = [this](int direction) { steps.push_back(direction); };
        edit->onLeave = [this] { log += "leave;"; };
    }
    std::unique_ptr<gui::SpinEdit> edit;
    std::unique_ptr<gui::Edit> other;
    HWND hwnd, button;
    std::string log;
    std::vector<int> steps;
};

TEST_F(WinFormControls, SpinEditIsRightAlignedWithASquareButtonInside) {
    Spin spin(*form);
    ASSERT_NE(spin.hwnd, nullptr);
    ASSERT_NE(spin.button, nullptr);
    EXPECT_TRUE(GetWindowLongPtrW(spin.hwnd, GWL_STYLE) & ES_RIGHT);
    RECT client, button;
    GetClientRect(spin.hwnd, &client);
    GetWindowRect(spin.button, &button);
    MapWindowPoints(nullptr, spin.hwnd, reinterpret_cast<POINT*>(&button), 2);
    EXPECT_EQ(button.right, client.right);
    EXPECT_EQ(button.bottom - button.top, client.bottom);
    EXPECT_EQ(button.right - button.left, button.bottom - button.top);
    DWORD margins = static_cast<DWORD>(SendMessageW(spin.hwnd, EM_GETMARGINS, 0, 0));
    EXPECT_GE(HIWORD(margins), button.right - button.left);
}

TEST_F(WinFormControls, SpinEditFiltersCharactersAndTellsEditsButNotPutText) {
    Spin spin(*form);
    form->Show();
    spin.edit->SetFocus();
    spin.edit->PutText(u"100");
    EXPECT_EQ(Narrow(spin.edit->Text()), "100");
    EXPECT_EQ(spin.log, "");
    SendMessageW(spin.hwnd, EM_SETSEL, 3, 3);
    PostMessageW(spin.hwnd, WM_CHAR, L'x', 1);
    kit.ProcessMessages();
    EXPECT_EQ(Narrow(spin.edit->Text()), "100");
    EXPECT_EQ(spin.log, "char;");
    PostMessageW(spin.hwnd, WM_CHAR, L'5', 1);
    kit.ProcessMessages();
    EXPECT_EQ(Narrow(spin.edit->Text()), "1005");
    EXPECT_EQ(spin.log, "char;char;edited;");
}

TEST_F(WinFormControls, SpinEditStepsOnTheUpAndDownKeysOnly) {
    Spin spin(*form);
    form->Show();
    spin.edit->SetFocus();
    Key(spin.hwnd, VK_UP);
    Key(spin.hwnd, VK_DOWN);
    Key(spin.hwnd, VK_UP);
    Key(spin.hwnd, VK_LEFT);
    Key(spin.hwnd, VK_PRIOR);
    kit.ProcessMessages();
    EXPECT_EQ(spin.steps, (std::vector<int>{1, -1, 1}));
}

TEST_F(WinFormControls, SpinEditTellsAroundAPasteAndWhenTheFocusLeaves) {
    Spin spin(*form);
    form->Show();
    spin.edit->SetFocus();
    spin.edit->PutText(u"");
    ASSERT_TRUE(test::SetClipboardText(hwnd, L"250"));
    SendMessageW(spin.hwnd, WM_PASTE, 0, 0);
    EXPECT_EQ(Narrow(spin.edit->Text()), "250");
    EXPECT_EQ(spin.log, "pasting;edited;pasted;");

    spin.log.clear();
    spin.other->SetFocus();
    EXPECT_EQ(spin.log, "leave;");
}

TEST_F(WinFormControls, SpinButtonStepsByHalfAndRepeatsWhileHeld) {
    Spin spin(*form);
    form->Show();
    spin.other->SetFocus();
    spin.log.clear();
    RECT button;
    GetClientRect(spin.button, &button);
    // The pointer is put where the press is, so that the system's own mouse
    // moves keep it over the half pressed.
    POINT upper{2, 2}, lower{button.right - 3, button.bottom - 3};
    POINT screen = upper;
    ClientToScreen(spin.button, &screen);
    SetCursorPos(screen.x, screen.y);
    PostMessageW(spin.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(upper.x, upper.y));
    kit.ProcessMessages();
    EXPECT_EQ(spin.steps, std::vector<int>{1});
    EXPECT_TRUE(spin.edit->Focused());
    EXPECT_EQ(spin.log, "");
    PumpFor(300ms);
    EXPECT_EQ(spin.steps.size(), 1u) << "no repeat before 400 ms";
    PumpFor(500ms);  // 800 ms held: repeats at 400, 500, 600, 700
    PostMessageW(spin.button, WM_LBUTTONUP, 0, MAKELPARAM(upper.x, upper.y));
    kit.ProcessMessages();
    size_t held = spin.steps.size();
    EXPECT_GE(held, 3u);
    EXPECT_LE(held, 7u);
    for (int step : spin.steps) EXPECT_EQ(step, 1);
    PumpFor(300ms);
    EXPECT_EQ(spin.steps.size(), held) << "the release ends the repeat";

    spin.steps.clear();
    screen = lower;
    ClientToScreen(spin.button, &screen);
    SetCursorPos(screen.x, screen.y);
    PostMessageW(spin.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(lower.x, lower.y));
    PostMessageW(spin.button, WM_LBUTTONUP, 0, MAKELPARAM(lower.x, lower.y));
    kit.ProcessMessages();
    PumpFor(500ms);
    EXPECT_EQ(spin.steps, std::vector<int>{-1});
}

TEST_F(WinFormControls, BrowseEditBrowsesOnItsButtonAndAltDown) {
    auto browse = form->AddBrowseEdit({10, 10, 200, 21});
    HWND edit = FindWindowExW(hwnd, nullptr, L"Edit", nullptr);
    HWND button = FindWindowExW(edit, nullptr, nullptr, nullptr);
    ASSERT_NE(button, nullptr);
    int browses = 0;
    browse->onBrowse = [&] { ++browses; };
    form->Show();
    browse->SetFocus();
    browse->SetText(u"C:\\Temp");
    EXPECT_EQ(Narrow(browse->Text()), "C:\\Temp");
    RECT inside;
    GetClientRect(button, &inside);
    DWORD margins = static_cast<DWORD>(SendMessageW(edit, EM_GETMARGINS, 0, 0));
    EXPECT_GE(HIWORD(margins), inside.right);

    PostMessageW(edit, WM_SYSKEYDOWN, VK_DOWN, 1 | (1 << 29));
    kit.ProcessMessages();
    EXPECT_EQ(browses, 1);
    PostMessageW(edit, WM_KEYDOWN, VK_DOWN, 1);
    kit.ProcessMessages();
    EXPECT_EQ(browses, 1);
    LPARAM middle = MAKELPARAM(inside.right / 2, inside.bottom / 2);
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageW(button, WM_LBUTTONUP, 0, middle);
    kit.ProcessMessages();
    EXPECT_EQ(browses, 2);
    EXPECT_TRUE(browse->Focused());
}

TEST_F(WinFormControls, ReportListHasItsColumnsAndFillsTheForm) {
    auto list = form->AddReportList({0, 40, 0, 0}, true);
    list->SetColumns({{u"Verzeichnis", 150}, {u"Befehl", 100}});
    HWND listHwnd = FindWindowExW(hwnd, nullptr, WC_LISTVIEWW, nullptr);
    ASSERT_NE(listHwnd, nullptr);
    LONG_PTR style = GetWindowLongPtrW(listHwnd, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_EDITLABELS);
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_TRUE(SendMessageW(listHwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
    HWND header = reinterpret_cast<HWND>(SendMessageW(listHwnd, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(listHwnd, LVM_GETCOLUMNWIDTH, 1, 0), test::Scaled(100));

    auto fills = [&] {
        RECT client, bounds;
        GetClientRect(hwnd, &client);
        GetWindowRect(listHwnd, &bounds);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&bounds), 2);
        return bounds.left == 0 && bounds.top == test::Scaled(40) && bounds.right == client.right &&
               bounds.bottom == client.bottom;
    };
    EXPECT_TRUE(fills());
    SetWindowPos(hwnd, nullptr, 0, 0, 500, 420, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(fills());

    EXPECT_EQ(list->AddRow(), 0);
    list->SetCell(0, 0, u"C:\\a");
    list->SetCell(0, 1, u"cmd");
    EXPECT_EQ(Narrow(list->Cell(0, 1)), "cmd");
    list->Select(0);
    EXPECT_EQ(list->Selected(), 0);
}

TEST_F(WinFormControls, ReportListDoubleClicksRowsAndAcceptsLabelEdits) {
    auto list = form->AddReportList({0, 0, 0, 0}, true);
    list->SetColumns({{u"Verzeichnis", 150}});
    list->SetCell(list->AddRow(), 0, u"old");
    int doubleClicks = 0;
    list->onDoubleClick = [&] { ++doubleClicks; };
    form->Show();
    HWND listHwnd = FindWindowExW(hwnd, nullptr, WC_LISTVIEWW, nullptr);
    RECT item{};
    item.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageW(listHwnd, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item)));
    SendMessageW(listHwnd, WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2));
    SendMessageW(listHwnd, WM_LBUTTONUP, 0,
                 MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2));
    kit.ProcessMessages();
    EXPECT_EQ(doubleClicks, 1);
    // Below the rows there is nothing to open.
    RECT client;
    GetClientRect(listHwnd, &client);
    SendMessageW(listHwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, client.bottom - 5));
    SendMessageW(listHwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, client.bottom - 5));
    kit.ProcessMessages();
    EXPECT_EQ(doubleClicks, 1);

    SetFocus(listHwnd);
    auto editor = reinterpret_cast<HWND>(SendMessageW(listHwnd, LVM_EDITLABELW, 0, 0));
    ASSERT_NE(editor, nullptr);
    SetWindowTextW(editor, L"new");
    Key(editor, VK_RETURN);
    kit.ProcessMessages();
    EXPECT_EQ(Narrow(list->Cell(0, 0)), "new");
}

TEST_F(WinFormControls, PictureShowsTheLogoAndRefusesWhatIsNoJpeg) {
    auto picture = form->AddPicture({10, 10, 100, 100});
    std::vector<uint8_t> logo = kit.ResourceData(IDR_LOGO_JPEG);
    ASSERT_GT(logo.size(), 100u);
    EXPECT_FALSE(picture->SetJpeg({0x12, 0x34, 0x56}));
    EXPECT_TRUE(picture->SetJpeg(logo));
    form->Show();
    HWND pictureHwnd = FindWindowExW(hwnd, nullptr, L"TValmorinPicture", nullptr);
    ASSERT_NE(pictureHwnd, nullptr);
    UpdateWindow(pictureHwnd);
    // The logo is no flat dialog-grey square.
    HDC dc = GetDC(pictureHwnd);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    int differing = 0;
    for (int at = 5; at < test::Scaled(100); at += 10)
        if (GetPixel(dc, at, at) != face) ++differing;
    ReleaseDC(pictureHwnd, dc);
    EXPECT_GT(differing, 3);
}

TEST_F(WinFormControls, PlacementRoundTripsAndStopsTheCentring) {
    gui::Placement placement;
    placement.showCmd = SW_HIDE;
    placement.left = 40;
    placement.top = 30;
    placement.right = 540;
    placement.bottom = 430;
    form->SetPlacement(placement);
    EXPECT_FALSE(form->Visible());
    gui::Placement read = form->GetPlacement();
    EXPECT_EQ(read.left, 40);
    EXPECT_EQ(read.top, 30);
    EXPECT_EQ(read.right, 540);
    EXPECT_EQ(read.bottom, 430);
    form->Show();
    read = form->GetPlacement();
    EXPECT_EQ(read.left, 40);
    EXPECT_EQ(read.top, 30);
    EXPECT_EQ(read.right, 540);
    EXPECT_EQ(read.showCmd, static_cast<uint32_t>(SW_SHOWNORMAL));
    EXPECT_FALSE(form->ApplicationMinimized());
    form->PostMinimize();
    EXPECT_TRUE(PumpUntil([&] { return form->ApplicationMinimized(); }));
    form->Show();
    EXPECT_FALSE(form->ApplicationMinimized());
    form->SetMaximized(true);
    EXPECT_TRUE(IsZoomed(hwnd));
}

}  // namespace
