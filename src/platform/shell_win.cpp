#include <windows.h>

#include <shellapi.h>

#include "platform/shell.h"
#include "platform/wide.h"

namespace platform {

Launched ShellOpen(WindowHandle owner, const char16_t* file, const char16_t* params, bool hidden) {
    const std::wstring wideFile = AsWide(file), wideParams = AsWide(params);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The shell's own box for a command it cannot start would be modal, one
    // per file; the program reports failures itself.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = static_cast<HWND>(owner);
    info.lpVerb = L"open";
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParams.c_str();
    info.nShow = hidden ? SW_HIDE : SW_SHOW;
    Launched launched;
    if (!ShellExecuteExW(&info)) {
        launched.error = GetLastError();
        return launched;
    }
    launched.started = true;
    if (info.hProcess) {
        launched.process = reinterpret_cast<intptr_t>(info.hProcess);
        launched.pid = GetProcessId(info.hProcess);
    }
    return launched;
}

bool ProcessEnded(intptr_t process, uint32_t& exitCode) {
    const HANDLE handle = reinterpret_cast<HANDLE>(process);
    DWORD code = 0;
    if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0 || !GetExitCodeProcess(handle, &code))
        return false;
    exitCode = code;
    return true;
}

void ReleaseProcess(intptr_t process) {
    CloseHandle(reinterpret_cast<HANDLE>(process));
}

std::u16string ErrorText(uint32_t error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) message = L"Fehler " + std::to_wstring(error);
    return FromWide(message);
}

}  // namespace platform
