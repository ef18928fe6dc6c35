// The report list against the real common controls.
// clang-format off
#include "gui/toolkit_win.h"  // windows.h, before commctrl.h
// clang-format on

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wide.h"
#include "test_support.h"
#include "win_toolkit_support.h"

namespace {

using test::Narrow;
using test::Wide;
using Win32ToolkitListView = test::ToolkitTest;

// The main window's list: seven columns, placed as the tests expect.
std::unique_ptr<gui::ReportList> AddList(gui::Form& form) {
    auto list = form.AddReportList({0, 0, 380, 200}, false);
    list->SetColumns({{u"Verzeichnis", 250},
                      {u"Unterverzeichnisse", 120},
                      {u"Befehl", 200},
                      {u"Parameter", 100},
                      {u"Neue Dateien", 80},
                      {u"Ge\u00e4nderte", 80},
                      {u"Unsichtbar", 75}});
    return list;
}

HWND ChildOf(const gui::Window& window, const wchar_t* className) {
    return FindWindowExW(test::Hwnd(window), nullptr, className, nullptr);
}

// Numbered so that a cut or a shift shows.
std::u16string LongText(size_t length) {
    std::u16string text;
    while (text.size() < length) text += Wide(std::to_string(text.size())) + u'|';
    text.resize(length);
    return text;
}

// Records the redraw switches a control receives.
LRESULT CALLBACK RecordRedraw(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                              DWORD_PTR data) {
    if (message == WM_SETREDRAW)
        reinterpret_cast<std::vector<bool>*>(data)->push_back(wparam != FALSE);
    return DefSubclassProc(hwnd, message, wparam, lparam);
}

TEST_F(Win32ToolkitListView, IsAReportListWithItsSevenColumns) {
    auto window = NewWindow();
    auto list = AddList(*window);
    HWND hwnd = ChildOf(*window, WC_LISTVIEWW);
    ASSERT_NE(hwnd, nullptr);
    LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(SendMessageW(hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);
    RECT frame;
    GetWindowRect(hwnd, &frame);
    EXPECT_EQ(frame.right - frame.left, test::Scaled(380));

    HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 7);
    std::vector<std::string> captions;
    for (int column = 0; column < 7; ++column) {
        wchar_t text[64] = {};
        LVCOLUMNW heading{};
        heading.mask = LVCF_TEXT;
        heading.pszText = text;
        heading.cchTextMax = 64;
        EXPECT_TRUE(SendMessageW(hwnd, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&heading)));
        captions.push_back(Narrow(platform::FromWide(heading.pszText)));
    }
    std::vector<std::string> expected{"Verzeichnis", "Unterverzeichnisse", "Befehl",
                                      "Parameter",   "Neue Dateien",       "Ge\xc3\xa4nderte",
                                      "Unsichtbar"};
    EXPECT_EQ(captions, expected);
}

TEST_F(Win32ToolkitListView, CellsRoundTripInEveryColumn) {
    auto window = NewWindow();
    auto list = AddList(*window);
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_EQ(list->AddRow(), 0);
    EXPECT_EQ(list->AddRow(), 1);
    ASSERT_EQ(list->RowCount(), 2);
    for (int column = 0; column < 7; ++column) EXPECT_EQ(Narrow(list->Cell(1, column)), "");

    std::vector<std::u16string> texts{
        LongText(1000),
        u"Ja",
        u"\u041f\u0440\u0438\u0432\u0435\u0442 \u4e16\u754c \U0001D11E",
        u"\"%1\" %2",
        LongText(255),
        LongText(5000),
        u"Nein",
    };
    for (int column = 0; column < 7; ++column) list->SetCell(1, column, texts[column]);
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(Narrow(list->Cell(1, column)), Narrow(texts[column])) << "column " << column;
        EXPECT_EQ(Narrow(list->Cell(0, column)), "") << "column " << column;
    }
    list->SetCell(1, 0, u"C:\\kurz");
    EXPECT_EQ(Narrow(list->Cell(1, 0)), "C:\\kurz");
    list->SetCell(1, 5, u"");
    EXPECT_EQ(Narrow(list->Cell(1, 5)), "");
}

TEST_F(Win32ToolkitListView, RowsGoAndTheSelectionFollows) {
    auto window = NewWindow();
    auto list = AddList(*window);
    for (const char16_t* name : {u"a", u"b", u"c"}) list->SetCell(list->AddRow(), 0, name);
    EXPECT_EQ(list->Selected(), -1);

    list->Select(1);
    EXPECT_EQ(list->Selected(), 1);
    HWND hwnd = ChildOf(*window, WC_LISTVIEWW);
    EXPECT_EQ(SendMessageW(hwnd, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    list->Select(2);
    EXPECT_EQ(list->Selected(), 2);
    EXPECT_EQ(SendMessageW(hwnd, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    list->Select(-1);
    EXPECT_EQ(list->Selected(), -1);
    EXPECT_EQ(SendMessageW(hwnd, LVM_GETSELECTEDCOUNT, 0, 0), 0);

    list->Select(2);
    list->DeleteRow(0);
    ASSERT_EQ(list->RowCount(), 2);
    EXPECT_EQ(Narrow(list->Cell(0, 0)), "b");
    EXPECT_EQ(Narrow(list->Cell(1, 0)), "c");
    EXPECT_EQ(list->Selected(), 1);
    list->DeleteRow(1);
    EXPECT_EQ(list->RowCount(), 1);
    EXPECT_EQ(list->Selected(), -1);

    list->Select(0);
    list->Clear();
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_EQ(list->Selected(), -1);
    EXPECT_EQ(list->AddRow(), 0);
    EXPECT_EQ(Narrow(list->Cell(0, 0)), "");
}

TEST_F(Win32ToolkitListView, UpdatesNestAndRepaintAtTheEnd) {
    auto window = NewWindow();
    auto list = AddList(*window);
    HWND hwnd = ChildOf(*window, WC_LISTVIEWW);
    std::vector<bool> redraws;
    ASSERT_TRUE(SetWindowSubclass(hwnd, RecordRedraw, 1, reinterpret_cast<DWORD_PTR>(&redraws)));
    window->Show();
    kit.ProcessMessages();
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));

    list->EndUpdate();
    EXPECT_TRUE(redraws.empty());
    list->BeginUpdate();
    list->BeginUpdate();
    list->SetCell(list->AddRow(), 0, u"x");
    list->EndUpdate();
    EXPECT_EQ(redraws, std::vector<bool>{false});
    list->EndUpdate();
    EXPECT_EQ(redraws, (std::vector<bool>{false, true}));
    EXPECT_TRUE(GetUpdateRect(hwnd, nullptr, FALSE));
    EXPECT_EQ(Narrow(list->Cell(0, 0)), "x");
    RemoveWindowSubclass(hwnd, RecordRedraw, 1);
}

TEST_F(Win32ToolkitListView, GoesWithItsObjectAndOutlivesItsWindow) {
    auto window = NewWindow();
    auto list = AddList(*window);
    ASSERT_NE(ChildOf(*window, WC_LISTVIEWW), nullptr);
    list.reset();
    EXPECT_EQ(ChildOf(*window, WC_LISTVIEWW), nullptr);

    list = AddList(*window);
    list->SetCell(list->AddRow(), 0, u"x");
    window.reset();
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_EQ(Narrow(list->Cell(0, 0)), "");
    EXPECT_EQ(list->Selected(), -1);
    EXPECT_EQ(list->AddRow(), -1);
    list->Select(0);
    list->Clear();
}

}  // namespace
