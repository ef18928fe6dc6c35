#include <gtest/gtest.h>

#include "ui/resource_ids.h"
#include "gui/memory/toolkit_memory.h"
#include "test_support.h"
#include "ui/about_box.h"
#include "ui/edit_form.h"

using gui::memory::FormState;
using test::Narrow;

namespace {

std::string TextOf(gui::Edit& edit) {
    return Narrow(edit.Text());
}

TEST(EditForm, DefaultsLayoutAndKeys) {
    gui::MemoryToolkit kit;
    TEditForm dialog(kit);
    auto& form = *kit.forms.at(0);
    EXPECT_EQ(Narrow(form.design.caption),
              "\xC3\x9C"
              "berwachung bearbeiten");
    EXPECT_EQ(form.design.clientWidth, 428);
    EXPECT_FALSE(form.design.sizeable);
    EXPECT_EQ(TextOf(*dialog.DirectoryEdit1), "");
    EXPECT_FALSE(dialog.RadioButton1->Checked());
    EXPECT_TRUE(dialog.RadioButton2->Checked());
    EXPECT_TRUE(dialog.CheckBox1->Checked());
    EXPECT_TRUE(dialog.CheckBox2->Checked());
    EXPECT_FALSE(dialog.CheckBox3->Checked());
    EXPECT_EQ(TextOf(*dialog.Edit1), "cmd");
    EXPECT_EQ(TextOf(*dialog.Edit2), "/c echo %1");
    EXPECT_EQ(form.tabOrder.size(), 10u);
    EXPECT_EQ(form.tabOrder.front(), static_cast<gui::Control*>(dialog.BitBtn1.get()));
    std::string help = Narrow(dialog.Label3->Text());
    EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 9);
    EXPECT_NE(
        help.find(
            "Anr\xC3\xBChrungszeichen verpackt werden, also \"c:\\dies ist ein test\\test.exe\""),
        std::string::npos);

    dialog.RadioButton1->SetChecked(true);
    EXPECT_FALSE(dialog.RadioButton2->Checked());

    kit.onModal = [&](FormState& f) {
        EXPECT_TRUE(dialog.DirectoryEdit1->Focused());
        f.PressEnter();
    };
    EXPECT_EQ(dialog.ShowModal(), gui::ModalResult::Ok);
    kit.onModal = [](FormState& f) { f.PressEscape(); };
    EXPECT_EQ(dialog.ShowModal(), gui::ModalResult::Cancel);
    kit.onModal = [&](FormState& f) {
        dialog.BitBtn2->SetFocus();
        f.PressEnter();  // Enter on Abbrechen cancels
    };
    EXPECT_EQ(dialog.ShowModal(), gui::ModalResult::Cancel);
    kit.onModal = [](FormState& f) { f.CloseBox(); };
    EXPECT_EQ(dialog.ShowModal(), gui::ModalResult::Cancel);
    EXPECT_TRUE(dialog.RadioButton1->Checked());  // never reset between showings
}

TEST(EditForm, BrowseStartsSensiblyRemembersAndQuietsErrors) {
    test::TempTree tree;
    tree.MakeDir("chosen");
    gui::MemoryToolkit kit;
    kit.errorMode = 7;
    TEditForm dialog(kit);
    std::u16string chosen = tree.Path() + u"\\chosen";
    kit.chooseDirectory = [&](std::u16string_view, std::u16string& out) {
        out = chosen;
        return true;
    };
    dialog.Browse();
    EXPECT_EQ(Narrow(kit.chooserStarts.back()), "\\");
    EXPECT_EQ(kit.errorModes, (std::vector<uint32_t>{32769u, 7u}));
    EXPECT_EQ(TextOf(*dialog.DirectoryEdit1), Narrow(chosen));
    EXPECT_EQ(Narrow(dialog.InitialDir), Narrow(chosen));
    EXPECT_TRUE(dialog.DirectoryEdit1->Focused());

    dialog.DirectoryEdit1->SetText(u"");
    kit.chooseDirectory = nullptr;  // cancelled
    dialog.Browse();
    EXPECT_EQ(Narrow(kit.chooserStarts.back()), Narrow(chosen));
    EXPECT_EQ(TextOf(*dialog.DirectoryEdit1), "");

    dialog.DirectoryEdit1->SetText(u"Q:\\no\\such\\folder");
    dialog.Browse();
    EXPECT_EQ(Narrow(kit.chooserStarts.back()), "\\");
    EXPECT_EQ(TextOf(*dialog.DirectoryEdit1), "Q:\\no\\such\\folder");
    EXPECT_EQ(Narrow(dialog.InitialDir), Narrow(chosen));
    EXPECT_EQ(kit.errorMode, 7u);
}

TEST(EditForm, BrowseStartsAtTheFolderAndReplacesOnlyIt) {
    test::TempTree tree;
    tree.MakeDir("scans");
    tree.MakeDir("other");
    gui::MemoryToolkit kit;
    TEditForm dialog(kit);
    std::u16string chosen = tree.Path() + u"\\other";
    kit.chooseDirectory = [&](std::u16string_view, std::u16string& out) {
        out = chosen;
        return true;
    };
    dialog.DirectoryEdit1->SetText(tree.Path() + u"\\scans\\*.pdf;!~$*");
    dialog.Browse();
    EXPECT_EQ(Narrow(kit.chooserStarts.back()), Narrow(tree.Path()) + "\\scans");
    EXPECT_EQ(TextOf(*dialog.DirectoryEdit1), Narrow(chosen) + "\\*.pdf;!~$*");
    EXPECT_EQ(Narrow(dialog.InitialDir), Narrow(chosen));

    dialog.DirectoryEdit1->SetText(u"*.jpg;*.png");
    chosen = u"C:\\";
    dialog.Browse();
    EXPECT_EQ(Narrow(kit.chooserStarts.back()), Narrow(tree.Path()) + "\\other");
    EXPECT_EQ(TextOf(*dialog.DirectoryEdit1), "C:\\*.jpg;*.png");
}

TEST(AboutBox, YearLogoAndWebPage) {
    EXPECT_EQ(Narrow(TAboutBox::WithYear(u"(c) XXXX and XXXX", 2025)), "(c) 2025 and XXXX");
    EXPECT_EQ(Narrow(TAboutBox::WithYear(u"no placeholder", 2025)), "no placeholder");
    EXPECT_EQ(Narrow(TAboutBox::WithYear(u"XXXX", 987)), "987");

    gui::MemoryToolkit kit;
    kit.resources[IDR_LOGO_JPEG] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0};
    TAboutBox about(kit, kit, 2026);
    auto& form = *kit.forms.at(0);
    EXPECT_EQ(Narrow(form.design.caption), "Info");
    std::string rights = Narrow(about.RightsNotice->Text());
    EXPECT_NE(rights.find("2026"), std::string::npos);
    EXPECT_EQ(rights.find("XXXX"), std::string::npos);
    EXPECT_EQ(static_cast<gui::memory::PictureState&>(*about.ProgramIcon).bytes, 6u);
    EXPECT_EQ(form.cancelButton, nullptr);  // Escape does not close it

    about.BitBtnXP1->Click();
    ASSERT_EQ(kit.launches.size(), 1u);
    EXPECT_EQ(Narrow(kit.launches[0].file), Narrow(TAboutBox::kWebAddress));
    EXPECT_EQ(Narrow(kit.launches[0].params), "");
    EXPECT_FALSE(kit.launches[0].hidden);
    EXPECT_EQ(Narrow(TAboutBox::kWebAddress), "http://valmorin.example");
}

}  // namespace
