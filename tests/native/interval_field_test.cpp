#include <gtest/gtest.h>

#include "gui/memory/toolkit_memory.h"
#include "test_support.h"
#include "ui/interval_field.h"

using test::Narrow;

namespace {

class Interval : public ::testing::Test, public gui::WindowEvents {
protected:
    Interval() {
        form = kit.CreateForm(*this, {u"f", 100, 100, false, {}});
        auto edit = form->AddSpinEdit({0, 0, 121, 21});
        spin = static_cast<gui::memory::SpinState*>(edit.get());
        field = std::make_unique<IntervalField>(std::move(edit), kit, [this] { ++changes; });
    }
    std::string Text() const { return Narrow(spin->text); }
    void Replace(const std::u16string& text) {
        spin->text.clear();
        for (char16_t c : text) spin->Type(c);
    }

    gui::MemoryToolkit kit;
    std::unique_ptr<gui::Form> form;
    gui::memory::SpinState* spin = nullptr;
    std::unique_ptr<IntervalField> field;
    int changes = 0;
};

TEST_F(Interval, StartsAtThousand) {
    EXPECT_EQ(Text(), "1000");
    EXPECT_EQ(field->Value(), 1000);
    EXPECT_EQ(changes, 0);
}

TEST_F(Interval, TypingAcceptsDigitsSignsAndControlsOnlyAndNotifiesEachChange) {
    Replace(u"5a0");
    EXPECT_EQ(Text(), "50");
    EXPECT_EQ(kit.beeps, 1);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(field->Value(), 50);  // no clamping while the field has the focus
    spin->Type(u'\b');
    spin->Type(u'-');
    spin->Type(u'+');
    EXPECT_EQ(Text(), "5-+");
    EXPECT_EQ(field->Value(), 100);  // reads as the minimum
    for (char16_t c : std::u16string(u" .,x\u00E9")) spin->Type(c);
    EXPECT_EQ(kit.beeps, 6);
}

TEST_F(Interval, ReadingTheTextAsANumber) {
    struct Case {
        std::u16string text;
        double value;
    } cases[] = {{u"", 100}, {u"-", 100}, {u"1-2", 100}, {u"+", 100}, {u"99999999999", 100},
                 {u"2147483647", 2147483647}, {u"-2147483648", -2147483648.0}, {u"+250", 250}, {u"-7", -7}, {u"007", 7}};
    for (const Case& c : cases) {
        spin->text = c.text;
        EXPECT_EQ(field->Value(), c.value) << Narrow(c.text);
    }
}

TEST_F(Interval, LeavingClampsAndRewrites) {
    Replace(u"50");
    changes = 0;
    spin->Leave();
    EXPECT_EQ(Text(), "100");
    EXPECT_EQ(changes, 1);
    Replace(u"20000");
    spin->Leave();
    EXPECT_EQ(Text(), "10000");
    spin->text.clear();
    spin->Leave();
    EXPECT_EQ(Text(), "100");
    changes = 0;
    spin->Leave();  // unchanged text: no notification
    EXPECT_EQ(changes, 0);
    Replace(u"0150");
    spin->Leave();
    EXPECT_EQ(Text(), "150");  // rewritten in plain digits, no snapping to steps
}

TEST_F(Interval, StepsClampAndNotifyOnlyWhenTheTextChanges) {
    field->SetValue(9950);
    changes = 0;
    spin->Step(+1);
    EXPECT_EQ(Text(), "10000");
    EXPECT_EQ(changes, 1);
    spin->Step(+1);
    EXPECT_EQ(changes, 1);  // at the limit: nothing
    field->SetValue(150);
    spin->Step(-1);
    EXPECT_EQ(Text(), "100");
    Replace(u"50");
    spin->Step(+1);
    EXPECT_EQ(Text(), "150");
    EXPECT_TRUE(spin->Focused());  // the spin button takes the focus
}

TEST_F(Interval, SettingFromOutsideClampsRoundsAndNotifiesOnChange) {
    changes = 0;
    field->SetValue(1000);
    EXPECT_EQ(changes, 0);
    field->SetValue(5000);
    EXPECT_EQ(Text(), "5000");
    EXPECT_EQ(changes, 1);
    field->SetValue(-3);
    EXPECT_EQ(Text(), "100");
    field->SetValue(1e12);
    EXPECT_EQ(Text(), "10000");
}

TEST_F(Interval, PasteOfNonNumberRestoresThePreviousValue) {
    Replace(u"70");
    changes = 0;
    spin->Paste(u"abc");
    EXPECT_EQ(Text(), "100");  // 70 set again, clamped
    EXPECT_EQ(changes, 2);     // the paste, then the recovery
    field->SetValue(300);
    spin->Paste(u"5");
    EXPECT_EQ(Text(), "3005");  // a number stays as pasted
}

TEST(SpinButton, DiagonalSplitsTheHalves) {
    EXPECT_TRUE(gui::SpinUpHalf(0, 0, 16, 16));
    EXPECT_TRUE(gui::SpinUpHalf(7, 7, 16, 16));
    EXPECT_FALSE(gui::SpinUpHalf(9, 9, 16, 16));
    EXPECT_FALSE(gui::SpinUpHalf(15, 15, 16, 16));
    EXPECT_FALSE(gui::SpinUpHalf(0, 17, 20, 17));
}

}  // namespace
