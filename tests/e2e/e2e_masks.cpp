#include "e2e_masks.h"

#include <windows.h>
// commctrl.h builds on the windows.h that comes with it.
#include <commctrl.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "e2e_windows.h"

namespace e2e {
namespace {

const wchar_t* const kEditorCaption = L"\u00dcberwachung bearbeiten";
const wchar_t* const kEditButton = L"Bearbeiten";
const wchar_t* const kOk = L"OK";
const UINT kIconMessage = WM_USER;

struct OwnedSearch {
    DWORD pid;
    HWND owner;
    HWND found;
};

BOOL CALLBACK OwnedSearchProc(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<OwnedSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->pid || !IsWindowVisible(w) || GetWindow(w, GW_OWNER) != s->owner ||
        ClassOf(w) != L"#32770")
        return TRUE;
    s->found = w;
    return FALSE;
}

// The folder chooser: whatever its caption, the dialog the editor owns.
HWND ChooserOf(DWORD pid, HWND editor) {
    OwnedSearch s{pid, editor, nullptr};
    EnumWindows(OwnedSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HTREEITEM TreeItem(HWND tree, UINT which, HTREEITEM from) {
    DWORD_PTR item = 0;
    if (!SendMessageTimeoutW(tree, TVM_GETNEXTITEM, which, reinterpret_cast<LPARAM>(from),
                             SMTO_ABORTIFHUNG, 3000, &item))
        return nullptr;
    return reinterpret_cast<HTREEITEM>(item);
}

// The name of the tree's selected item; the item has to live in the
// program's process, as ListCell's does.
std::wstring SelectedName(HANDLE process, HWND tree) {
    const HTREEITEM selected = TreeItem(tree, TVGN_CARET, nullptr);
    if (!selected) return L"<none>";
    const SIZE_T textChars = 512;
    auto* remote = static_cast<std::uint8_t*>(
        VirtualAllocEx(process, nullptr, sizeof(TVITEMW) + textChars * sizeof(wchar_t),
                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!remote) return L"<VirtualAllocEx failed>";
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = selected;
    item.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(TVITEMW));
    item.cchTextMax = static_cast<int>(textChars);
    std::wstring text = L"<no answer>";
    DWORD_PTR done = 0;
    std::vector<wchar_t> buffer(textChars, L'\0');
    if (WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
        SendMessageTimeoutW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, 3000, &done) &&
        done &&
        ReadProcessMemory(process, remote + sizeof(TVITEMW), buffer.data(),
                          (textChars - 1) * sizeof(wchar_t), nullptr))
        text = buffer.data();
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

// As a click on the folder above the selected one.
bool SelectParent(HWND tree) {
    const HTREEITEM parent = TreeItem(tree, TVGN_PARENT, TreeItem(tree, TVGN_CARET, nullptr));
    DWORD_PTR done = 0;
    return parent &&
           SendMessageTimeoutW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent),
                               SMTO_ABORTIFHUNG, 3000, &done) &&
           done;
}

void PressMouse(HWND w) {
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void WriteOptions(const std::wstring& options, const std::vector<std::vector<std::wstring>>& rows,
                  const std::string& what) {
    const std::vector<std::uint8_t> list = EncodeOptions(rows);
    Require(WriteWholeFile(options, std::string(list.begin(), list.end()), CREATE_ALWAYS),
            "options.dat with " + what + " written");
}

HWND ListOf(HWND main) {
    const std::vector<HWND> lists = OfClass(main, L"SysListView32");
    Require(!lists.empty(), "main window: list view found");
    return lists[0];
}

// A run that stopped early leaves no program behind, which would keep
// Wine's desktop, and the driver, waiting.
struct KillAtEnd {
    App& app;
    ~KillAtEnd() { app.Kill(); }
};

void Close(App& app, const std::string& when) {
    PostMessageW(app.main, WM_CLOSE, 0, 0);
    if (!Check(app.WaitExit(10000), when + ": WM_CLOSE ends the process within 10 s")) app.Kill();
    app.CloseHandles();
}

}  // namespace

void RunMasks(const std::wstring& app, const std::wstring& logger, const std::wstring& work,
              const std::wstring& options, const std::wstring& mainCaption) {
    Step("an entry for PDF files but Office's owner files");
    const std::wstring top = work + L"\\masks", scans = top + L"\\scans", year = scans + L"\\2026",
                       staging = top + L"\\staging", launches = top + L"\\launches";
    for (const std::wstring& folder : {top, scans, year, staging, launches}) MakeDir(folder);
    const std::wstring masks = L"*.pdf;!~$*";
    std::vector<std::wstring> row{
        scans + L"\\" + masks, L"Ja", logger, L"%1 %2", L"Ja", L"Ja", L"Ja"};
    Require(WriteWholeFile(scans + L"\\old.pdf", "old\r\n"), "a PDF file there before the start");
    WriteOptions(options, {row}, "an entry with masks");
    SetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", launches.c_str());
    App run;
    const KillAtEnd killAtEnd{run};
    Require(run.Start(app, L"-mini", work), "Valmorin.exe -mini started");
    run.main = WaitTop(run.Pid(), mainCaption, true, 20000);
    Require(run.main != nullptr && WaitVisible(run.main, false, 5000), "monitoring started");
    Sleep(1500);  // past the first pass
    // Made outside and moved in, so that none is seen half-written.
    const std::pair<const wchar_t*, std::wstring> files[] = {
        {L"scan.pdf", scans},        {L"~$scan.pdf", scans}, {L"notes.txt", scans},
        {L"report.pdf.part", scans}, {L"Page.PDF", year},
    };
    for (const auto& [name, to] : files)
        Require(WriteWholeFile(staging + L"\\" + name, "page\r\n") &&
                    MoveFileW((staging + L"\\" + name).c_str(), (to + L"\\" + name).c_str()),
                "moved in: " + Utf8(name));
    Sleep(2500);  // ticks that see the download not yet complete
    Require(MoveFileW((scans + L"\\report.pdf.part").c_str(), (scans + L"\\report.pdf").c_str()),
            "report.pdf.part renamed to report.pdf");
    const std::vector<Launch> got = SettledLaunches(launches, 3, 2000, 15000);
    for (const Launch& l : got) Note("launched: " + Utf8(l.commandLine));
    CheckLaunches(
        got,
        {L"\"" + scans + L"\\scan.pdf\" scan.pdf", L"\"" + year + L"\\Page.PDF\" 2026\\Page.PDF",
         L"\"" + scans + L"\\report.pdf\" report.pdf"},
        "masks");

    Step("the editor's folder button keeps the masks");
    PostMessageW(run.main, kIconMessage, 0, WM_LBUTTONUP);
    Require(WaitVisible(run.main, true, 5000), "monitoring stopped");
    const HWND list = ListOf(run.main);
    ExpectRow(run.pi.hProcess, list, 0, row, "the list shows the directory as typed");
    Require(SelectListRow(run.pi.hProcess, list, 0), "row 0 selected");
    Click(NeedChild(run.main, L"Button", kEditButton, "main window"));
    const HWND editor = WaitTop(run.Pid(), kEditorCaption, true, 5000);
    Require(editor != nullptr, "editor shown");
    const HWND dir = SortedByTop(OfClass(editor, L"Edit"))[0];
    Check(TextOf(dir) == row[0], "editor: the directory as typed (is " + Quoted(TextOf(dir)) + ")");
    const std::vector<HWND> buttons = OfClass(editor, L"TValmorinBrowseButton");
    Require(buttons.size() == 1, "editor: the folder button present");
    auto openChooser = [&] {
        PressMouse(buttons[0]);
        HWND chooser = nullptr;
        Require(
            WaitUntil([&] { return (chooser = ChooserOf(run.Pid(), editor)) != nullptr; }, 5000),
            "the folder button opens the folder chooser");
        Require(!OfClass(chooser, L"SysTreeView32").empty(), "the chooser has a folder tree");
        return chooser;
    };
    auto closeChooser = [&](HWND chooser, int button) {
        Click(GetDlgItem(chooser, button));
        Require(WaitUntil([&] { return !IsWindow(chooser) || !IsWindowVisible(chooser); }, 5000),
                "the chooser closed");
    };
    // Wine's chooser finds its start folder from its second showing in a
    // program on.
    closeChooser(openChooser(), IDCANCEL);
    Check(TextOf(dir) == row[0], "a cancelled chooser leaves the directory as typed");
    const HWND chooser = openChooser();
    const HWND tree = OfClass(chooser, L"SysTreeView32")[0];
    std::wstring at;
    const bool atFolder =
        WaitUntil([&] { return (at = SelectedName(run.pi.hProcess, tree)) == L"scans"; }, 3000);
    Check(atFolder, "the chooser starts at the folder before the masks (at " + Quoted(at) + ")");
    Require(SelectParent(tree), "the folder above chosen in the chooser");
    closeChooser(chooser, IDOK);
    std::wstring edited;
    const bool replaced = WaitUntil(
        [&] {
            edited = TextOf(dir);
            return _wcsicmp(edited.c_str(), (top + L"\\" + masks).c_str()) == 0;
        },
        3000);
    Check(replaced, "the folder replaced and the masks kept (is " + Quoted(edited) + ")");
    Click(NeedChild(editor, L"Button", kOk, "editor"));
    Require(WaitVisible(editor, false, 5000), "editor closed by OK");
    row[0] = edited;
    WaitUntil([&] { return OptionsHold(options, {row}); }, 3000);
    ExpectRow(run.pi.hProcess, list, 0, row, "edited row");
    CheckOptions(options, {row}, "after the folder was chosen");
    Close(run, "masks");
}

void TakeListPicture(const std::wstring& app, const std::wstring& work, const std::wstring& options,
                     const std::wstring& shots, const std::wstring& mainCaption) {
    Step("the list a user would have");
    const std::vector<std::vector<std::wstring>> rows{
        {L"C:\\Scans\\*.pdf;!~$*", L"Ja", L"cmd", L"/c copy %1 \\\\server\\archiv\\scans", L"Ja",
         L"Nein", L"Ja"},
        {L"D:\\Ablage\\Eingang", L"Nein", L"D:\\Skripte\\umwandeln.bat", L"%1", L"Ja", L"Nein",
         L"Ja"},
    };
    WriteOptions(options, rows, "a scans folder and a drop folder");
    App run;
    const KillAtEnd killAtEnd{run};
    Require(run.Start(app, L"", work), "Valmorin.exe started");
    run.main = WaitTop(run.Pid(), mainCaption, true, 20000);
    Require(run.main != nullptr, "main window shown");
    const HWND list = ListOf(run.main);
    for (int i = 0; i < 2; ++i)
        ExpectRow(run.pi.hProcess, list, i, rows[static_cast<size_t>(i)], "the list as typed");
    Sleep(500);  // painted
    Screenshot(run.main, shots + L"\\main-window-list.png");
    Close(run, "the list a user would have");
}

}  // namespace e2e
