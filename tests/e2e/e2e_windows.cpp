#include "e2e_windows.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

#include "png_writer.h"

namespace e2e {
namespace {

struct TopSearch {
    DWORD pid;
    std::wstring caption;
    const wchar_t* cls;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK TopSearchProc(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<TopSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->pid) return TRUE;
    if (s->visibleOnly && !IsWindowVisible(w)) return TRUE;
    if (s->cls && ClassOf(w) != s->cls) return TRUE;
    wchar_t buffer[512];
    const int n = GetWindowTextW(w, buffer, 512);
    if (std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0) == s->caption) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND SearchTop(DWORD pid, const std::wstring& caption, const wchar_t* cls, bool visibleOnly) {
    TopSearch s{pid, caption, cls, visibleOnly, nullptr};
    EnumWindows(TopSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK CollectProc(HWND w, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
    return TRUE;
}

bool SavePng(const std::wstring& path, int width, int height,
             const std::vector<std::uint8_t>& rgb) {
    const std::vector<std::uint8_t> png = EncodePng(width, height, rgb);
    return WriteWholeFile(path, std::string(png.begin(), png.end()), CREATE_ALWAYS);
}

}  // namespace

std::wstring TextOf(HWND w) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &length))
        return L"<no answer>";
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, 3000, &copied))
        return L"<no answer>";
    return std::wstring(buffer.data(), std::min<size_t>(copied, length));
}

std::wstring ClassOf(HWND w) {
    wchar_t buffer[256];
    const int n = GetClassNameW(w, buffer, 256);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

HWND FindTop(DWORD pid, const std::wstring& caption, const wchar_t* cls) {
    return SearchTop(pid, caption, cls, false);
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectProc, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> OfClass(HWND parent, const wchar_t* cls) {
    std::vector<HWND> out;
    for (HWND w : Descendants(parent))
        if (_wcsicmp(ClassOf(w).c_str(), cls) == 0) out.push_back(w);
    return out;
}

HWND FindChild(HWND parent, const wchar_t* cls, const std::wstring& text) {
    for (HWND w : OfClass(parent, cls))
        if (TextOf(w) == text) return w;
    return nullptr;
}

HWND NeedChild(HWND parent, const wchar_t* cls, const std::wstring& text,
               const std::string& where) {
    HWND w = FindChild(parent, cls, text);
    Require(w != nullptr, where + ": " + Utf8(cls) + " " + Quoted(text) + " present");
    return w;
}

RECT RectOf(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

std::vector<HWND> SortedByTop(std::vector<HWND> ws) {
    std::sort(ws.begin(), ws.end(), [](HWND a, HWND b) { return RectOf(a).top < RectOf(b).top; });
    return ws;
}

// Posted, never sent: the click may open a modal loop that would not return
// until the dialog closes.
void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

bool SetText(HWND edit, const std::wstring& text) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, 3000, &result) != 0;
}

int CheckState(HWND button) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 3000, &result)) return -1;
    return static_cast<int>(result);
}

// Brings a check box or radio button to the wanted state the way a user does,
// by clicking it, so that whatever the program does on a click happens too.
bool SetChecked(HWND button, bool on) {
    const int wanted = on ? BST_CHECKED : BST_UNCHECKED;
    if (CheckState(button) != wanted) Click(button);
    return WaitUntil([&] { return CheckState(button) == wanted; }, 2000);
}

HWND WaitTop(DWORD pid, const std::wstring& caption, bool visible, DWORD timeoutMs,
             const wchar_t* cls) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = SearchTop(pid, caption, cls, visible);
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

bool WaitVisible(HWND w, bool visible, DWORD timeoutMs) {
    return WaitUntil([&] { return (IsWindowVisible(w) != FALSE) == visible; }, timeoutMs);
}

HWND FocusOf(HWND w) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Posted, so the key reaches the program's queue as a typed one does and its
// message loop sees it before the control it is meant for.
void PressKey(HWND w, UINT vk) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(w, WM_KEYDOWN, vk, scan | 1);
    PostMessageW(w, WM_KEYUP, vk, scan | 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

// Copies a rectangle of the screen as RGB rows; in a Wine virtual desktop the
// screen holds what is drawn there, window frames included.
bool Capture(RECT r, int& width, int& height, std::vector<std::uint8_t>& rgb) {
    const int sx = GetSystemMetrics(SM_CXSCREEN), sy = GetSystemMetrics(SM_CYSCREEN);
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, sx);
    r.bottom = std::min<LONG>(r.bottom, sy);
    width = r.right - r.left;
    height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT) !=
             FALSE;
        GdiFlush();
        SelectObject(memory, old);
        const auto* bgrx = static_cast<const std::uint8_t*>(bits);
        const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
        rgb.resize(n * 3);
        for (size_t i = 0; i < n; ++i) {
            rgb[i * 3] = bgrx[i * 4 + 2];
            rgb[i * 3 + 1] = bgrx[i * 4 + 1];
            rgb[i * 3 + 2] = bgrx[i * 4];
        }
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

void SaveCapture(RECT r, const std::wstring& path) {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    const bool captured = Capture(r, width, height, rgb);
    if (!Check(captured,
               Format("screenshot %s (%dx%d) captured", Utf8(path).c_str(), width, height)))
        return;
    bool uniform = true;
    for (size_t i = 3; i < rgb.size() && uniform; i += 3)
        uniform = rgb[i] == rgb[0] && rgb[i + 1] == rgb[1] && rgb[i + 2] == rgb[2];
    if (uniform)
        Note("screenshot " + Utf8(path) + " is a single colour: the capture probably saw nothing");
    Check(SavePng(path, width, height, rgb), "screenshot written to " + Utf8(path));
}

// The window is brought to the front and given time to paint first, so the
// picture shows it and not what lay on top of it.
void Screenshot(HWND w, const std::wstring& path) {
    SetForegroundWindow(w);
    BringWindowToTop(w);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    Sleep(600);
    SaveCapture(RectOf(w), path);
}

// The notification area of Wine's desktop task bar: its right end, where the
// icons are drawn (Wine keeps no window per icon). Empty when there is no
// task bar.
RECT TrayArea() {
    HWND bar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!bar || !IsWindowVisible(bar)) return RECT{};
    RECT r = RectOf(bar);
    r.left = std::max<LONG>(r.left, r.right - 160);
    return r;
}

// Pixels of the notification area that differ from its background colour
// (the most frequent one): a new icon raises the number, its removal lowers
// it again. Wine shows its task bar only while it has something to show, so
// no task bar counts as an empty one.
long TrayInk() {
    const RECT r = TrayArea();
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    if (IsRectEmpty(&r)) return 0;
    if (!Capture(r, width, height, rgb)) return -1;
    std::map<std::uint32_t, long> counts;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        ++counts[(static_cast<std::uint32_t>(rgb[i]) << 16) |
                 (static_cast<std::uint32_t>(rgb[i + 1]) << 8) | rgb[i + 2]];
    long most = 0, total = 0;
    for (const auto& [colour, n] : counts) {
        most = std::max(most, n);
        total += n;
    }
    return total - most;
}

// Reads one cell of a list view in another process: the item structure and
// the text buffer have to live in that process's memory.
std::wstring ListCell(HANDLE process, HWND list, int item, int sub) {
    const SIZE_T textChars = 1024;
    const SIZE_T size = sizeof(LVITEMW) + textChars * sizeof(wchar_t);
    auto* remote = static_cast<std::uint8_t*>(
        VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!remote) return L"<VirtualAllocEx failed>";
    LVITEMW lv{};
    lv.mask = LVIF_TEXT;
    lv.iItem = item;
    lv.iSubItem = sub;
    lv.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(LVITEMW));
    lv.cchTextMax = static_cast<int>(textChars);
    std::wstring text = L"<no answer>";
    if (WriteProcessMemory(process, remote, &lv, sizeof lv, nullptr)) {
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item),
                                reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 3000,
                                &length)) {
            std::vector<wchar_t> buffer(textChars, L'\0');
            if (ReadProcessMemory(process, remote + sizeof(LVITEMW), buffer.data(),
                                  textChars * sizeof(wchar_t), nullptr))
                text.assign(buffer.data(), std::min<size_t>(length, textChars - 1));
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

int ListCount(HWND list) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 3000, &count))
        return -1;
    return static_cast<int>(count);
}

void ExpectRow(HANDLE process, HWND list, int item, const std::vector<std::wstring>& cells,
               const std::string& when) {
    for (int i = 0; i < 7; ++i) {
        const std::wstring got = ListCell(process, list, item, i);
        Check(got == cells[static_cast<size_t>(i)],
              Format("%s: cell %d is %s (is %s)", when.c_str(), i,
                     Quoted(cells[static_cast<size_t>(i)]).c_str(), Quoted(got).c_str()));
    }
}

// Selects and focuses a row as a click on it would, so that the program hears
// of it the same way; like ListCell, the item has to live in that process.
bool SelectListRow(HANDLE process, HWND list, int item) {
    void* remote =
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote) return false;
    LVITEMW lv{};
    lv.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    lv.state = LVIS_SELECTED | LVIS_FOCUSED;
    DWORD_PTR result = 0;
    const bool ok =
        WriteProcessMemory(process, remote, &lv, sizeof lv, nullptr) &&
        SendMessageTimeoutW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                            reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 3000, &result) &&
        result != 0;
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ok;
}

bool ListRowSelected(HWND list, int item) {
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_SELECTED,
                             SMTO_ABORTIFHUNG, 3000, &state))
        return false;
    return (state & LVIS_SELECTED) != 0;
}

bool App::Start(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd) {
    std::wstring line = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    return CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          cwd.c_str(), &si, &pi) != FALSE;
}

bool App::WaitExit(DWORD timeoutMs) const {
    return WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD App::ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

void App::Kill() {
    if (pi.hProcess && WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
    }
}

void App::CloseHandles() {
    if (pi.hProcess) CloseHandle(pi.hProcess);
    if (pi.hThread) CloseHandle(pi.hThread);
    pi = {};
    main = nullptr;
}

}  // namespace e2e
