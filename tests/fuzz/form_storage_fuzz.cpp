// Any value types and texts in the window settings: showing the window (which
// restores them) and closing it (which saves them) never crash.
#include <cstdint>
#include <string>

#include "gui/memory/toolkit_memory.h"
#include "ui/main_form.h"

namespace {

const char16_t* const kNames[] = {
    u"FormVersion",      u"Flags",  u"ShowCmd",         u"PixelsPerInch",
    u"MinMaxPos",        u"NormPos", u"MinMaxPos(1920x1080)", u"NormPos(1920x1080)",
    u"Visible",          u"PruefEd_Value",
};

}  // namespace

// The input is a run of values: a byte that picks the name (and in its top
// bit the kind, string or other), a length byte, and that many bytes, each
// one UTF-16 unit of the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gui::MemoryToolkit kit;
    kit.programFile = u"C:\\Valmorin.exe";
    auto& values = kit.settings.keys[u"Software\\Valmorin"];
    for (size_t at = 0; at + 2 <= size;) {
        const uint8_t pick = data[at], length = data[at + 1];
        at += 2;
        std::u16string text;
        for (; text.size() < length && at < size; ++at) text += static_cast<char16_t>(data[at]);
        const auto kind = pick & 0x80 ? gui::SettingsStore::Kind::Other
                                      : gui::SettingsStore::Kind::String;
        values[std::u16string(u"TMainForm\\") + kNames[(pick & 0x7F) % std::size(kNames)]] = {kind, text};
    }
    TMainForm form(kit);
    form.Window().Show();
    form.OnClose();
    form.Window().Show();
    return 0;
}
