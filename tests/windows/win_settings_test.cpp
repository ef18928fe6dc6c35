// The window settings in the real registry, and the main window's settings
// store working on a real window.
#include <gtest/gtest.h>
#include "gui/toolkit_win.h"  // before toolkit.h, so that MessageBox stays no macro

#include <string>

#include "platform/wide.h"
#include "storage/form_storage.h"
#include "ui/interval_field.h"
#include "win_toolkit_support.h"

namespace {

using Kind = gui::SettingsStore::Kind;

// A key of the test's own below HKEY_CURRENT_USER, removed afterwards.
class RegistryTest : public test::ToolkitTest {
  protected:
    RegistryTest()
        : key_(u"Software\\ValmorinTest" +
               platform::FromWide(std::to_wstring(GetCurrentProcessId()))) {}
    ~RegistryTest() override { RegDeleteTreeW(HKEY_CURRENT_USER, platform::AsWide(key_).c_str()); }

    void WriteDword(const wchar_t* name, DWORD value) {
        HKEY sub;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER, (platform::AsWide(key_) + L"\\TMainForm").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_SUCCESS);
        RegSetValueExW(sub, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(sub);
    }

    std::u16string key_;
};

TEST_F(RegistryTest, StringsRoundTripOtherTypesAreTold) {
    auto store = gui::CreateRegistrySettings();
    ASSERT_TRUE(store->Open(key_));
    std::u16string value;
    EXPECT_EQ(store->Read(u"TMainForm", u"NormPos", value), Kind::Missing);  // no subkey yet
    bool failedValue = true;
    ASSERT_TRUE(store->Write(u"TMainForm", u"NormPos", u"10,20,800,600", failedValue));
    EXPECT_FALSE(failedValue);
    ASSERT_TRUE(store->Write(u"TMainForm", u"Empty", u"", failedValue));
    std::u16string longText(3000, u'\u00e4');
    ASSERT_TRUE(store->Write(u"TMainForm", u"Long", longText, failedValue));

    auto again = gui::CreateRegistrySettings();
    ASSERT_TRUE(again->Open(key_));
    EXPECT_EQ(again->Read(u"TMainForm", u"NormPos", value), Kind::String);
    EXPECT_EQ(value, u"10,20,800,600");
    EXPECT_EQ(again->Read(u"TMainForm", u"Empty", value), Kind::String);
    EXPECT_EQ(value, u"");
    EXPECT_EQ(again->Read(u"TMainForm", u"Long", value), Kind::String);
    EXPECT_EQ(value, longText);
    EXPECT_EQ(again->Read(u"TMainForm", u"Nothing", value), Kind::Missing);
    WriteDword(L"Flags", 7);
    EXPECT_EQ(again->Read(u"TMainForm", u"Flags", value), Kind::Other);
}

TEST_F(RegistryTest, FormStorageSavesAndRestoresARealWindow) {
    auto form =
        kit.CreateForm(events, {u"Valmorin settings test", 300, 200, true, {u"Tahoma", 11}});
    auto interval = std::make_unique<IntervalField>(form->AddSpinEdit({8, 8, 121, 21}), kit, [] {});
    TFormStorage storage(kit, *form, *interval, key_);
    storage.RestoreFormPlacement();  // nothing stored: nothing changes
    EXPECT_EQ(interval->Value(), 1000);

    gui::Placement placed = form->GetPlacement();
    placed.left = 40, placed.top = 50, placed.right = 540, placed.bottom = 450;
    placed.showCmd = SW_HIDE;
    form->SetPlacement(placed);
    interval->SetValue(2500);
    storage.SaveFormPlacement(false);

    auto store = gui::CreateRegistrySettings();
    ASSERT_TRUE(store->Open(key_));
    std::u16string value;
    ASSERT_EQ(store->Read(u"TMainForm", u"NormPos", value), Kind::String);
    EXPECT_EQ(value, u"40,50,540,450");
    int width = 0, height = 0;
    kit.ScreenSize(width, height);
    const std::u16string sized =
        u"NormPos(" + platform::FromWide(std::to_wstring(width) + L"x" + std::to_wstring(height)) +
        u")";
    ASSERT_EQ(store->Read(u"TMainForm", sized, value), Kind::String);
    EXPECT_EQ(value, u"40,50,540,450");
    ASSERT_EQ(store->Read(u"TMainForm", u"PruefEd_Value", value), Kind::String);
    EXPECT_EQ(value, u"2500");
    ASSERT_EQ(store->Read(u"TMainForm", u"Visible", value), Kind::String);
    EXPECT_EQ(value, u"0");

    // A second window comes up where the first was saved.
    test::RecordingEvents otherEvents;
    auto other =
        kit.CreateForm(otherEvents, {u"Valmorin settings test 2", 300, 200, true, {u"Tahoma", 11}});
    auto otherInterval =
        std::make_unique<IntervalField>(other->AddSpinEdit({8, 8, 121, 21}), kit, [] {});
    TFormStorage restored(kit, *other, *otherInterval, key_);
    restored.RestoreFormPlacement();
    EXPECT_EQ(otherInterval->Value(), 2500);
    gui::Placement got = other->GetPlacement();
    EXPECT_EQ(got.left, 40);
    EXPECT_EQ(got.top, 50);
    EXPECT_EQ(got.right, 540);
    EXPECT_EQ(got.bottom, 450);
    EXPECT_FALSE(other->Visible());  // placed while hidden

    // A value of another type stops the restore with its message.
    WriteDword(L"Flags", 1);
    TFormStorage faulty(kit, *other, *otherInterval, key_);
    try {
        faulty.RestoreFormPlacement();
        ADD_FAILURE() << "no error";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Flags'");
    }
    EXPECT_FALSE(faulty.SaveDue());
}

}  // namespace
