#include "ui/about_box.h"

#include <string>

#include "ui/resource_ids.h"

TAboutBox::TAboutBox(gui::Toolkit& toolkit, gui::FormToolkit& forms, int year) : toolkit_(toolkit) {
    form = forms.CreateForm(*this, {u"Info", 664, 453, false, {u"MS Sans Serif", 11}});
    const gui::Color beige{240, 202, 166};
    Panel1 = form->AddPanel({8, 8, 649, 385}, false, true, &beige);
    auto& p = *Panel1;
    ProgramIcon = p.AddPicture({16, 40, 306, 322});
    ProductName =
        p.AddLabel({8, 8, 406, 27}, u"Brennick Software", false, {u"Arial Narrow", 24, true});
    RightsNotice = p.AddLabel({336, 40, 208, 13}, u"\u00a9 XXXX Brennick Software", false);
    Comments = p.AddLabel({336, 56, 257, 33},
                          u"Entwickelt von Brennick Software. Fragen und Anregungen an "
                          u"kontakt@valmorin.example",
                          true);
    Label1 = p.AddLabel({336, 96, 283, 13}, u"Kleine Werkzeuge, die verl\u00e4sslich arbeiten.",
                        false, {u"", 0, true});
    Label2 =
        p.AddLabel({336, 112, 238, 13}, u"Werkzeuge f\u00fcr Windows seit vielen Jahren.", false);
    Label3 =
        p.AddLabel({336, 131, 238, 121},
                   u"Neuigkeiten, weitere Programme und Hilfe finden Sie auf unserer Web-Seite. "
                   u"Ein Klick auf die Schaltfl\u00e4che unten \u00f6ffnet sie in Ihrem Browser.",
                   true);
    BitBtnXP1 = p.AddButton({336, 240, 169, 25}, kWebAddress, gui::Glyph::Globe);
    BitBtn1 = form->AddButton({241, 404, 181, 37}, u"OK", gui::Glyph::Ok);

    ProgramIcon->SetJpeg(forms.ResourceData(IDR_LOGO_JPEG));
    BitBtnXP1->onClick = [this] { BitBtnXP1Click(); };
    BitBtn1->onClick = [this] { form->EndModal(gui::ModalResult::Ok); };
    form->SetDefaultButton(BitBtn1.get());
    form->SetTabOrder({BitBtnXP1.get(), BitBtn1.get()});
    FormCreate(year);
}

std::u16string TAboutBox::WithYear(std::u16string text, int year) {
    size_t at = text.find(u"XXXX");
    if (at == std::u16string::npos) return text;
    std::string digits = std::to_string(year);
    return text.replace(at, 4, std::u16string(digits.begin(), digits.end()));
}

void TAboutBox::FormCreate(int year) {
    RightsNotice->SetText(WithYear(RightsNotice->Text(), year));
}

void TAboutBox::BitBtnXP1Click() {
    const gui::Launched browser = toolkit_.ShellOpen(form->Handle(), kWebAddress, u"", false);
    if (browser.process) toolkit_.ReleaseProcess(browser.process);
}
