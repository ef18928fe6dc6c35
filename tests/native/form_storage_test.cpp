#include <gtest/gtest.h>

#include "gui/memory/toolkit_memory.h"
#include "storage/form_storage.h"
#include "test_support.h"
#include "ui/interval_field.h"

using test::Narrow;
using Kind = gui::SettingsStore::Kind;

namespace {

class FormStore : public ::testing::Test, public gui::WindowEvents {
protected:
    FormStore() {
        formPtr = kit.CreateForm(*this, {u"main", 768, 534, true, {}});
        form = static_cast<gui::memory::FormState*>(formPtr.get());
        field = std::make_unique<IntervalField>(form->AddSpinEdit({0, 0, 121, 21}), kit, [this] { ++changes; });
        store = std::make_unique<TFormStorage>(kit, *form, *field, TFormStorage::KeyFor(u"C:\\Apps\\Valmorin.exe"));
    }
    std::map<std::u16string, gui::memory::MemorySettings::Value>& Values() {
        return kit.settings.keys[u"Software\\Valmorin"];
    }
    std::string Get(const std::u16string& name) { return Narrow(Values()[u"TMainForm\\" + name].text); }
    void Put(const std::u16string& name, const std::u16string& text, Kind kind = Kind::String) {
        Values()[u"TMainForm\\" + name] = {kind, text};
    }
    std::vector<std::string> Restore() {
        std::vector<std::string> errors;
        try {
            store->RestoreFormPlacement();
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
        return errors;
    }
    std::vector<std::string> Save(bool destroying = false) {
        std::vector<std::string> errors;
        try {
            store->SaveFormPlacement(destroying);
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
        return errors;
    }

    gui::MemoryToolkit kit;
    std::unique_ptr<gui::Form> formPtr;
    gui::memory::FormState* form;
    std::unique_ptr<IntervalField> field;
    std::unique_ptr<TFormStorage> store;
    int changes = 0;
};

TEST_F(FormStore, KeyIsTheProgramNameWithoutExtension) {
    EXPECT_EQ(Narrow(TFormStorage::KeyFor(u"D:\\tools\\watch.exe")), "Software\\watch");
    EXPECT_EQ(Narrow(TFormStorage::KeyFor(u"valmorin")), "Software\\valmorin");
}

TEST_F(FormStore, FirstStartChangesNothingAndCloseWritesEveryValue) {
    EXPECT_TRUE(Restore().empty());
    EXPECT_FALSE(form->placed);
    EXPECT_EQ(field->Value(), 1000);
    EXPECT_EQ(changes, 0);
    form->placement = {2, 1, -1, -1, -8, -8, 10, 20, 800, 600};
    EXPECT_TRUE(Save().empty());
    EXPECT_EQ(Get(u"FormVersion"), "0");
    EXPECT_EQ(Get(u"Flags"), "2");
    EXPECT_EQ(Get(u"ShowCmd"), "1");
    EXPECT_EQ(Get(u"PixelsPerInch"), "96");
    EXPECT_EQ(Get(u"MinMaxPos(1920x1080)"), "-1,-1,-8,-8");
    EXPECT_EQ(Get(u"MinMaxPos"), "-1,-1,-8,-8");
    EXPECT_EQ(Get(u"NormPos(1920x1080)"), "10,20,800,600");
    EXPECT_EQ(Get(u"NormPos"), "10,20,800,600");
    EXPECT_EQ(Get(u"Visible"), "0");
    EXPECT_EQ(Get(u"PruefEd_Value"), "1000");
    EXPECT_EQ(Values().size(), 10u);
    EXPECT_FALSE(store->SaveDue());
}

TEST_F(FormStore, NothingIsSavedBeforeARestoreRanToItsEnd) {
    EXPECT_TRUE(Save().empty());
    EXPECT_TRUE(Values().empty());
    Put(u"Flags", u"1", Kind::Other);
    EXPECT_EQ(Restore(), std::vector<std::string>{"Invalid data type for 'Flags'"});
    EXPECT_TRUE(Save().empty());
    EXPECT_EQ(Values().size(), 1u);  // the faulty value stays
}

TEST_F(FormStore, RestoreAppliesPlacementStateAndInterval) {
    Put(u"NormPos", u"30, 40,,830 ,640");
    Put(u"MinMaxPos", u"1,2,x");
    Put(u"Flags", u"2");
    Put(u"ShowCmd", u"3");
    Put(u"PruefEd_Value", u" 5000 ");
    EXPECT_TRUE(Restore().empty());
    ASSERT_TRUE(form->placed);
    EXPECT_EQ(form->placement.left, 30);
    EXPECT_EQ(form->placement.top, 40);
    EXPECT_EQ(form->placement.right, 830);
    EXPECT_EQ(form->placement.bottom, 640);
    EXPECT_EQ(form->placement.minX, 1);
    EXPECT_EQ(form->placement.maxX, 0);  // not a number
    EXPECT_EQ(form->placement.flags, 2u);
    EXPECT_EQ(form->placement.showCmd, 0u);  // applied hidden
    EXPECT_TRUE(form->maximized);
    EXPECT_EQ(field->Value(), 5000);
    EXPECT_EQ(changes, 1);
}

TEST_F(FormStore, ScreenSizeValueWinsOverThePlainOne) {
    Put(u"NormPos", u"1,1,500,500");
    Put(u"NormPos(1920x1080)", u"2,2,600,600");
    Restore();
    EXPECT_EQ(form->placement.right, 600);
    kit.screenWidth = 1024;
    Restore();
    EXPECT_EQ(form->placement.right, 500);
}

TEST_F(FormStore, OtherDensityOrEmptyRectLeavesThePositionAlone) {
    Put(u"NormPos", u"1,1,500,500");
    Put(u"PixelsPerInch", u"120");
    Put(u"ShowCmd", u"2");
    Put(u"PruefEd_Value", u"20000");
    Restore();
    EXPECT_FALSE(form->placed);
    EXPECT_EQ(form->minimizePosts, 1);
    EXPECT_EQ(field->Value(), 10000);
    Put(u"PixelsPerInch", u"96");
    Put(u"NormPos", u"500,1,500,500");
    Restore();
    EXPECT_FALSE(form->placed);
}

TEST_F(FormStore, BadIntervalIsIgnoredQuietly) {
    for (auto [text, kind] : {std::pair{u"abc", Kind::String}, {u"0x20", Kind::String}, {u"5000", Kind::Other}}) {
        Put(u"PruefEd_Value", text, kind);
        EXPECT_TRUE(Restore().empty());
        EXPECT_EQ(field->Value(), 1000);
    }
    Put(u"PruefEd_Value", u"2500.4");
    Restore();
    EXPECT_EQ(field->Value(), 2500);
}

TEST_F(FormStore, NegativeVersionSkipsEverythingButCountsAsRestored) {
    Put(u"FormVersion", u"-1");
    Put(u"PruefEd_Value", u"5000");
    Put(u"ShowCmd", u"3");
    EXPECT_TRUE(Restore().empty());
    EXPECT_EQ(field->Value(), 1000);
    EXPECT_FALSE(form->maximized);
    EXPECT_TRUE(store->SaveDue());
}

TEST_F(FormStore, MinimisedApplicationSavesShowCmdTwo) {
    Restore();
    form->appMinimized = true;
    Save();
    EXPECT_EQ(Get(u"ShowCmd"), "2");
}

TEST_F(FormStore, WriteFailuresStopTheSaveAndLeaveItDue) {
    Restore();
    kit.settings.refusedNames.insert(u"ShowCmd");
    EXPECT_EQ(Save(), std::vector<std::string>{"Failed to set data for 'ShowCmd'"});
    EXPECT_EQ(Get(u"Flags"), "0");
    EXPECT_EQ(Values().count(u"TMainForm\\PixelsPerInch"), 0u);
    EXPECT_TRUE(store->SaveDue());
    kit.settings.refusedNames.clear();
    EXPECT_TRUE(Save(true).empty());
    EXPECT_EQ(Get(u"Visible"), "1");
    EXPECT_FALSE(store->SaveDue());
}

TEST(NumberFormat, GeneralWithDotAndTrimmed) {
    EXPECT_EQ(Narrow(TFormStorage::FormatNumber(1000)), "1000");
    EXPECT_EQ(Narrow(TFormStorage::FormatNumber(-5)), "-5");
    EXPECT_EQ(Narrow(TFormStorage::FormatNumber(2.5)), "2.5");
}

}  // namespace
