#include "gui/toolkit.h"

#include <exception>

#include "base/text.h"

namespace gui {

void Toolkit::ErrorBox(std::u16string_view text) {
    std::u16string shown(text);
    if (shown.empty() || shown.back() != u'.') shown += u'.';
    MessageBox(shown, title, kErrorBoxFlags);
}

void Toolkit::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ErrorBox(base::Utf8ToUtf16(error.what()));
    }
}

}  // namespace gui
