// The in-memory forms and controls: plain data that tests drive as a user
// would (clicks, keys, typing) and look into. Never part of the product.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gui/controls.h"

namespace gui::memory {

class FormState;

struct ControlState : virtual Control {
    void SetFocus() override;
    bool Focused() const override;
    FormState* form = nullptr;
    Rect bounds{};
};

struct ButtonState final : Button, ControlState {
    void Click() override {
        if (onClick) onClick();
    }
    std::u16string caption;
    Glyph glyph = Glyph::None;
};

struct LabelState final : Label, ControlState {
    std::u16string Text() const override { return text; }
    void SetText(std::u16string_view t) override { text = t; }
    std::u16string text;
    bool wordWrap = false;
    Font font;
};

struct EditState : Edit, ControlState {
    std::u16string Text() const override { return text; }
    void SetText(std::u16string_view t) override { text = t; }
    std::u16string text;
};

struct CheckState : RadioButton, ControlState {
    bool Checked() const override { return checked; }
    void SetChecked(bool on) override;
    std::u16string caption;
    bool checked = false;
    bool radio = false;
    std::vector<CheckState*>* group = nullptr;  // the radio group it belongs to
};

struct BrowseState final : BrowseEdit, ControlState {
    std::u16string Text() const override { return text; }
    void SetText(std::u16string_view t) override { text = t; }
    std::u16string text;
};

struct SpinState final : SpinEdit, ControlState {
    std::u16string Text() const override { return text; }
    void PutText(std::u16string_view t) override { text = t; }
    // What the user does.
    void Type(char16_t c);
    void Paste(std::u16string_view clip);
    void Step(int direction);
    void Leave();
    std::u16string text;
};

struct PictureState final : Picture, ControlState {
    bool SetJpeg(const std::vector<uint8_t>& data) override;
    size_t bytes = 0;
};

struct ListState final : ReportList, ControlState {
    int RowCount() const override { return static_cast<int>(rows.size()); }
    std::u16string Cell(int row, int column) const override { return rows.at(row).at(column); }
    void SetCell(int row, int column, std::u16string_view text) override {
        rows.at(row).at(column) = text;
    }
    int AddRow() override;
    void DeleteRow(int row) override;
    void Clear() override;
    void BeginUpdate() override { ++updating; }
    void EndUpdate() override { --updating; }
    int Selected() const override { return selected; }
    void Select(int row) override { selected = row; }
    void SetColumns(const std::vector<Column>& c) override { columns = c; }
    void DoubleClick() {
        if (onDoubleClick) onDoubleClick();
    }
    std::vector<std::vector<std::u16string>> rows;
    std::vector<Column> columns;
    int selected = -1;
    int updating = 0;
    bool fill = false;
};

class ContainerState : public virtual Container {
  public:
    std::unique_ptr<Container> AddPanel(Rect bounds, bool alignTop, bool bevelled,
                                        const Color* background) override;
    std::unique_ptr<Button> AddButton(Rect bounds, std::u16string_view caption,
                                      Glyph glyph) override;
    std::unique_ptr<Label> AddLabel(Rect bounds, std::u16string_view text, bool wordWrap,
                                    const Font& font) override;
    std::unique_ptr<Edit> AddEdit(Rect bounds, std::u16string_view text) override;
    std::unique_ptr<CheckBox> AddCheckBox(Rect bounds, std::u16string_view caption,
                                          bool checked) override;
    std::unique_ptr<RadioButton> AddRadioButton(Rect bounds, std::u16string_view caption,
                                                bool checked) override;
    std::unique_ptr<BrowseEdit> AddBrowseEdit(Rect bounds) override;
    std::unique_ptr<SpinEdit> AddSpinEdit(Rect bounds) override;
    void AddTopLine(Rect) override {}
    std::unique_ptr<Picture> AddPicture(Rect bounds) override;
    std::unique_ptr<ReportList> AddReportList(Rect bounds, bool fill) override;

    FormState* form = nullptr;
    Rect bounds{};
    bool bevelled = false;
    std::unique_ptr<Color> background;

  private:
    template <class T>
    std::unique_ptr<T> Place(std::unique_ptr<T> control, Rect bounds);
    // Radio buttons made one after another share a group.
    std::vector<std::unique_ptr<std::vector<CheckState*>>> groups_;
    bool lastWasRadio_ = false;
};

// A form. ShowModal hands the form to the test's script, which acts as the
// user would and ends it.
class FormState final : public Form, public ContainerState {
  public:
    FormState(WindowEvents& events, FormDesign design, std::function<void(FormState&)>& onModal)
        : events(events), design(std::move(design)), onModal_(onModal) {
        form = this;
    }
    WindowHandle Handle() const override { return const_cast<FormState*>(this); }
    void Show() override;
    void Hide() override { visible = false; }
    bool Visible() const override { return visible; }
    ModalResult ShowModal() override;
    void EndModal(ModalResult result) override { modalResult = result; }
    void SetDefaultButton(Button* b) override { defaultButton = b; }
    void SetCancelButton(Button* b) override { cancelButton = b; }
    void SetTabOrder(const std::vector<Control*>& c) override { tabOrder = c; }
    Placement GetPlacement() const override { return placement; }
    void SetPlacement(const Placement& p) override;
    void SetMaximized(bool on) override { maximized = on; }
    void PostMinimize() override { ++minimizePosts; }
    bool ApplicationMinimized() const override { return appMinimized; }

    // Keys and the close box, as the user presses them.
    void PressEnter();
    void PressEscape();
    void CloseBox();

    WindowEvents& events;
    FormDesign design;
    bool visible = false;
    int shows = 0;
    bool inModal = false;
    ModalResult modalResult = ModalResult::None;
    Button* defaultButton = nullptr;
    Button* cancelButton = nullptr;
    std::vector<Control*> tabOrder;
    Control* focus = nullptr;
    Placement placement{0, 1, -1, -1, -1, -1, 100, 100, 868, 634};
    bool placed = false;  // shown where it was put rather than centred
    bool maximized = false;
    int minimizePosts = 0;
    bool appMinimized = false;

  private:
    std::function<void(FormState&)>& onModal_;
};

class MemorySettings final : public SettingsStore {
  public:
    struct Value {
        Kind kind;
        std::u16string text;
    };
    bool Open(std::u16string_view key) override;
    Kind Read(std::u16string_view subkey, std::u16string_view name, std::u16string& value) override;
    bool Write(std::u16string_view subkey, std::u16string_view name, std::u16string_view value,
               bool& failedValue) override;

    // key → subkey\name → value
    std::map<std::u16string, std::map<std::u16string, Value>> keys;
    std::set<std::u16string> refusedNames;  // writes of these fail
    bool refuseKeys = false;

  private:
    std::u16string open_;
};

}  // namespace gui::memory
