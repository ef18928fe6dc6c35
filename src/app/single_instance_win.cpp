#include "app/single_instance_win.h"

#include <sddl.h>

#include <memory>
#include <string>

#include "gui/form_class_win.h"

namespace app {
namespace {

// The user's SID as text; the user name where the token cannot be read.
std::wstring UserKey() {
    HANDLE raw = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        platform::win::KernelHandle token(raw);
        DWORD size = 0;
        GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
        auto buffer = std::make_unique<BYTE[]>(size ? size : 1);
        wchar_t* text = nullptr;
        if (size && GetTokenInformation(token.Get(), TokenUser, buffer.get(), size, &size) &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
            std::wstring key(text);
            LocalFree(text);
            return key;
        }
    }
    wchar_t name[257] = {};
    DWORD length = 257;
    return GetUserNameW(name, &length) ? std::wstring(name) : std::wstring(L"-");
}

}  // namespace

SingleInstance::SingleInstance()
    : mutex_(CreateMutexW(nullptr, TRUE, (L"Local\\Brennick.Valmorin." + UserKey()).c_str())) {
    // A mutex that cannot be made at all stops nobody from working.
    owned_ = !mutex_ || GetLastError() != ERROR_ALREADY_EXISTS;
}

bool SingleInstance::Claim(DWORD patience) {
    const DWORD result = WaitForSingleObject(mutex_.Get(), patience);
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return owned_;
}

bool HandOver(const wchar_t* caption, DWORD patience) {
    const ULONGLONG until = GetTickCount64() + patience;
    HWND main = nullptr;
    while (!(main = FindWindowW(gui::win::kFormClass, caption)) && GetTickCount64() < until)
        Sleep(50);
    if (!main) return false;
    if (!IsWindowVisible(main)) return true;
    if (IsIconic(main)) ShowWindow(main, SW_RESTORE);
    // An open editor or box is what the user should meet.
    SetForegroundWindow(GetLastActivePopup(main));
    return true;
}

}  // namespace app
