// The rules of the interval field, apart from the control that shows it: what
// may be typed, how the text reads as a number, clamping, steps, leaving the
// field, paste recovery and when the change notification runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class IntervalModel {
public:
    static constexpr int32_t kMinValue = 100;
    static constexpr int32_t kMaxValue = 10000;
    static constexpr int32_t kIncrement = 100;

    // The control's text. Put writes without raising the control's own
    // change event: the model decides when the notification runs.
    class Text {
    public:
        virtual std::u16string Get() const = 0;
        virtual void Put(std::u16string_view text) = 0;

    protected:
        ~Text() = default;
    };

    IntervalModel(Text& text, std::function<void()> onChange) : text_(text), onChange_(std::move(onChange)) {}

    // Digits, the two signs and control characters; anything else is refused
    // with a beep.
    static bool Accepts(char16_t c);
    // A signed 32-bit decimal number, or false.
    static bool Parse(std::u16string_view text, int32_t& value);
    static std::u16string Format(int32_t value);

    // The text as a number, unclamped; what does not read as one reads as
    // the minimum.
    double Value() const;
    // Clamps, rewrites the text as that whole number and notifies when the
    // text changed.
    void SetValue(double value);
    // The user changed the text: typing, paste or cut.
    void Edited();
    // The focus left the field.
    void Leave();
    // +1 steps up, -1 down.
    void Step(int direction);
    // After a paste: a text that does not read as a number gets back the
    // value from before it.
    void Pasted(double before);

private:
    Text& text_;
    std::function<void()> onChange_;
};
