// The Win32 toolkit's controls against the real common controls.
#include "platform/toolkit_win.h"

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
using Win32ToolkitNumberField = test::ToolkitTest;

HWND ChildOf(const platform::Window& window, const wchar_t* className) {
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
    auto list = kit.CreateListView(*window, {0, 0, 380, 200});
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
    auto list = kit.CreateListView(*window, {0, 0, 380, 200});
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
    auto list = kit.CreateListView(*window, {0, 0, 380, 200});
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
    auto list = kit.CreateListView(*window, {0, 0, 380, 200});
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
    auto list = kit.CreateListView(*window, {0, 0, 380, 200});
    ASSERT_NE(ChildOf(*window, WC_LISTVIEWW), nullptr);
    list.reset();
    EXPECT_EQ(ChildOf(*window, WC_LISTVIEWW), nullptr);

    list = kit.CreateListView(*window, {0, 0, 380, 200});
    list->SetCell(list->AddRow(), 0, u"x");
    window.reset();
    EXPECT_EQ(list->RowCount(), 0);
    EXPECT_EQ(Narrow(list->Cell(0, 0)), "");
    EXPECT_EQ(list->Selected(), -1);
    EXPECT_EQ(list->AddRow(), -1);
    list->Select(0);
    list->Clear();
}

TEST_F(Win32ToolkitNumberField, ShowsWholeNumbersWithoutDecimals) {
    auto window = NewWindow();
    auto field = kit.CreateNumberField(*window, {0, 210, 80, 21});
    HWND hwnd = ChildOf(*window, L"Edit");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(GetWindowLongPtrW(hwnd, GWL_STYLE) & ES_MULTILINE);
    EXPECT_EQ(field->Value(), 0.0);

    auto shown = [hwnd] {
        wchar_t text[64] = {};
        GetWindowTextW(hwnd, text, 64);
        return Narrow(platform::FromWide(text));
    };
    field->SetValue(1000);
    EXPECT_EQ(shown(), "1000");
    EXPECT_EQ(field->Value(), 1000.0);
    field->SetValue(4294967295.0);
    EXPECT_EQ(shown(), "4294967295");
    field->SetValue(2.5);
    EXPECT_EQ(shown(), "2.5");
    EXPECT_EQ(field->Value(), 2.5);
    field->SetValue(-3);
    EXPECT_EQ(field->Value(), -3.0);
}

TEST_F(Win32ToolkitNumberField, ReadsWhatTheUserTypedAndZeroForNonsense) {
    auto window = NewWindow();
    auto field = kit.CreateNumberField(*window, {0, 210, 80, 21});
    HWND hwnd = ChildOf(*window, L"Edit");
    ASSERT_NE(hwnd, nullptr);
    struct Case {
        const wchar_t* text;
        double value;
    };
    for (Case c : {Case{L"250", 250}, Case{L" 750 ", 750}, Case{L"12.5", 12.5}, Case{L"", 0},
                   Case{L"abc", 0}, Case{L"12abc", 0}, Case{L"nan", 0}, Case{L"inf", 0},
                   Case{L"1e999", 0}, Case{L"\u0661\u0662", 0}}) {
        SetWindowTextW(hwnd, c.text);
        EXPECT_EQ(field->Value(), c.value) << Narrow(platform::FromWide(c.text));
    }
}

}  // namespace
