#include "ui/interval_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool IntervalModel::Accepts(char16_t c) { return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c < 32; }

bool IntervalModel::Parse(std::u16string_view text, int32_t& value) {
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
    if (at == text.size()) return false;
    int64_t number = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < u'0' || text[at] > u'9') return false;
        number = number * 10 + (text[at] - u'0');
        if (number > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
    }
    if (negative) number = -number;
    if (number > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(number);
    return true;
}

std::u16string IntervalModel::Format(int32_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

double IntervalModel::Value() const {
    int32_t value;
    return Parse(text_.Get(), value) ? value : kMinValue;
}

void IntervalModel::SetValue(double value) {
    double clamped = std::isnan(value) ? kMinValue : std::clamp<double>(value, kMinValue, kMaxValue);
    std::u16string fresh = Format(static_cast<int32_t>(std::lround(clamped)));
    if (fresh == text_.Get()) return;
    text_.Put(fresh);
    if (onChange_) onChange_();
}

void IntervalModel::Edited() {
    if (onChange_) onChange_();
}

void IntervalModel::Leave() { SetValue(Value()); }

void IntervalModel::Step(int direction) { SetValue(Value() + direction * kIncrement); }

void IntervalModel::Pasted(double before) {
    int32_t ignored;
    if (!Parse(text_.Get(), ignored)) SetValue(before);
}
