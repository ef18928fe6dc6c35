// The watch editor dialog: the seven values of one entry. A passive form:
// the main window fills it, shows it and takes the values out again. It is
// made once and never reset, so each showing starts with what it last held.
#pragma once

#include <memory>
#include <string>

#include "gui/controls.h"

class TEditForm : public gui::WindowEvents {
public:
    explicit TEditForm(gui::FormToolkit& forms);

    gui::ModalResult ShowModal() { return form->ShowModal(); }
    void FormShow();
    // The directory field's browse button, and Alt+Down in the field.
    void Browse();

    void OnShow() override { FormShow(); }

    std::unique_ptr<gui::Form> form;
    std::unique_ptr<gui::Label> Label1, Label2, Label3, Label4;
    std::unique_ptr<gui::BrowseEdit> DirectoryEdit1;
    std::unique_ptr<gui::RadioButton> RadioButton1, RadioButton2;
    std::unique_ptr<gui::CheckBox> CheckBox1, CheckBox2, CheckBox3;
    std::unique_ptr<gui::Edit> Edit1, Edit2;
    std::unique_ptr<gui::Button> BitBtn1, BitBtn2;
    // The folder the next browse starts at when the field is empty.
    std::u16string InitialDir;

private:
    gui::FormToolkit& forms_;
};
