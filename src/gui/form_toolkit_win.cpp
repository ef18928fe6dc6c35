// What the forms need of Windows beyond windows and controls: the folder
// chooser, the error mode, the beep, the screen, resources and settings.
#include <shlobj.h>

#include <memory>
#include <type_traits>

#include "gui/toolkit_win.h"
#include "platform/wide.h"
#include "gui/window_win.h"

namespace gui {
namespace {

struct CoTaskFreer {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};
using ItemList = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, CoTaskFreer>;

// Opens the chooser at the start folder once it is up.
int CALLBACK ChooserStarted(HWND dialog, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

// "\" names the root of the current drive, which the chooser cannot take.
std::wstring ChooserStart(std::u16string_view start) {
    std::wstring path = platform::AsWide(start);
    if (path == L"\\") {
        wchar_t current[MAX_PATH] = {};
        DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
        if (length >= 2 && length < MAX_PATH && current[1] == L':')
            return {current[0], L':', L'\\'};
    }
    return path;
}

}  // namespace

Win32Toolkit::Win32Toolkit() = default;
Win32Toolkit::~Win32Toolkit() = default;

std::unique_ptr<Form> Win32Toolkit::CreateForm(WindowEvents& events, const FormDesign& design) {
    return win::CreateForm(*this, events, design);
}

bool Win32Toolkit::SelectDirectory(Window& owner, std::u16string_view start,
                                   std::u16string& chosen) {
    if (selectDirectoryHook) return selectDirectoryHook(start, chosen);
    const std::wstring first = ChooserStart(start);
    wchar_t name[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = static_cast<HWND>(owner.Handle());
    info.pszDisplayName = name;
    // Existing folders of the file system only; no button for new ones.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    info.lpfn = ChooserStarted;
    info.lParam = reinterpret_cast<LPARAM>(first.c_str());
    ItemList list(SHBrowseForFolderW(&info));
    if (!list) return false;
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(list.get(), path)) return false;
    chosen = platform::FromWide(path);
    return true;
}

bool Win32Toolkit::DirectoryExists(std::u16string_view path) {
    const DWORD attributes = GetFileAttributesW(platform::AsWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t Win32Toolkit::SetErrorMode(uint32_t mode) {
    return ::SetErrorMode(mode);
}

void Win32Toolkit::Beep() {
    MessageBeep(MB_OK);
}

SettingsStore& Win32Toolkit::Settings() {
    if (!settings_) settings_ = CreateRegistrySettings();
    return *settings_;
}

int Win32Toolkit::PixelsPerInch() {
    win::ScreenDc screen;
    const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

void Win32Toolkit::ScreenSize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

std::vector<uint8_t> Win32Toolkit::ResourceData(int id) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!bytes) return {};
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
}

}  // namespace gui
