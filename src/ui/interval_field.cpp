#include "ui/interval_field.h"

IntervalField::IntervalField(std::unique_ptr<gui::SpinEdit> edit, gui::FormToolkit& toolkit,
                             std::function<void()> onChange)
    : edit_(std::move(edit)), model_(*this, std::move(onChange)) {
    edit_->PutText(IntervalModel::Format(1000));
    edit_->onChar = [&toolkit](char16_t c) {
        if (IntervalModel::Accepts(c)) return true;
        toolkit.Beep();
        return false;
    };
    edit_->onEdited = [this] { model_.Edited(); };
    edit_->onPasting = [this] { beforePaste_ = model_.Value(); };
    edit_->onPasted = [this] { model_.Pasted(beforePaste_); };
    edit_->onStep = [this](int direction) { model_.Step(direction); };
    edit_->onLeave = [this] { model_.Leave(); };
}
