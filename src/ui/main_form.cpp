#include "ui/main_form.h"

#include "monitor/dyna_array.h"
#include "ui/about_box.h"
#include "ui/edit_form.h"

namespace {

constexpr char16_t kYes[] = u"Ja";
constexpr char16_t kNo[] = u"Nein";
constexpr uint32_t kQuestionFlags = 35;  // Yes, No and Cancel, question mark
constexpr int kIdYes = 6;

const char16_t* Switch(bool on) {
    return on ? kYes : kNo;
}

}  // namespace

TMainForm::TMainForm(gui::Toolkit& toolkit) : toolkit_(toolkit) {
    gui::FormToolkit& forms = toolkit_.Forms();
    gui::FormDesign design{kCaption, 768, 534, true, {u"Tahoma", 11}};
    design.main = true;
    form = forms.CreateForm(*this, design);

    Panel1 = form->AddPanel({0, 0, 768, 65}, true, false, nullptr);
    auto& p = *Panel1;
    BitBtn1 = p.AddButton({8, 2, 145, 25}, u"Hinzuf\u00fcgen...", gui::Glyph::All);
    BitBtn2 = p.AddButton({159, 2, 145, 25}, u"Bearbeiten", gui::Glyph::Retry);
    BitBtn3 = p.AddButton({310, 2, 145, 25}, u"L\u00f6schen", gui::Glyph::Cancel);
    BitBtn4 =
        p.AddButton({461, 3, 288, 25}, u"\u00dcberwachung starten (Start mit -mini als Parameter)",
                    gui::Glyph::Ignore);
    Label1 = p.AddLabel({8, 33, 156, 13}, u"\u00dcberpr\u00fcfen aller x Millisekunden:", false);
    PruefEd = std::make_unique<IntervalField>(p.AddSpinEdit({170, 33, 121, 21}), forms,
                                              [this] { PruefEdChange(); });
    BitBtn5 = p.AddButton({310, 33, 145, 25}, u"\u00dcber das Programm...", gui::Glyph::Help);

    ListView1 = form->AddReportList({0, 65, 768, 469}, true);
    ListView1->SetColumns({{u"Verzeichnis", 250},
                           {u"Unterverzeichnisse", 120},
                           {u"Befehl", 200},
                           {u"Parameter", 100},
                           {u"Neue Dateien", 80},
                           {u"Ge\u00e4nderte", 80},
                           {u"Unsichtbar", 75}});

    Timer1 = toolkit_.CreateTimer(*form, [this] { Timer1Timer(); });
    Timer2 = toolkit_.CreateTimer(*form, [this] { Timer2Timer(); });
    Timer2->SetInterval(100);
    launchTimer_ = toolkit_.CreateTimer(*form, [this] { RunLaunches(); });
    launchTimer_->SetInterval(100);
    FormStorage1 = std::make_unique<TFormStorage>(forms, *form, *PruefEd,
                                                  TFormStorage::KeyFor(toolkit_.ProgramFile()));

    BitBtn1->onClick = [this] { BitBtn1Click(); };
    BitBtn2->onClick = [this] { BitBtn2Click(); };
    BitBtn3->onClick = [this] { BitBtn3Click(); };
    BitBtn4->onClick = [this] { BitBtn4Click(); };
    BitBtn5->onClick = [this] { BitBtn5Click(); };
    ListView1->onDoubleClick = [this] { BitBtn2Click(); };
    form->SetCancelButton(BitBtn3.get());
    form->SetTabOrder({BitBtn1.get(), BitBtn2.get(), BitBtn3.get(), BitBtn4.get(),
                       &PruefEd->Control(), BitBtn5.get(), ListView1.get()});
}

TMainForm::~TMainForm() {
    for (const Running& run : running_) toolkit_.ReleaseProcess(run.process);
    ReleaseJobs();
}

void TMainForm::RowToEditor(int row) {
    TEditForm& e = *EditForm;
    e.DirectoryEdit1->SetText(ListView1->Cell(row, 0));
    if (IsOn(ListView1->Cell(row, 1)))
        e.RadioButton1->SetChecked(true);
    else
        e.RadioButton2->SetChecked(true);
    e.Edit1->SetText(ListView1->Cell(row, 2));
    e.Edit2->SetText(ListView1->Cell(row, 3));
    e.CheckBox1->SetChecked(IsOn(ListView1->Cell(row, 4)));
    e.CheckBox2->SetChecked(IsOn(ListView1->Cell(row, 5)));
    e.CheckBox3->SetChecked(IsOn(ListView1->Cell(row, 6)));
}

void TMainForm::EditorToRow(int row) {
    const TEditForm& e = *EditForm;
    ListView1->SetCell(row, 0, e.DirectoryEdit1->Text());
    ListView1->SetCell(row, 1, Switch(e.RadioButton1->Checked()));
    ListView1->SetCell(row, 2, e.Edit1->Text());
    ListView1->SetCell(row, 3, e.Edit2->Text());
    ListView1->SetCell(row, 4, Switch(e.CheckBox1->Checked()));
    ListView1->SetCell(row, 5, Switch(e.CheckBox2->Checked()));
    ListView1->SetCell(row, 6, Switch(e.CheckBox3->Checked()));
}

void TMainForm::BitBtn1Click() {
    if (EditForm->ShowModal() != gui::ModalResult::Ok) return;
    EditorToRow(ListView1->AddRow());
    Saveoptions();
}

void TMainForm::BitBtn2Click() {
    const int row = ListView1->Selected();
    if (row < 0) return;
    RowToEditor(row);
    if (EditForm->ShowModal() != gui::ModalResult::Ok) return;
    EditorToRow(row);
    Saveoptions();
}

void TMainForm::BitBtn3Click() {
    if (ListView1->Selected() < 0) return;
    if (toolkit_.MessageBox(u"Wollen Sie den markieren Eintrag wirklich entg\u00fcltig entfernen?",
                            u"L\u00f6schen", kQuestionFlags) != kIdYes)
        return;
    // The question was modal; the selection is looked up again after it.
    const int row = ListView1->Selected();
    if (row < 0) return;
    ListView1->DeleteRow(row);
    Saveoptions();
}

void TMainForm::BitBtn5Click() {
    AboutBox->ShowModal();
}

void TMainForm::FormCreate() {
    const std::u16string file = toolkit_.ProgramFile();
    const size_t slash = file.find_last_of(u'\\');
    progpath = slash == std::u16string::npos ? std::u16string() : file.substr(0, slash + 1);
    if (progpath.empty() || progpath.back() != u'\\') progpath += u'\\';
    Loadoptions();
}

void TMainForm::FormShow() {
    if (first) return;
    first = true;
    const std::vector<std::u16string> arguments = toolkit_.Arguments();
    if (!arguments.empty() && arguments[0] == u"-mini") Timer2->SetEnabled(true);
}

void TMainForm::Timer2Timer() {
    Timer2->SetEnabled(false);
    BitBtn4Click();
}

void TMainForm::FormClose() {
    if (!needtodelete) return;
    // The program ends: a tick that runs stops, and the end of the session
    // may not wait for it. What was launched so far is saved now.
    Timer1->SetEnabled(false);
    inbreak = true;
    toolkit_.TrayIconDelete(Handle(), 0);
    OweWaiting(stopReason_.empty() ? u"Programm geschlossen" : stopReason_);
    SaveStates(true);
}

void TMainForm::OnShow() {
    // A failed restore is reported and the window's own handling still runs.
    toolkit_.Guarded([this] { FormStorage1->RestoreFormPlacement(); });
    toolkit_.Guarded([this] { FormShow(); });
}

void TMainForm::OnClose() {
    toolkit_.Guarded([this] { FormStorage1->SaveFormPlacement(false); });
    toolkit_.Guarded([this] { FormClose(); });
}

void TMainForm::OnDestroy() {
    if (FormStorage1->SaveDue())
        toolkit_.Guarded([this] { FormStorage1->SaveFormPlacement(true); });
}

void TMainForm::OnEndSession() {
    // Windows ends the process without closing the window: keep what a
    // close keeps, and take the icon along.
    stopReason_ = u"Ende der Windows-Sitzung";
    OnClose();
}

void TMainForm::OnTaskbarCreated() {
    // A restarted shell has lost every icon; without this one, a hidden
    // window could not be brought back.
    if (needtodelete) toolkit_.TrayIconAdd(Handle(), 0, toolkit_.ApplicationIcon(), toolkit_.title);
}

void TMainForm::OnUserMessage(uint32_t message, intptr_t lparam) {
    if (message == kTrayMessage) WMUser(lparam);
    if (message == kLaunchMessage) RunLaunches();
}
