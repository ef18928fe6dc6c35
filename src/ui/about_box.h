// The About dialog: the maker's logo and words, the year, the web page button.
#pragma once

#include <memory>
#include <string>

#include "platform/controls.h"

class TAboutBox : public platform::WindowEvents {
  public:
    static constexpr char16_t kWebAddress[] = u"http://valmorin.example";

    // `year` is the current local year, put into the rights line once.
    TAboutBox(platform::Toolkit& toolkit, platform::FormToolkit& forms, int year);

    platform::ModalResult ShowModal() { return form->ShowModal(); }
    void BitBtnXP1Click();

    // The text with its first "XXXX" replaced by the year.
    static std::u16string WithYear(std::u16string text, int year);

    std::unique_ptr<platform::Form> form;
    std::unique_ptr<platform::Container> Panel1;
    std::unique_ptr<platform::Picture> ProgramIcon;
    std::unique_ptr<platform::Label> ProductName, RightsNotice, Comments, Label1, Label2, Label3;
    std::unique_ptr<platform::Button> BitBtnXP1, BitBtn1;

  private:
    void FormCreate(int year);

    platform::Toolkit& toolkit_;
};
