// The program under test as the driver sees it: its process, its windows and
// what they show on the screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {

std::wstring TextOf(HWND w);
std::wstring ClassOf(HWND w);
// Top-level window of the given process with exactly this caption (and this
// window class, when one is given); hidden windows count too.
HWND FindTop(DWORD pid, const std::wstring& caption, const wchar_t* cls = nullptr);
std::vector<HWND> Descendants(HWND parent);
std::vector<HWND> OfClass(HWND parent, const wchar_t* cls);
HWND FindChild(HWND parent, const wchar_t* cls, const std::wstring& text);
HWND NeedChild(HWND parent, const wchar_t* cls, const std::wstring& text, const std::string& where);
RECT RectOf(HWND w);
std::vector<HWND> SortedByTop(std::vector<HWND> ws);
void Click(HWND button);
bool SetText(HWND edit, const std::wstring& text);
int CheckState(HWND button);
bool SetChecked(HWND button, bool on);
// With visible set, a hidden window of the same caption left over from an
// earlier showing is passed over.
HWND WaitTop(DWORD pid, const std::wstring& caption, bool visible, DWORD timeoutMs,
             const wchar_t* cls = nullptr);
bool WaitVisible(HWND w, bool visible, DWORD timeoutMs);
HWND FocusOf(HWND w);
void PressKey(HWND w, UINT vk);

bool Capture(RECT r, int& width, int& height, std::vector<std::uint8_t>& rgb);
void SaveCapture(RECT r, const std::wstring& path);
void Screenshot(HWND w, const std::wstring& path);
RECT TrayArea();
long TrayInk();

std::wstring ListCell(HANDLE process, HWND list, int item, int sub);
int ListCount(HWND list);
void ExpectRow(HANDLE process, HWND list, int item, const std::vector<std::wstring>& cells,
               const std::string& when);
bool SelectListRow(HANDLE process, HWND list, int item);
bool ListRowSelected(HWND list, int item);

struct App {
    PROCESS_INFORMATION pi{};
    HWND main = nullptr;

    bool Start(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd);
    DWORD Pid() const { return pi.dwProcessId; }
    bool WaitExit(DWORD timeoutMs) const;
    DWORD ExitCode() const;
    // Only for a run that went wrong: a program left behind would keep Wine
    // and the caller waiting.
    void Kill();
    void CloseHandles();
};

}  // namespace e2e
