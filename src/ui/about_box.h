// The About dialog: the maker's logo and words, the year, the web page button.
#pragma once

#include <memory>
#include <string>

#include "gui/controls.h"

class TAboutBox : public gui::WindowEvents {
  public:
    static constexpr char16_t kWebAddress[] = u"http://valmorin.example";

    // `year` is the current local year, put into the rights line once.
    TAboutBox(gui::Toolkit& toolkit, gui::FormToolkit& forms, int year);

    gui::ModalResult ShowModal() { return form->ShowModal(); }
    void BitBtnXP1Click();

    // The text with its first "XXXX" replaced by the year.
    static std::u16string WithYear(std::u16string text, int year);

    std::unique_ptr<gui::Form> form;
    std::unique_ptr<gui::Container> Panel1;
    std::unique_ptr<gui::Picture> ProgramIcon;
    std::unique_ptr<gui::Label> ProductName, RightsNotice, Comments, Label1, Label2, Label3;
    std::unique_ptr<gui::Button> BitBtnXP1, BitBtn1;

  private:
    void FormCreate(int year);

    gui::Toolkit& toolkit_;
};
