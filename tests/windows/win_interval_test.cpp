// The interval field's rules on a real Win32 spin edit, as the user meets
// them: typing, leaving, the arrow keys and pasting.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gui/toolkit_win.h"
#include "test_support.h"
#include "ui/interval_field.h"
#include "win_toolkit_support.h"

namespace {

using test::Narrow;

class WinInterval : public test::ToolkitTest {
  protected:
    WinInterval() {
        form = kit.CreateForm(events, {u"Interval", 300, 120, true, {u"Tahoma", 11}, true});
        field = std::make_unique<IntervalField>(form->AddSpinEdit({170, 33, 121, 21}), kit,
                                                [this] { ++changes; });
        other = form->AddEdit({8, 70, 80, 21}, u"");
        edit = FindWindowExW(test::Hwnd(*form), nullptr, L"Edit", nullptr);
        form->Show();
        field->Control().SetFocus();
    }

    // Replaces the text as typing would: select all, then the characters.
    void Type(const wchar_t* text) {
        SendMessageW(edit, EM_SETSEL, 0, -1);
        PostMessageW(edit, WM_CHAR, VK_BACK, 1);
        for (const wchar_t* c = text; *c; ++c) PostMessageW(edit, WM_CHAR, *c, 1);
        kit.ProcessMessages();
    }
    void Key(WPARAM key) {
        PostMessageW(edit, WM_KEYDOWN, key, 1);
        kit.ProcessMessages();
    }
    std::string Text() { return Narrow(field->Control().Text()); }

    std::unique_ptr<gui::Form> form;
    std::unique_ptr<IntervalField> field;
    std::unique_ptr<gui::Edit> other;
    HWND edit = nullptr;
    int changes = 0;
};

TEST_F(WinInterval, TypingLeavingAndKeysFollowTheRules) {
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(Text(), "1000");

    Type(L"5a0");  // the letter is refused
    EXPECT_EQ(Text(), "50");
    EXPECT_EQ(field->Value(), 50);  // no clamping while focused
    changes = 0;
    other->SetFocus();
    EXPECT_EQ(Text(), "100");
    EXPECT_EQ(changes, 1);

    field->Control().SetFocus();
    Type(L"20000");
    other->SetFocus();
    EXPECT_EQ(Text(), "10000");

    field->Control().SetFocus();
    changes = 0;
    Key(VK_UP);  // at the limit: nothing changes, nothing is told
    EXPECT_EQ(Text(), "10000");
    EXPECT_EQ(changes, 0);
    Key(VK_DOWN);
    EXPECT_EQ(Text(), "9900");
    EXPECT_EQ(changes, 1);

    Type(L"150");
    Key(VK_DOWN);
    EXPECT_EQ(Text(), "100");

    Type(L"");
    EXPECT_EQ(field->Value(), 100);
    other->SetFocus();
    EXPECT_EQ(Text(), "100");
}

TEST_F(WinInterval, APasteThatIsNoNumberBringsTheValueBack) {
    Type(L"700");
    ASSERT_TRUE(test::SetClipboardText(test::Hwnd(*form), L"x-1"));
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_PASTE, 0, 0);
    EXPECT_EQ(Text(), "700");
}

}  // namespace
