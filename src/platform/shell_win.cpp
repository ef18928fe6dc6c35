#include <windows.h>

#include <shellapi.h>

#include "platform/shell.h"
#include "platform/wide.h"

namespace platform {

void ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params, bool hidden) {
    ShellExecuteW(static_cast<HWND>(owner), L"open", AsWide(file).c_str(), AsWide(params).c_str(),
                  nullptr, hidden ? SW_HIDE : SW_SHOW);
}

}  // namespace platform
