#include "gui/memory/forms_memory.h"

#include <algorithm>

namespace gui::memory {

void ControlState::SetFocus() {
    if (form) form->focus = this;
}

bool ControlState::Focused() const { return form && form->focus == this; }

void CheckState::SetChecked(bool on) {
    checked = on;
    if (on && group)
        for (CheckState* other : *group)
            if (other != this) other->checked = false;
}

void SpinState::Type(char16_t c) {
    if (onChar && !onChar(c)) return;
    if (c == u'\b') {
        if (!text.empty()) text.pop_back();
    } else if (c >= 32) {
        text += c;
    } else {
        return;
    }
    if (onEdited) onEdited();
}

void SpinState::Paste(std::u16string_view clip) {
    if (onPasting) onPasting();
    text += clip;
    if (onEdited) onEdited();
    if (onPasted) onPasted();
}

void SpinState::Step(int direction) {
    SetFocus();
    if (onStep) onStep(direction);
}

void SpinState::Leave() {
    if (form && form->focus == this) form->focus = nullptr;
    if (onLeave) onLeave();
}

bool PictureState::SetJpeg(const std::vector<uint8_t>& data) {
    bytes = data.size();
    return data.size() > 4 && data[0] == 0xFF && data[1] == 0xD8;
}

int ListState::AddRow() {
    rows.emplace_back(kColumns);
    return RowCount() - 1;
}

void ListState::DeleteRow(int row) {
    rows.erase(rows.begin() + row);
    if (selected == row) selected = -1;
    else if (selected > row) --selected;
}

void ListState::Clear() {
    rows.clear();
    selected = -1;
}

template <class T>
std::unique_ptr<T> ContainerState::Place(std::unique_ptr<T> control, Rect where) {
    control->form = form;
    control->bounds = where;
    return control;
}

std::unique_ptr<Container> ContainerState::AddPanel(Rect where, bool, bool bevel, const Color* color) {
    lastWasRadio_ = false;
    auto panel = std::make_unique<ContainerState>();
    panel->form = form;
    panel->bounds = where;
    panel->bevelled = bevel;
    if (color) panel->background = std::make_unique<Color>(*color);
    return panel;
}

std::unique_ptr<Button> ContainerState::AddButton(Rect where, std::u16string_view caption, Glyph glyph) {
    lastWasRadio_ = false;
    auto button = std::make_unique<ButtonState>();
    button->caption = caption;
    button->glyph = glyph;
    return Place(std::move(button), where);
}

std::unique_ptr<Label> ContainerState::AddLabel(Rect where, std::u16string_view text, bool wordWrap, const Font& font) {
    lastWasRadio_ = false;
    auto label = std::make_unique<LabelState>();
    label->text = text;
    label->wordWrap = wordWrap;
    label->font = font;
    return Place(std::move(label), where);
}

std::unique_ptr<Edit> ContainerState::AddEdit(Rect where, std::u16string_view text) {
    lastWasRadio_ = false;
    auto edit = std::make_unique<EditState>();
    edit->text = text;
    return Place(std::move(edit), where);
}

std::unique_ptr<CheckBox> ContainerState::AddCheckBox(Rect where, std::u16string_view caption, bool checked) {
    lastWasRadio_ = false;
    auto box = std::make_unique<CheckState>();
    box->caption = caption;
    box->checked = checked;
    return Place(std::move(box), where);
}

std::unique_ptr<RadioButton> ContainerState::AddRadioButton(Rect where, std::u16string_view caption, bool checked) {
    if (!lastWasRadio_) groups_.push_back(std::make_unique<std::vector<CheckState*>>());
    lastWasRadio_ = true;
    auto radio = std::make_unique<CheckState>();
    radio->caption = caption;
    radio->radio = true;
    radio->group = groups_.back().get();
    radio->group->push_back(radio.get());
    radio->SetChecked(checked);
    return Place(std::move(radio), where);
}

std::unique_ptr<BrowseEdit> ContainerState::AddBrowseEdit(Rect where) {
    lastWasRadio_ = false;
    return Place(std::make_unique<BrowseState>(), where);
}

std::unique_ptr<SpinEdit> ContainerState::AddSpinEdit(Rect where) {
    lastWasRadio_ = false;
    return Place(std::make_unique<SpinState>(), where);
}

std::unique_ptr<Picture> ContainerState::AddPicture(Rect where) {
    lastWasRadio_ = false;
    return Place(std::make_unique<PictureState>(), where);
}

std::unique_ptr<ReportList> ContainerState::AddReportList(Rect where, bool fill) {
    lastWasRadio_ = false;
    auto list = std::make_unique<ListState>();
    list->fill = fill;
    return Place(std::move(list), where);
}

void FormState::Show() {
    visible = true;
    ++shows;
    events.OnShow();
}

ModalResult FormState::ShowModal() {
    modalResult = ModalResult::None;
    inModal = true;
    Show();
    if (onModal_) onModal_(*this);
    if (modalResult == ModalResult::None) modalResult = ModalResult::Cancel;  // the script closed it
    inModal = false;
    visible = false;
    return modalResult;
}

void FormState::SetPlacement(const Placement& p) {
    placement = p;
    placed = true;
}

void FormState::PressEnter() {
    // A focused button takes Enter itself; otherwise the default button does.
    auto* focused = dynamic_cast<Button*>(focus);
    if (Button* target = focused ? focused : defaultButton) target->Click();
}

void FormState::PressEscape() {
    if (cancelButton) cancelButton->Click();
}

void FormState::CloseBox() {
    if (inModal) {
        EndModal(ModalResult::Cancel);
    } else {
        events.OnClose();
        visible = false;
    }
}

bool MemorySettings::Open(std::u16string_view key) {
    if (refuseKeys) return false;
    open_ = key;
    keys[open_];
    return true;
}

SettingsStore::Kind MemorySettings::Read(std::u16string_view subkey, std::u16string_view name, std::u16string& value) {
    auto& values = keys[open_];
    auto found = values.find(std::u16string(subkey) + u"\\" + std::u16string(name));
    if (found == values.end()) return Kind::Missing;
    value = found->second.text;
    return found->second.kind;
}

bool MemorySettings::Write(std::u16string_view subkey, std::u16string_view name, std::u16string_view value,
                           bool& failedValue) {
    failedValue = refusedNames.count(std::u16string(name)) > 0;
    if (failedValue) return false;
    keys[open_][std::u16string(subkey) + u"\\" + std::u16string(name)] = {Kind::String, std::u16string(value)};
    return true;
}

}  // namespace gui::memory
