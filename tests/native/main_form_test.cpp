#include "ui/main_form.h"

#include <gtest/gtest.h>

#include "platform/memory.h"
#include "gui/memory/toolkit_memory.h"
#include "test_support.h"
#include "ui/about_box.h"
#include "ui/edit_form.h"

using gui::memory::FormState;
using test::Narrow;

namespace {

// The three windows as start-up makes them, over a watch list in a
// temporary application-data folder.
class MainWindow : public ::testing::Test {
  protected:
    MainWindow() {
        kit.specialFolders[26] = tree.Path() + u"\\AppData";
        kit.programFile = tree.Path() + u"\\prog\\Valmorin.exe";
    }

    void Create() {
        form = std::make_unique<TMainForm>(kit);
        editor = std::make_unique<TEditForm>(kit);
        about = std::make_unique<TAboutBox>(kit, kit, 2026);
        form->EditForm = editor.get();
        form->AboutBox = about.get();
        form->FormCreate();
    }
    FormState& Main() { return *kit.forms.at(0); }
    std::vector<std::string> Row(int row) {
        std::vector<std::string> cells;
        for (int c = 0; c < 7; ++c) cells.push_back(Narrow(form->ListView1->Cell(row, c)));
        return cells;
    }
    // Answers the next editor dialog: sets the directory and confirms.
    void Answer(const std::u16string& dir, bool ok = true) {
        kit.onModal = [this, dir, ok](FormState& f) {
            editor->DirectoryEdit1->SetText(dir);
            ok ? f.PressEnter() : f.PressEscape();
        };
    }
    // Rows as the next start of the program finds them.
    int SavedRows() {
        gui::MemoryToolkit other;
        other.specialFolders = kit.specialFolders;
        TMainForm reader(other);
        reader.Loadoptions();
        return reader.ListView1->RowCount();
    }

    test::TempTree tree;
    gui::MemoryToolkit kit;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TEditForm> editor;
    std::unique_ptr<TAboutBox> about;
};

using Cells = std::vector<std::string>;

TEST_F(MainWindow, LayoutRolesAndStartUp) {
    Create();
    EXPECT_EQ(Narrow(Main().design.caption), "Brennick Valmorin 1.0");
    EXPECT_TRUE(Main().design.main);
    EXPECT_TRUE(Main().design.sizeable);
    EXPECT_EQ(Main().design.clientWidth, 768);
    EXPECT_EQ(Main().design.clientHeight, 534);
    EXPECT_EQ(Main().cancelButton, form->BitBtn3.get());
    EXPECT_EQ(Main().defaultButton, nullptr);
    ASSERT_EQ(Main().tabOrder.size(), 7u);
    EXPECT_EQ(Main().tabOrder.front(), static_cast<gui::Control*>(form->BitBtn1.get()));
    auto& list = static_cast<gui::memory::ListState&>(*form->ListView1);
    ASSERT_EQ(list.columns.size(), 7u);
    EXPECT_EQ(Narrow(list.columns[5].caption), "Ge\xC3\xA4nderte");
    EXPECT_EQ(list.columns[0].width, 250);
    EXPECT_TRUE(list.fill);
    EXPECT_EQ(Narrow(form->progpath), Narrow(tree.Path()) + "\\prog\\");
    EXPECT_EQ(form->PruefEd->Value(), 1000);
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_FALSE(form->Timer2->Enabled());
    EXPECT_EQ(form->Timer2->Interval(), 100u);
}

TEST_F(MainWindow, AddEditAndTheDialogsMemory) {
    Create();
    Answer(u"");
    form->BitBtn1->Click();
    // The first Add takes the dialog's defaults, even an empty directory.
    EXPECT_EQ(Row(0), (Cells{"", "Nein", "cmd", "/c echo %1", "Ja", "Ja", "Nein"}));
    EXPECT_EQ(form->ListView1->Selected(), -1);
    EXPECT_EQ(SavedRows(), 1);

    // A second Add shows what the first left in the dialog.
    kit.onModal = [this](FormState& f) {
        EXPECT_EQ(Narrow(editor->Edit1->Text()), "cmd");
        editor->DirectoryEdit1->SetText(u"D:\\In");
        editor->RadioButton1->SetChecked(true);
        editor->CheckBox3->SetChecked(true);
        f.PressEnter();
    };
    form->BitBtn1->Click();
    EXPECT_EQ(Row(1), (Cells{"D:\\In", "Ja", "cmd", "/c echo %1", "Ja", "Ja", "Ja"}));

    // Edit loads the row; an on/off cell in other capitals reads as off and
    // comes back as "Nein".
    form->ListView1->SetCell(1, 4, u"JA");
    form->ListView1->Select(1);
    kit.onModal = [this](FormState& f) {
        EXPECT_EQ(Narrow(editor->DirectoryEdit1->Text()), "D:\\In");
        EXPECT_FALSE(editor->CheckBox1->Checked());
        EXPECT_TRUE(editor->RadioButton1->Checked());
        editor->Edit2->SetText(u"%2");
        f.PressEnter();
    };
    static_cast<gui::memory::ListState&>(*form->ListView1).DoubleClick();
    EXPECT_EQ(Row(1), (Cells{"D:\\In", "Ja", "cmd", "%2", "Nein", "Ja", "Ja"}));
    EXPECT_EQ(form->ListView1->Selected(), 1);

    // A cancelled Edit leaves the row, and the next Add starts from it.
    form->ListView1->Select(0);
    Answer(u"changed", false);
    form->BitBtn2->Click();
    EXPECT_EQ(Narrow(form->ListView1->Cell(0, 0)), "");
    kit.onModal = [this](FormState& f) {
        EXPECT_EQ(Narrow(editor->DirectoryEdit1->Text()), "changed");
        EXPECT_TRUE(editor->RadioButton2->Checked());
        f.PressEnter();
    };
    form->BitBtn1->Click();
    EXPECT_EQ(form->ListView1->RowCount(), 3);
    EXPECT_EQ(SavedRows(), 3);

    // Nothing selected: no dialog.
    form->ListView1->Select(-1);
    int shown = 0;
    kit.onModal = [&](FormState& f) { ++shown, f.PressEnter(); };
    form->BitBtn2->Click();
    EXPECT_EQ(shown, 0);
}

TEST_F(MainWindow, DeleteAsksAndOnlyYesDeletes) {
    Create();
    Answer(u"A");
    form->BitBtn1->Click();
    Answer(u"B");
    form->BitBtn1->Click();

    form->BitBtn3->Click();  // nothing selected: no question
    EXPECT_TRUE(kit.boxes.empty());

    form->ListView1->Select(0);
    for (int answer : {7, 2}) {  // No, Cancel
        kit.nextAnswer = answer;
        Main().PressEscape();  // Escape acts on the delete button
    }
    ASSERT_EQ(kit.boxes.size(), 2u);
    EXPECT_EQ(Narrow(kit.boxes[0].text),
              "Wollen Sie den markieren Eintrag wirklich entg\xC3\xBCltig entfernen?");
    EXPECT_EQ(Narrow(kit.boxes[0].caption), "L\xC3\xB6schen");
    EXPECT_EQ(kit.boxes[0].flags, 35u);
    EXPECT_EQ(form->ListView1->RowCount(), 2);

    kit.nextAnswer = 6;
    form->BitBtn3->Click();
    ASSERT_EQ(form->ListView1->RowCount(), 1);
    EXPECT_EQ(Narrow(form->ListView1->Cell(0, 0)), "B");
    EXPECT_EQ(SavedRows(), 1);
}

TEST_F(MainWindow, MiniStartsMonitoringOnceAfterTheFirstShowing) {
    for (auto [args, starts] :
         std::vector<std::pair<std::vector<std::u16string>, bool>>{{{u"-mini"}, true},
                                                                   {{u"-mini", u"x"}, true},
                                                                   {{u"-Mini"}, false},
                                                                   {{u"/mini"}, false},
                                                                   {{u"x", u"-mini"}, false},
                                                                   {{}, false}}) {
        kit.forms.clear();
        kit.arguments = args;
        Create();
        form->form->Show();
        EXPECT_EQ(form->Timer2->Enabled(), starts);
        if (!starts) continue;
        form->Timer2Timer();
        EXPECT_FALSE(form->Timer2->Enabled());
        EXPECT_TRUE(form->needtodelete);
        EXPECT_FALSE(Main().visible);
        // Stopped through the icon, the window comes back for good.
        kit.Post(form->Window(), TMainForm::kTrayMessage, 514);
        kit.ProcessMessages();
        EXPECT_TRUE(Main().visible);
        EXPECT_FALSE(form->Timer2->Enabled());
        form->form.reset();
    }
}

TEST_F(MainWindow, SettingsAreRestoredAtShowingSavedAtStartAndClose) {
    Create();
    auto& values = kit.settings.keys[u"Software\\Valmorin"];
    values[u"TMainForm\\PruefEd_Value"] = {gui::SettingsStore::Kind::String, u"5000"};
    form->form->Show();
    EXPECT_EQ(form->PruefEd->Value(), 5000);

    // The interval changed since, then monitoring runs and stops: the
    // window comes back with the new interval, not the old one.
    form->PruefEd->SetValue(3000);
    form->BitBtn4Click();
    EXPECT_EQ(Narrow(values[u"TMainForm\\PruefEd_Value"].text), "3000");
    EXPECT_EQ(form->Timer1->Interval(), 3000u);
    form->WMUser(517);
    EXPECT_EQ(form->PruefEd->Value(), 3000);

    form->PruefEd->SetValue(700);
    Main().CloseBox();
    EXPECT_EQ(Narrow(values[u"TMainForm\\PruefEd_Value"].text), "700");
    EXPECT_EQ(Narrow(values[u"TMainForm\\Visible"].text), "0");
    form->OnDestroy();  // nothing due: the close saved
    EXPECT_EQ(Narrow(values[u"TMainForm\\Visible"].text), "0");
}

TEST_F(MainWindow, IconComesBackWithTheShellAndGoesAtClose) {
    Create();
    form->form->Show();
    form->OnTaskbarCreated();  // idle: no icon
    EXPECT_TRUE(kit.trayIcons.empty());
    form->BitBtn4Click();
    kit.trayIcons.clear();  // the shell restarted
    form->OnTaskbarCreated();
    EXPECT_EQ(kit.trayIcons.size(), 1u);
    // Closed from outside while monitoring: the icon goes, the jobs stay.
    Main().CloseBox();
    EXPECT_TRUE(kit.trayIcons.empty());
    EXPECT_TRUE(form->needtodelete);
    EXPECT_NE(form->jobs, nullptr);
}

TEST_F(MainWindow, EndOfSessionKeepsTheSettingsAndTakesTheIcon) {
    Create();
    auto& values = kit.settings.keys[u"Software\\Valmorin"];
    form->form->Show();
    form->PruefEd->SetValue(2500);
    form->BitBtn4Click();
    form->PruefEd->SetValue(4200);  // typed in the window before the start, say
    form->OnEndSession();
    EXPECT_EQ(Narrow(values[u"TMainForm\\PruefEd_Value"].text), "4200");
    EXPECT_EQ(Narrow(values[u"TMainForm\\Visible"].text), "0");
    EXPECT_TRUE(kit.trayIcons.empty());
}

TEST_F(MainWindow, ClickDuringOutOfMemoryBoxWaitsForTheJobsToBeBuilt) {
    Create();
    for (int i = 0; i < 2; ++i) form->ListView1->SetCell(form->ListView1->AddRow(), 0, tree.Path());
    platform::FailNextBlockAllocs(1);
    platform::WhileOutOfMemoryShown([&] {
        kit.Post(form->Window(), TMainForm::kTrayMessage, 514);
        kit.ProcessMessages();
    });
    form->BitBtn4Click();
    platform::WhileOutOfMemoryShown(nullptr);
    platform::TakeOutOfMemoryText();
    EXPECT_FALSE(form->needtodelete);
    EXPECT_EQ(form->jobs, nullptr);
    EXPECT_TRUE(Main().visible);
    EXPECT_TRUE(form->inbreak);  // as after a stop during the first pass
}

}  // namespace
