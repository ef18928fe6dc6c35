#include "ui/edit_form.h"

#include "base/name_mask.h"

namespace {

constexpr uint32_t kQuietErrorMode = 0x8001;  // no critical-error or open-file boxes

constexpr char16_t kHelp[] =
    u"Platzhalter: \r\n"
    u"1% Dateiname der ge\u00e4nderten Datei mit vollem Pfad\r\n"
    u"2% Dateiname nur mit Unterverzeichnis ohne Basispfad\r\n"
    u"Wenn Befehle wie copy direkt ausgef\u00fchrt werden sollen\r\n"
    u"(ohne BAT Datei), dann unter Befehl zum Ausf\u00fchren \"cmd\"\r\n"
    u"schreiben und als Parameter dann \"/c \" und dann den copy Befehl\r\n"
    u"\r\n"
    u"Dateinamen und Pfade mit Leerzeichen m\u00fcssen in doppelte \r\n"
    u"Anr\u00fchrungszeichen verpackt werden, also \"c:\\dies ist ein test\\test.exe\"\r\n"
    u"statt c:\\dies ist ein test\\test.exe";

}  // namespace

TEditForm::TEditForm(gui::FormToolkit& forms) : forms_(forms) {
    form = forms.CreateForm(*this, {u"\u00dcberwachung bearbeiten", 428, 486, false, {u"Tahoma", 11}});
    auto& f = *form;
    Label1 = f.AddLabel({8, 8, 123, 13}, u"\u00dcberwachtes Verzeichnis:", false);
    DirectoryEdit1 = f.AddBrowseEdit({8, 24, 412, 21});
    RadioButton1 = f.AddRadioButton({8, 51, 243, 17}, u"Unterverzeichnisse \u00fcberwachen", false);
    RadioButton2 = f.AddRadioButton({8, 74, 265, 17}, u"Unterverzeichnisse nicht \u00fcberwachen", true);
    CheckBox1 = f.AddCheckBox({8, 96, 225, 17}, u"Bei neuen Dateien", true);
    CheckBox2 = f.AddCheckBox({8, 119, 225, 17}, u"Bei ge\u00e4nderten Dateien", true);
    CheckBox3 = f.AddCheckBox({8, 151, 361, 17}, u"Unsichtbar ausf\u00fchren (ohne, dass sich ein Fenster \u00f6ffnet)",
                              false);
    Label2 = f.AddLabel({8, 185, 109, 13}, u"Befehl zum Ausf\u00fchren:", false);
    Edit1 = f.AddEdit({8, 204, 412, 21}, u"cmd");
    Label4 = f.AddLabel({8, 225, 54, 13}, u"Parameter:", false);
    Edit2 = f.AddEdit({8, 244, 412, 21}, u"/c echo %1");
    Label3 = f.AddLabel({8, 271, 412, 170}, kHelp, true);
    f.AddTopLine({0, 436, 428, 50});
    BitBtn1 = f.AddButton({110, 452, 75, 25}, u"OK", gui::Glyph::Ok);
    BitBtn2 = f.AddButton({191, 453, 112, 25}, u"Abbrechen", gui::Glyph::Cancel);

    BitBtn1->onClick = [this] { form->EndModal(gui::ModalResult::Ok); };
    BitBtn2->onClick = [this] { form->EndModal(gui::ModalResult::Cancel); };
    DirectoryEdit1->onBrowse = [this] { Browse(); };
    f.SetDefaultButton(BitBtn1.get());
    f.SetCancelButton(BitBtn2.get());
    f.SetTabOrder({BitBtn1.get(), DirectoryEdit1.get(), RadioButton1.get(), RadioButton2.get(), BitBtn2.get(),
                   Edit1.get(), Edit2.get(), CheckBox1.get(), CheckBox2.get(), CheckBox3.get()});
}

void TEditForm::FormShow() { DirectoryEdit1->SetFocus(); }

void TEditForm::Browse() {
    // The chooser knows folders only: it starts at the field's folder and
    // replaces that, and the masks after it stay as typed.
    const std::u16string text = DirectoryEdit1->Text();
    const base::MaskedFolder field = base::SplitMasks(text);
    std::u16string start(field.folder);
    if (start.empty()) start = InitialDir.empty() ? u"\\" : InitialDir;
    if (!forms_.DirectoryExists(start)) start = u"\\";

    // A drive without a medium must not bring up the system's own error box
    // while the chooser looks at it.
    uint32_t previous = forms_.SetErrorMode(kQuietErrorMode);
    std::u16string chosen;
    bool ok = false;
    try {
        ok = forms_.SelectDirectory(*form, start, chosen);
    } catch (...) {
        forms_.SetErrorMode(previous);
        throw;
    }
    forms_.SetErrorMode(previous);
    DirectoryEdit1->SetFocus();
    if (!ok) return;
    std::u16string folder = chosen;
    if (!field.masks.empty()) {
        if (folder.empty() || folder.back() != u'\\') folder += u'\\';
        folder += field.masks;
    }
    DirectoryEdit1->SetText(folder);
    if (forms_.DirectoryExists(chosen)) InitialDir = chosen;
}
