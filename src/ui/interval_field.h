// The interval field PruefEd: a spin edit run by the interval rules, with
// the value in milliseconds (100 to 10000, 1000 at first).
#pragma once

#include <functional>
#include <memory>

#include "gui/controls.h"
#include "ui/interval_model.h"

class IntervalField final : public gui::NumberField, private IntervalModel::Text {
public:
    IntervalField(std::unique_ptr<gui::SpinEdit> edit, gui::FormToolkit& toolkit,
                  std::function<void()> onChange);

    double Value() const override { return model_.Value(); }
    void SetValue(double value) override { model_.SetValue(value); }
    gui::SpinEdit& Control() { return *edit_; }

private:
    std::u16string Get() const override { return edit_->Text(); }
    void Put(std::u16string_view text) override { edit_->PutText(text); }

    std::unique_ptr<gui::SpinEdit> edit_;
    IntervalModel model_;
    double beforePaste_ = IntervalModel::kMinValue;
};
