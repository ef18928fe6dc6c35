// The rows of a report list view.
// clang-format off
#include "gui/window_win.h"  // windows.h, before commctrl.h
// clang-format on

#include <commctrl.h>

#include <string>

#include "platform/wide.h"

namespace gui::win {

namespace list_rows {

int Count(HWND list) {
    return list ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

std::u16string Cell(HWND list, int row, int column) {
    if (!list) return {};
    // The control tells the length only by filling the buffer: a text that
    // fills all of it may have been cut.
    std::wstring buffer(256, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        auto length = static_cast<size_t>(
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < buffer.size()) return platform::FromWide(std::wstring_view(item.pszText, length));
        buffer.resize(buffer.size() * 2);
    }
}

void SetCell(HWND list, int row, int column, std::u16string_view text) {
    if (!list) return;
    std::wstring wide = platform::AsWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

int Add(HWND list) {
    if (!list) return -1;
    wchar_t empty[] = L"";
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = Count(list);
    item.pszText = empty;
    return static_cast<int>(
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void Delete(HWND list, int row) {
    if (list) SendMessageW(list, LVM_DELETEITEM, row, 0);
}

void Clear(HWND list) {
    if (list) SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
}

void BeginUpdate(HWND list, int& depth) {
    if (depth++ == 0 && list) SendMessageW(list, WM_SETREDRAW, FALSE, 0);
}

void EndUpdate(HWND list, int& depth) {
    if (depth == 0 || --depth > 0 || !list) return;
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

int Selected(HWND list) {
    if (!list) return -1;
    return static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void Select(HWND list, int row) {
    if (!list) return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    if (row < 0) return;
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
}

}  // namespace list_rows

}  // namespace gui::win
