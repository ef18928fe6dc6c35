#include "storage/form_storage.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "base/text.h"

namespace {

constexpr std::u16string_view kSubkey = u"TMainForm";

std::u16string Wide(const std::string& text) {
    return base::Utf8ToUtf16(text);
}
std::string Narrow(std::u16string_view text) {
    return base::Utf16ToUtf8(text);
}

std::u16string Number(int64_t value) {
    return Wide(std::to_string(value));
}

// A whole number in the registry's text; false for anything else.
bool ReadInt(std::u16string_view text, int32_t& value) {
    std::string s = Narrow(text);
    if (s.empty()) return false;
    size_t used = 0;
    try {
        long long v = std::stoll(s, &used, 10);
        if (used != s.size() || v < INT32_MIN || v > INT32_MAX) return false;
        value = static_cast<int32_t>(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Words separated by commas and blanks, a run of separators counting as one.
std::vector<std::u16string> Words(std::u16string_view text) {
    std::vector<std::u16string> words;
    std::u16string word;
    for (char16_t c : text) {
        if (c == u',' || c == u' ') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

void TakeWords(std::u16string_view text, int32_t* const fields[4], const int32_t defaults[4]) {
    std::vector<std::u16string> words = Words(text);
    for (size_t i = 0; i < 4; ++i) {
        int32_t value;
        *fields[i] = i < words.size() && ReadInt(words[i], value) ? value : defaults[i];
    }
}

std::u16string Trim(std::u16string_view text) {
    size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) return {};
    size_t last = text.find_last_not_of(u' ');
    return std::u16string(text.substr(first, last - first + 1));
}

}  // namespace

std::u16string TFormStorage::KeyFor(std::u16string_view programFile) {
    size_t slash = programFile.find_last_of(u"\\/:");
    std::u16string_view name =
        slash == std::u16string_view::npos ? programFile : programFile.substr(slash + 1);
    size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string_view::npos) name = name.substr(0, dot);
    return u"Software\\" + std::u16string(name);
}

std::u16string TFormStorage::FormatNumber(double value) {
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e18)
        return Number(static_cast<int64_t>(value));
    char text[64];
    std::snprintf(text, sizeof text, "%.18G", value);
    std::string s = text;
    for (char& c : s)
        if (c == ',') c = '.';
    return Wide(s);
}

std::u16string TFormStorage::ScreenName(std::u16string_view name) {
    int width = 0, height = 0;
    toolkit_.ScreenSize(width, height);
    return std::u16string(name) + u"(" + Number(width) + u"x" + Number(height) + u")";
}

gui::SettingsStore::Kind TFormStorage::Read(std::u16string_view name, std::u16string& value) {
    value.clear();
    auto kind = toolkit_.Settings().Read(kSubkey, name, value);
    if (kind == gui::SettingsStore::Kind::Other)
        throw std::runtime_error("Invalid data type for '" + Narrow(name) + "'");
    if (kind == gui::SettingsStore::Kind::Missing) value.clear();
    return kind;
}

void TFormStorage::Write(std::u16string_view name, std::u16string_view value) {
    bool failedValue = false;
    if (!toolkit_.Settings().Write(kSubkey, name, value, failedValue)) {
        throw std::runtime_error(failedValue ? "Failed to set data for '" + Narrow(name) + "'"
                                             : "Failed to create key " + Narrow(kSubkey));
    }
}

void TFormStorage::RestoreFormPlacement() {
    restored_ = false;
    if (!toolkit_.Settings().Open(key_)) return;
    std::u16string text;
    int32_t number = 0;

    Read(u"FormVersion", text);
    int32_t version = ReadInt(text, number) ? number : 0;
    if (version >= 0) {
        gui::Placement place = form_.GetPlacement();
        place.showCmd = 0;  // applied to the hidden window: move it, do not show it
        Read(u"Flags", text);
        if (ReadInt(text, number)) place.flags = static_cast<uint32_t>(number);

        bool found = false;
        const int32_t noPosition[4] = {0, 0, 0, 0};
        if (Read(ScreenName(u"MinMaxPos"), text), text.empty()) Read(u"MinMaxPos", text);
        if (!text.empty()) {
            int32_t* const fields[4] = {&place.minX, &place.minY, &place.maxX, &place.maxY};
            TakeWords(text, fields, noPosition);
            found = true;
        }
        if (Read(ScreenName(u"NormPos"), text), text.empty()) Read(u"NormPos", text);
        if (!text.empty()) {
            const int32_t current[4] = {place.left, place.top, place.right, place.bottom};
            int32_t* const fields[4] = {&place.left, &place.top, &place.right, &place.bottom};
            TakeWords(text, fields, current);
            found = true;
        }
        bool sameDensity = Read(u"PixelsPerInch", text) == gui::SettingsStore::Kind::Missing ||
                           (ReadInt(text, number) && number == toolkit_.PixelsPerInch());
        if (found && sameDensity && place.right > place.left) form_.SetPlacement(place);

        Read(u"ShowCmd", text);
        int32_t show = ReadInt(text, number) ? number : 0;
        if (show == 2 || show == 6 || show == 7)
            form_.PostMinimize();
        else
            form_.SetMaximized(show == 3);

        // The interval: a value of another type, or text that is no number,
        // leaves the field alone without a word.
        std::u16string interval;
        auto kind = toolkit_.Settings().Read(kSubkey, u"PruefEd_Value", interval);
        if (kind == gui::SettingsStore::Kind::Missing) interval = FormatNumber(interval_.Value());
        if (kind != gui::SettingsStore::Kind::Other) {
            std::string digits = Narrow(Trim(interval));
            char* end = nullptr;
            double value = digits.empty() ? 0 : std::strtod(digits.c_str(), &end);
            bool plain = digits.find_first_of("xX") == std::string::npos;  // no hexadecimal
            if (plain && !digits.empty() && end == digits.c_str() + digits.size() &&
                std::isfinite(value))
                interval_.SetValue(value);
        }
    }
    restored_ = true;
    saved_ = false;
}

uint32_t TFormStorage::FullReadSeconds() {
    return Count(u"FullReadSeconds", 60);
}

uint32_t TFormStorage::MaxParallel() {
    return std::max<uint32_t>(Count(u"MaxParallel", 8), 1);
}

uint32_t TFormStorage::SlotSeconds() {
    return Count(u"SlotSeconds", 10);
}

uint32_t TFormStorage::Count(std::u16string_view name, uint32_t otherwise) {
    std::u16string text;
    int32_t count = 0;
    if (!toolkit_.Settings().Open(key_) ||
        toolkit_.Settings().Read(u"Monitoring", name, text) != gui::SettingsStore::Kind::String ||
        !ReadInt(text, count) || count < 0)
        return otherwise;
    return static_cast<uint32_t>(count);
}

bool TFormStorage::WaitForWriters() {
    return On(u"WaitForWriters");
}

bool TFormStorage::CatchUp() {
    return On(u"CatchUp");
}

bool TFormStorage::On(std::u16string_view name) {
    std::u16string text;
    int32_t on = 1;
    if (toolkit_.Settings().Open(key_) &&
        toolkit_.Settings().Read(u"Monitoring", name, text) == gui::SettingsStore::Kind::String)
        ReadInt(text, on);
    return on != 0;
}

void TFormStorage::SaveFormPlacement(bool destroying) {
    if (!restored_ || !toolkit_.Settings().Open(key_)) return;
    Write(u"FormVersion", u"0");
    gui::Placement place = form_.GetPlacement();
    Write(u"Flags", Number(place.flags));
    Write(u"ShowCmd", Number(form_.ApplicationMinimized() ? 2 : place.showCmd));
    Write(u"PixelsPerInch", Number(toolkit_.PixelsPerInch()));
    std::u16string minMax = Number(place.minX) + u"," + Number(place.minY) + u"," +
                            Number(place.maxX) + u"," + Number(place.maxY);
    std::u16string norm = Number(place.left) + u"," + Number(place.top) + u"," +
                          Number(place.right) + u"," + Number(place.bottom);
    Write(ScreenName(u"MinMaxPos"), minMax);
    Write(u"MinMaxPos", minMax);
    Write(ScreenName(u"NormPos"), norm);
    Write(u"NormPos", norm);
    Write(u"Visible", destroying ? u"1" : u"0");
    Write(u"PruefEd_Value", FormatNumber(interval_.Value()));
    saved_ = true;
}
