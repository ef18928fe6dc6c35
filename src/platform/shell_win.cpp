#include <windows.h>

#include <shellapi.h>

#include "platform/shell.h"
#include "platform/wide.h"

namespace platform {

void ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params, bool hidden) {
    const std::wstring wideFile = AsWide(file), wideParams = AsWide(params);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The shell's own box for a command it cannot start would be modal, one
    // per file, each holding up the tick that launched it.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = static_cast<HWND>(owner);
    info.lpVerb = L"open";
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParams.c_str();
    info.nShow = hidden ? SW_HIDE : SW_SHOW;
    ShellExecuteExW(&info);
}

}  // namespace platform
