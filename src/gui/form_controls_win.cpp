// The controls of a form: panels, buttons, labels, edits, check and radio
// buttons, separator lines, pictures and the report list.
#include <algorithm>
#include <cstring>
#include <utility>

#include "gui/forms_win.h"
#include "base/jpeg.h"
#include "platform/wide.h"

namespace gui::win {
namespace {

const wchar_t* PanelClass() {
    static const PlainWindowClass panelClass(L"TValmorinPanel", COLOR_BTNFACE);
    return panelClass.Name();
}

const wchar_t* PictureClass() {
    static const PlainWindowClass pictureClass(L"TValmorinPicture", COLOR_BTNFACE);
    return pictureClass.Name();
}

// The common controls' classes exist only once they are initialised.
void InitCommonControlClasses() {
    static const bool initialised = [] {
        INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)initialised;
}

// A memory device context with a bitmap selected into it while it lives.
class MemoryDc {
public:
    MemoryDc(HDC compatible, HBITMAP bitmap) : dc_(CreateCompatibleDC(compatible)) {
        if (dc_) previous_ = SelectObject(dc_, bitmap);
    }
    ~MemoryDc() {
        if (!dc_) return;
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

class Win32Panel final : public ContainerOf<Container>, public NativeControl {
public:
    Win32Panel(const Parent& parent, Rect bounds, bool alignTop, bool bevelled,
               const Color* background)
        : NativeControl(parent.form, parent.hwnd, PanelClass(), u"", WS_CLIPCHILDREN,
                        WS_EX_CONTROLPARENT, bounds),
          alignTop_(alignTop),
          bevelled_(bevelled),
          left_(bounds.left) {
        if (background) {
            colour_ = RGB(background->r, background->g, background->b);
            brush_.Reset(CreateSolidBrush(colour_));
        }
    }
    ~Win32Panel() override { DestroyHandle(); }

    void OnParentSize(int width, int) override {
        if (!alignTop_ || !Handle()) return;
        RECT frame;
        GetWindowRect(Handle(), &frame);
        SetWindowPos(Handle(), nullptr, 0, 0, std::max(0, width - Scaled(left_)),
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void OnDpiChanged() override {
        NativeControl::OnDpiChanged();
        RECT parent;
        if (Handle() && GetClientRect(GetParent(Handle()), &parent))
            OnParentSize(parent.right, parent.bottom);
    }

protected:
    Parent Where() const override { return {SharedForm(), Handle()}; }

    bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        switch (message) {
            case WM_ERASEBKGND: {
                RECT client;
                GetClientRect(Handle(), &client);
                FillRect(reinterpret_cast<HDC>(wparam), &client,
                         brush_.Get() ? brush_.Get() : GetSysColorBrush(COLOR_BTNFACE));
                result = 1;
                return true;
            }
            case WM_PAINT: {
                PaintDc dc(Handle());
                if (bevelled_) {
                    RECT client;
                    GetClientRect(Handle(), &client);
                    DrawEdge(dc.Get(), &client, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
                }
                result = 0;
                return true;
            }
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
                // Labels and buttons on a coloured panel show its colour.
                if (!brush_.Get()) return false;
                SetBkColor(reinterpret_cast<HDC>(wparam), colour_);
                SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
                result = reinterpret_cast<LRESULT>(brush_.Get());
                return true;
            case WM_SIZE:
                if (bevelled_) InvalidateRect(Handle(), nullptr, TRUE);
                break;
            default:
                break;
        }
        return HandleChildMessages(Handle(), message, wparam, lparam, result);
    }

private:
    bool alignTop_, bevelled_;
    int left_;  // at 96 DPI
    COLORREF colour_ = 0;
    GdiObject<HBRUSH> brush_;
};

class Win32Button final : public ControlBase<Button> {
public:
    Win32Button(const Parent& parent, Rect bounds, std::u16string_view caption, Glyph glyph)
        : ControlBase(parent.form, parent.hwnd, L"BUTTON", caption, kFocusable | BS_PUSHBUTTON, 0,
                      bounds),
          glyph_(glyph) {
        ApplyGlyph();
    }
    ~Win32Button() override { DestroyHandle(); }

    void Click() override {
        std::function<void()> handler = onClick;
        if (handler) handler();
    }

    bool OnCommand(WORD code) override {
        if (code != BN_CLICKED) return false;
        Raise(onClick);
        return true;
    }

    bool Press() override {
        if (!Handle() || !IsWindowEnabled(Handle())) return false;
        Raise(onClick);
        return true;
    }

    void OnDpiChanged() override {
        ControlBase::OnDpiChanged();
        ApplyGlyph();
    }

private:
    void ApplyGlyph() {
        if (!Handle()) return;
        // The button keeps using the old icon until it has the new one.
        auto icon = std::make_unique<OwnedIcon>(LoadGlyph(glyph_, Scaled(16)));
        if (icon->Get()) {
            SendMessageW(Handle(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon->Get()));
            // A little room between the picture and the caption.
            RECT margin{Scaled(4), 0, 0, 0};
            SendMessageW(Handle(), BCM_SETTEXTMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
        }
        icon_ = std::move(icon);
    }

    Glyph glyph_;
    std::unique_ptr<OwnedIcon> icon_;
};

class Win32Label final : public ControlBase<Label> {
public:
    Win32Label(const Parent& parent, Rect bounds, std::u16string_view text, bool wordWrap,
               const Font& font)
        : ControlBase(parent.form, parent.hwnd, L"STATIC", text,
                      WS_GROUP | WS_CLIPSIBLINGS | (wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP), 0,
                      bounds),
          wordWrap_(wordWrap),
          font_(font) {
        ApplyOwnFont();
        Fit();
    }
    ~Win32Label() override { DestroyHandle(); }

    std::u16string Text() const override { return TextOf(Handle()); }
    void SetText(std::u16string_view text) override {
        if (!Handle()) return;
        SetWindowTextW(Handle(), platform::AsWide(text).c_str());
        Fit();
    }

    void OnDpiChanged() override {
        ControlBase::OnDpiChanged();
        ApplyOwnFont();
        Fit();
    }

private:
    void ApplyOwnFont() {
        if (!Handle() || (font_.face.empty() && font_.height == 0 && !font_.bold)) return;
        auto font = std::make_unique<GdiObject<HFONT>>(CreateFormFont(Form(), font_));
        if (font->Get())
            SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font->Get()), TRUE);
        ownFont_ = std::move(font);
    }

    // Labels grow to show all of their text, as the designer's labels did
    // that were sized for their text in another font: a wrapping label
    // downwards, any other to the right.
    void Fit() {
        HWND hwnd = Handle();
        if (!hwnd) return;
        std::wstring text = platform::AsWide(TextOf(hwnd));
        if (text.empty()) return;
        RECT client;
        GetClientRect(hwnd, &client);
        RECT needed = client;
        {
            WindowDc dc(hwnd);
            if (!dc.Get()) return;
            HGDIOBJ previous = SelectObject(
                dc.Get(), reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
            DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &needed,
                      DT_CALCRECT | DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0));
            SelectObject(dc.Get(), previous);
        }
        int width = wordWrap_ ? client.right : std::max(client.right, needed.right);
        int height = wordWrap_ ? std::max(client.bottom, needed.bottom) : client.bottom;
        if (width != client.right || height != client.bottom)
            SetWindowPos(hwnd, nullptr, 0, 0, width, height,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    bool wordWrap_;
    Font font_;
    std::unique_ptr<GdiObject<HFONT>> ownFont_;
};

class Win32Edit final : public ControlBase<Edit> {
public:
    Win32Edit(const Parent& parent, Rect bounds, std::u16string_view text)
        : ControlBase(parent.form, parent.hwnd, L"EDIT", text, kFocusable | ES_AUTOHSCROLL,
                      WS_EX_CLIENTEDGE, bounds) {}

    std::u16string Text() const override { return TextOf(Handle()); }
    void SetText(std::u16string_view text) override {
        if (Handle()) SetWindowTextW(Handle(), platform::AsWide(text).c_str());
    }
};

class Win32CheckBox : public ControlBase<RadioButton> {
public:
    Win32CheckBox(const Parent& parent, Rect bounds, std::u16string_view caption, DWORD style)
        : ControlBase(parent.form, parent.hwnd, L"BUTTON", caption, style, 0, bounds) {}

    bool Checked() const override {
        return Handle() && SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    void SetChecked(bool checked) override {
        if (Handle()) SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    bool OnCommand(WORD code) override { return code == BN_CLICKED; }
};

bool IsRadio(HWND hwnd) {
    wchar_t name[16] = {};
    if (!GetClassNameW(hwnd, name, 16) || lstrcmpiW(name, L"BUTTON") != 0) return false;
    LONG_PTR type = GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
}

class Win32RadioButton final : public Win32CheckBox {
public:
    using Win32CheckBox::Win32CheckBox;

    // Checking one unchecks the rest of its group: the radio buttons among
    // its siblings from the last group start before it to the next one.
    void SetChecked(bool checked) override {
        HWND self = Handle();
        if (!self) return;
        SendMessageW(self, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        if (!checked) return;
        HWND first = self;
        while (!(GetWindowLongPtrW(first, GWL_STYLE) & WS_GROUP)) {
            HWND previous = GetWindow(first, GW_HWNDPREV);
            if (!previous) break;
            first = previous;
        }
        for (HWND other = first; other; other = GetWindow(other, GW_HWNDNEXT)) {
            if (other != first && (GetWindowLongPtrW(other, GWL_STYLE) & WS_GROUP)) break;
            if (other != self && IsRadio(other)) SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
};

class Win32Picture final : public ControlBase<Picture> {
public:
    Win32Picture(const Parent& parent, Rect bounds)
        : ControlBase(parent.form, parent.hwnd, PictureClass(), u"", 0, 0, bounds) {}
    ~Win32Picture() override { DestroyHandle(); }

    bool SetJpeg(const std::vector<uint8_t>& data) override {
        base::JpegImage image;
        if (!base::DecodeJpeg(data, image) || image.width <= 0 || image.height <= 0) return false;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = image.width;
        info.bmiHeader.biHeight = -image.height;  // top-down, as decoded
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap || !bits) return false;
        // DIB rows are padded to whole 32-bit words.
        size_t row = static_cast<size_t>(image.width) * 3;
        size_t stride = (row + 3) & ~size_t{3};
        auto* target = static_cast<uint8_t*>(bits);
        for (int y = 0; y < image.height; ++y)
            std::memcpy(target + stride * static_cast<size_t>(y),
                        image.bgr.data() + row * static_cast<size_t>(y), row);
        GdiFlush();
        bitmap_.Reset(bitmap);
        width_ = image.width;
        height_ = image.height;
        if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
        return true;
    }

protected:
    bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message == WM_ERASEBKGND && bitmap_.Get()) {
            result = 1;
            return true;
        }
        if (message != WM_PAINT || !bitmap_.Get()) return false;
        PaintDc dc(Handle());
        RECT client;
        GetClientRect(Handle(), &client);
        MemoryDc source(dc.Get(), bitmap_.Get());
        SetStretchBltMode(dc.Get(), HALFTONE);
        SetBrushOrgEx(dc.Get(), 0, 0, nullptr);
        StretchBlt(dc.Get(), 0, 0, client.right, client.bottom, source.Get(), 0, 0, width_, height_,
                   SRCCOPY);
        result = 0;
        return true;
    }

private:
    GdiObject<HBITMAP> bitmap_;
    int width_ = 0, height_ = 0;
};

class Win32ReportList final : public ControlBase<ReportList> {
public:
    Win32ReportList(const Parent& parent, Rect bounds, bool fill)
        : ControlBase(parent.form, parent.hwnd, (InitCommonControlClasses(), WC_LISTVIEWW), u"",
                      kFocusable | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_EDITLABELS,
                      WS_EX_CLIENTEDGE, bounds),
          fill_(fill),
          left_(bounds.left),
          top_(bounds.top) {
        SendMessageW(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                     LVS_EX_FULLROWSELECT);
        if (fill_) {
            RECT client;
            GetClientRect(parent.hwnd, &client);
            OnParentSize(client.right, client.bottom);
        }
    }

    void SetColumns(const std::vector<Column>& columns) override {
        HWND hwnd = Handle();
        if (!hwnd) return;
        while (SendMessageW(hwnd, LVM_DELETECOLUMN, 0, 0)) {
        }
        widths_.clear();
        for (size_t index = 0; index < columns.size(); ++index) {
            std::wstring caption = platform::AsWide(columns[index].caption);
            LVCOLUMNW heading{};
            heading.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            heading.cx = Scaled(columns[index].width);
            widths_.push_back(columns[index].width);
            heading.pszText = caption.data();
            heading.iSubItem = static_cast<int>(index);
            SendMessageW(hwnd, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&heading));
        }
    }

    int RowCount() const override { return list_rows::Count(Handle()); }
    std::u16string Cell(int row, int column) const override {
        return list_rows::Cell(Handle(), row, column);
    }
    void SetCell(int row, int column, std::u16string_view text) override {
        list_rows::SetCell(Handle(), row, column, text);
    }
    int AddRow() override { return list_rows::Add(Handle()); }
    void DeleteRow(int row) override { list_rows::Delete(Handle(), row); }
    void Clear() override { list_rows::Clear(Handle()); }
    void BeginUpdate() override { list_rows::BeginUpdate(Handle(), updating_); }
    void EndUpdate() override { list_rows::EndUpdate(Handle(), updating_); }
    int Selected() const override { return list_rows::Selected(Handle()); }
    void Select(int row) override { list_rows::Select(Handle(), row); }

    void OnParentSize(int width, int height) override {
        if (!fill_ || !Handle()) return;
        int left = Scaled(left_), top = Scaled(top_);
        SetWindowPos(Handle(), nullptr, left, top, std::max(0, width - left),
                     std::max(0, height - top), SWP_NOZORDER | SWP_NOACTIVATE);
    }

    bool OnNotify(NMHDR& header, LRESULT& result) override {
        switch (header.code) {
            case LVN_BEGINLABELEDITW:
                result = FALSE;  // editing allowed
                return true;
            case LVN_ENDLABELEDITW:
                // A null text is a cancelled edit.
                result = reinterpret_cast<NMLVDISPINFOW&>(header).item.pszText != nullptr;
                return true;
            case NM_DBLCLK:
                if (reinterpret_cast<NMITEMACTIVATE&>(header).iItem >= 0) Raise(onDoubleClick);
                result = 0;
                return true;
            case LVN_COLUMNCLICK:
                result = 0;
                return true;
            default:
                return false;
        }
    }

private:
    bool fill_;
    void OnDpiChanged() override {
        ControlBase::OnDpiChanged();
        HWND hwnd = Handle();
        if (!hwnd) return;
        for (size_t index = 0; index < widths_.size(); ++index)
            SendMessageW(hwnd, LVM_SETCOLUMNWIDTH, index, Scaled(widths_[index]));
        RECT parent;
        if (GetClientRect(GetParent(hwnd), &parent)) OnParentSize(parent.right, parent.bottom);
    }

    int left_, top_;           // at 96 DPI
    std::vector<int> widths_;  // of the columns, at 96 DPI
    int updating_ = 0;
};

}  // namespace

std::unique_ptr<Container> AddPanelTo(const Parent& parent, Rect bounds, bool alignTop,
                                      bool bevelled, const Color* background) {
    return std::make_unique<Win32Panel>(parent, bounds, alignTop, bevelled, background);
}

std::unique_ptr<Button> AddButtonTo(const Parent& parent, Rect bounds, std::u16string_view caption,
                                    Glyph glyph) {
    return std::make_unique<Win32Button>(parent, bounds, caption, glyph);
}

std::unique_ptr<Label> AddLabelTo(const Parent& parent, Rect bounds, std::u16string_view text,
                                  bool wordWrap, const Font& font) {
    return std::make_unique<Win32Label>(parent, bounds, text, wordWrap, font);
}

std::unique_ptr<Edit> AddEditTo(const Parent& parent, Rect bounds, std::u16string_view text) {
    return std::make_unique<Win32Edit>(parent, bounds, text);
}

std::unique_ptr<CheckBox> AddCheckBoxTo(const Parent& parent, Rect bounds,
                                        std::u16string_view caption, bool checked) {
    auto box =
        std::make_unique<Win32CheckBox>(parent, bounds, caption, kFocusable | BS_AUTOCHECKBOX);
    box->SetChecked(checked);
    return box;
}

std::unique_ptr<RadioButton> AddRadioButtonTo(const Parent& parent, Rect bounds,
                                              std::u16string_view caption, bool checked,
                                              bool startsGroup) {
    // Until one of the group is checked, its first button is the tab stop;
    // from then on the button control moves the tab stop to the checked one.
    DWORD style = BS_AUTORADIOBUTTON | (startsGroup ? WS_GROUP | WS_TABSTOP : 0);
    auto radio = std::make_unique<Win32RadioButton>(parent, bounds, caption, style);
    if (checked) radio->SetChecked(true);
    return radio;
}

void AddTopLineTo(const Parent& parent, Rect bounds) {
    if (!parent.hwnd) return;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_GROUP | SS_ETCHEDHORZ;
    HWND line = CreateWindowExW(0, L"STATIC", L"", style, 0, 0, 0, 0, parent.hwnd, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (!line) return;
    // Above the labels, which clip their siblings: a label reaching down to
    // the line must not cover it.
    SetWindowPos(line, HWND_TOP, Scale(line, bounds.left), Scale(line, bounds.top),
                 Scale(line, bounds.width), 2, SWP_NOACTIVATE);
}

std::unique_ptr<Picture> AddPictureTo(const Parent& parent, Rect bounds) {
    return std::make_unique<Win32Picture>(parent, bounds);
}

std::unique_ptr<ReportList> AddReportListTo(const Parent& parent, Rect bounds, bool fill) {
    return std::make_unique<Win32ReportList>(parent, bounds, fill);
}

}  // namespace gui::win
