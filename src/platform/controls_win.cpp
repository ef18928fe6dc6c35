// The main window's controls: the report list and the number field.
#include "platform/window_win.h"

#include <commctrl.h>

#include <charconv>
#include <cmath>
#include <cwctype>
#include <string>
#include <system_error>

#include "platform/wide.h"

namespace platform::win {
namespace {

struct ColumnLayout {
    const char16_t* caption;
    int width;  // at 96 DPI
};

constexpr ColumnLayout kColumnLayouts[ListView::kColumns] = {
    {u"Verzeichnis", 150}, {u"Unterverzeichnisse", 105}, {u"Befehl", 100},    {u"Parameter", 75},
    {u"Neue Dateien", 75}, {u"Ge\u00e4nderte", 65},      {u"Unsichtbar", 65},
};

// The list view's class exists only once common controls are initialised.
const wchar_t* ListViewClass() {
    static const bool initialised = [] {
        INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)initialised;
    return WC_LISTVIEWW;
}

class Win32ListView final : public ListView, private ChildWindow {
public:
    Win32ListView(Window& parent, Rect bounds)
        : ChildWindow(parent, ListViewClass(),
                      WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE,
                      bounds) {
        HWND hwnd = Handle();
        SendMessageW(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                     LVS_EX_FULLROWSELECT);
        for (int column = 0; column < kColumns; ++column) {
            std::wstring caption = AsWide(kColumnLayouts[column].caption);
            LVCOLUMNW heading{};
            heading.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            heading.cx = Scale(hwnd, kColumnLayouts[column].width);
            heading.pszText = caption.data();
            heading.iSubItem = column;
            SendMessageW(hwnd, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&heading));
        }
    }

    int RowCount() const override {
        return static_cast<int>(SendMessageW(Handle(), LVM_GETITEMCOUNT, 0, 0));
    }

    std::u16string Cell(int row, int column) const override {
        HWND hwnd = Handle();
        if (!hwnd) return {};
        // The control tells the length only by filling the buffer: a text
        // that fills all of it may have been cut.
        std::wstring buffer(256, L'\0');
        for (;;) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = buffer.data();
            item.cchTextMax = static_cast<int>(buffer.size());
            auto length = static_cast<size_t>(
                SendMessageW(hwnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
            if (length + 1 < buffer.size())
                return FromWide(std::wstring_view(item.pszText, length));
            buffer.resize(buffer.size() * 2);
        }
    }

    void SetCell(int row, int column, std::u16string_view text) override {
        std::wstring wide = AsWide(text);
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = wide.data();
        SendMessageW(Handle(), LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    }

    int AddRow() override {
        HWND hwnd = Handle();
        if (!hwnd) return -1;
        wchar_t empty[] = L"";
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = RowCount();
        item.pszText = empty;
        return static_cast<int>(
            SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }

    void DeleteRow(int row) override { SendMessageW(Handle(), LVM_DELETEITEM, row, 0); }

    void Clear() override { SendMessageW(Handle(), LVM_DELETEALLITEMS, 0, 0); }

    void BeginUpdate() override {
        if (updating_++ == 0) SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
    }

    void EndUpdate() override {
        if (updating_ == 0 || --updating_ > 0) return;
        HWND hwnd = Handle();
        SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
    }

    int Selected() const override {
        HWND hwnd = Handle();
        if (!hwnd) return -1;
        return static_cast<int>(
            SendMessageW(hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }

    void Select(int row) override {
        HWND hwnd = Handle();
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        SendMessageW(hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&item));
        if (row < 0) return;
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(hwnd, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        SendMessageW(hwnd, LVM_ENSUREVISIBLE, row, FALSE);
    }

private:
    int updating_ = 0;
};

// Anything but a plain finite number is 0: a NaN or infinity would make no
// sense as an interval.
double ParseNumber(std::wstring_view text) {
    while (!text.empty() && iswspace(text.front())) text.remove_prefix(1);
    while (!text.empty() && iswspace(text.back())) text.remove_suffix(1);
    std::string ascii;
    for (wchar_t c : text) {
        if (c < 0x21 || c > 0x7E) return 0;
        ascii += static_cast<char>(c);
    }
    double value = 0;
    const char* end = ascii.data() + ascii.size();
    auto [stop, error] = std::from_chars(ascii.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return 0;
    return value;
}

std::wstring FormatNumber(double value) {
    // The shortest text that reads back as the same number: whole numbers
    // come without decimals.
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) return L"0";
    return std::wstring(buffer, end);
}

class Win32NumberField final : public NumberField, private ChildWindow {
public:
    Win32NumberField(Window& parent, Rect bounds)
        : ChildWindow(parent, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, bounds) {}

    double Value() const override {
        HWND hwnd = Handle();
        if (!hwnd) return 0;
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
        return ParseNumber(text);
    }

    void SetValue(double value) override { SetWindowTextW(Handle(), FormatNumber(value).c_str()); }
};

}  // namespace

std::unique_ptr<ListView> CreateListView(Window& parent, Rect bounds) {
    return std::make_unique<Win32ListView>(parent, bounds);
}

std::unique_ptr<NumberField> CreateNumberField(Window& parent, Rect bounds) {
    return std::make_unique<Win32NumberField>(parent, bounds);
}

}  // namespace platform::win
