// Drives Valmorin.exe through its windows as a user would and checks what
// it leaves behind: the watch list file, the launched commands and the
// registry values. Exits 0 only when every check passed.
//
//   valmorin_e2e_driver [Valmorin.exe [screenshot-folder]]
//
// Without arguments the program is looked for two folders above this one
// (the build folder), and screenshots go to <build>\..\e2e.
#include "e2e_launches.h"
#include "e2e_masks.h"
#include "e2e_session.h"
#include "e2e_windows.h"
// shellapi.h and shlobj.h build on the windows.h that comes with it.
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace e2e {
namespace {

// Captions exactly as the program shows them; escapes keep the source
// independent of the compiler's idea of the file encoding.
const wchar_t* const kMainCaption = L"Brennick Valmorin 1.0";
const wchar_t* const kEditorCaption = L"\u00dcberwachung bearbeiten";
const wchar_t* const kAboutCaption = L"Info";
const wchar_t* const kAddButton = L"Hinzuf\u00fcgen...";
const wchar_t* const kEditButton = L"Bearbeiten";
const wchar_t* const kDeleteButton = L"L\u00f6schen";
const wchar_t* const kStartButton = L"\u00dcberwachung starten (Start mit -mini als Parameter)";
const wchar_t* const kAboutButton = L"\u00dcber das Programm...";
const wchar_t* const kSubdirsOn = L"Unterverzeichnisse \u00fcberwachen";
const wchar_t* const kSubdirsOff = L"Unterverzeichnisse nicht \u00fcberwachen";
const wchar_t* const kNewFiles = L"Bei neuen Dateien";
const wchar_t* const kChangedFiles = L"Bei ge\u00e4nderten Dateien";
const wchar_t* const kInvisible =
    L"Unsichtbar ausf\u00fchren (ohne, dass sich ein Fenster \u00f6ffnet)";
const wchar_t* const kOk = L"OK";
const wchar_t* const kCancel = L"Abbrechen";
const wchar_t* const kParameters = L"%1 %2";
const wchar_t* const kEditedParameters = L"%2";
const wchar_t* const kDeleteQuestion =
    L"Wollen Sie den markieren Eintrag wirklich entg\u00fcltig entfernen?";

const UINT kIconMessage = WM_USER;  // 1024: the notification icon's callback

struct Paths {
    std::wstring app, logger, shots, work, watched, sub, staging, launches, launchesMini, options;
};

struct EditorControls {
    HWND dir = nullptr, command = nullptr, params = nullptr;
    HWND subOn = nullptr, subOff = nullptr, newFiles = nullptr, changed = nullptr,
         invisible = nullptr;
    HWND ok = nullptr, cancel = nullptr;
};

EditorControls EditorControlsOf(HWND editor) {
    EditorControls c;
    const std::vector<HWND> edits = SortedByTop(OfClass(editor, L"Edit"));
    Require(edits.size() == 3, Format("editor: three Edit controls (found %zu)", edits.size()));
    c.dir = edits[0];
    c.command = edits[1];
    c.params = edits[2];
    c.subOn = NeedChild(editor, L"Button", kSubdirsOn, "editor");
    c.subOff = NeedChild(editor, L"Button", kSubdirsOff, "editor");
    c.newFiles = NeedChild(editor, L"Button", kNewFiles, "editor");
    c.changed = NeedChild(editor, L"Button", kChangedFiles, "editor");
    c.invisible = NeedChild(editor, L"Button", kInvisible, "editor");
    c.ok = NeedChild(editor, L"Button", kOk, "editor");
    c.cancel = NeedChild(editor, L"Button", kCancel, "editor");
    return c;
}

HWND IntervalField(HWND main) {
    // The interval field is the one Edit of the main window outside the list
    // (the list's in-place editor exists only while an edit is open).
    for (HWND w : OfClass(main, L"Edit")) {
        if (ClassOf(GetParent(w)) == L"SysListView32") continue;
        return w;
    }
    return nullptr;
}

void CheckMainWindow(HWND main, const std::string& when) {
    for (const wchar_t* caption :
         {kAddButton, kEditButton, kDeleteButton, kStartButton, kAboutButton})
        Check(FindChild(main, L"Button", caption) != nullptr,
              when + ": button " + Quoted(caption) + " present");
    Check(!OfClass(main, L"SysListView32").empty(), when + ": list view (SysListView32) present");
    HWND interval = IntervalField(main);
    if (Check(interval != nullptr, when + ": interval field (Edit) present")) {
        const std::wstring text = TextOf(interval);
        Check(text == L"1000", when + ": interval field shows 1000 (shows " + Quoted(text) + ")");
        Check((GetWindowLongPtrW(interval, GWL_STYLE) & ES_RIGHT) != 0,
              when + ": interval field is right-aligned");
    }
}

void StopMonitoring(App& app, const std::string& when) {
    PostMessageW(app.main, kIconMessage, 0, WM_LBUTTONUP);
    Require(WaitVisible(app.main, true, 5000),
            when + ": message 1024/514 shows the main window again");
}

void CloseProgram(App& app, const std::string& when) {
    PostMessageW(app.main, WM_CLOSE, 0, 0);
    const bool ended = app.WaitExit(10000);
    Require(ended, when + ": WM_CLOSE ends the process within 10 s");
    Note(Format("%s: exit code %lu", when.c_str(), app.ExitCode()));
}

// The editor opened on an existing row shows that row's values.
void CheckEditorHolds(const EditorControls& ed, const std::vector<std::wstring>& row,
                      const std::string& when) {
    Check(TextOf(ed.dir) == row[0], when + ": directory is " + Quoted(TextOf(ed.dir)));
    Check(TextOf(ed.command) == row[2], when + ": command is " + Quoted(TextOf(ed.command)));
    Check(TextOf(ed.params) == row[3], when + ": parameters are " + Quoted(TextOf(ed.params)));
    Check(CheckState(ed.subOn) == BST_CHECKED && CheckState(ed.subOff) == BST_UNCHECKED,
          when + ": " + Quoted(kSubdirsOn) + " chosen");
    Check(CheckState(ed.newFiles) == BST_CHECKED && CheckState(ed.changed) == BST_CHECKED &&
              CheckState(ed.invisible) == BST_CHECKED,
          when + ": the three check boxes are checked");
}

// Waits for the delete question and checks it is the one the program asks.
HWND DeleteQuestion(const App& app, const std::string& when) {
    HWND box = WaitTop(app.Pid(), kDeleteButton, true, 5000, L"#32770");
    Require(box != nullptr, when + ": message box " + Quoted(kDeleteButton) + " (#32770) shown");
    Check(FindChild(box, L"Static", kDeleteQuestion) != nullptr,
          when + ": the box asks " + Quoted(kDeleteQuestion));
    Check(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && GetDlgItem(box, IDCANCEL),
          when + ": the box has Yes, No and Cancel buttons");
    return box;
}

void Answer(HWND box, int button, const std::string& when) {
    Click(GetDlgItem(box, button));
    Check(WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000),
          when + ": the box is gone after the answer");
}

// Edit and Delete act on the selected row, so the row is selected first, as a
// click on it would.
void EditAndDelete(const App& app, HWND list, const Paths& p,
                   const std::vector<std::wstring>& row) {
    Step("edit the entry");
    Require(SelectListRow(app.pi.hProcess, list, 0) && ListRowSelected(list, 0),
            "main window: row 0 selected through LVM_SETITEMSTATE");
    std::vector<std::wstring> edited = row;
    edited[3] = kEditedParameters;
    for (const bool keep : {false, true}) {
        const std::string when = keep ? "edit with OK" : "edit with Abbrechen";
        Click(NeedChild(app.main, L"Button", kEditButton, "main window"));
        HWND editor = WaitTop(app.Pid(), kEditorCaption, true, 5000);
        Require(editor != nullptr, when + ": editor shown after a click on " + Quoted(kEditButton));
        const EditorControls ed = EditorControlsOf(editor);
        CheckEditorHolds(ed, row, when);
        Require(SetText(ed.params, kEditedParameters), when + ": parameters changed to \"%2\"");
        Click(keep ? ed.ok : ed.cancel);
        Require(WaitVisible(editor, false, 5000), when + ": editor closed");
        if (keep)
            WaitUntil([&] { return ListCell(app.pi.hProcess, list, 0, 3) == kEditedParameters; },
                      3000);
        else
            Sleep(300);  // time for a change that must not come
        ExpectRow(app.pi.hProcess, list, 0, keep ? edited : row, when + ": row");
        Check(ListRowSelected(list, 0), when + ": row 0 still selected");
        if (keep) WaitUntil([&] { return OptionsHold(p.options, {edited}); }, 3000);
        CheckOptions(p.options, {keep ? edited : row}, when);
    }

    Step("delete answered No");
    HWND focus = FocusOf(app.main);
    Note("Escape posted to " +
         (focus ? "the focused " + Utf8(ClassOf(focus)) + " " + Quoted(TextOf(focus))
                : std::string("the main window (no focus found)")));
    PressKey(focus ? focus : app.main, VK_ESCAPE);
    HWND box = DeleteQuestion(app, "Escape");
    Screenshot(box, p.shots + L"\\delete-question.png");
    Answer(box, IDNO, "No");
    Sleep(300);  // time for a deletion, or a second question, that must not come
    Check(FindTop(app.Pid(), kDeleteButton, L"#32770") == nullptr,
          "No: no second question follows (one Escape, one question)");
    Check(ListCount(list) == 1,
          Format("No: the list still has one row (%d rows)", ListCount(list)));
    ExpectRow(app.pi.hProcess, list, 0, edited, "No: row");
    CheckOptions(p.options, {edited}, "No");

    Step("delete answered Yes");
    Check(ListRowSelected(list, 0), "row 0 still selected before the second delete");
    Click(NeedChild(app.main, L"Button", kDeleteButton, "main window"));
    Answer(DeleteQuestion(app, "click on " + Utf8(kDeleteButton)), IDYES, "Yes");
    Check(WaitUntil([&] { return ListCount(list) == 0; }, 3000),
          Format("Yes: the list is empty (%d rows)", ListCount(list)));
    WaitUntil([&] { return OptionsHold(p.options, {}); }, 3000);
    CheckOptions(p.options, {}, "Yes");
}

void Run(const Paths& p) {
    const std::vector<std::wstring> expectedRow{p.watched, L"Ja", p.logger, kParameters,
                                                L"Ja",     L"Ja", L"Ja"};
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);

    Step("watched tree");
    RemoveTree(p.work);
    MakeDir(p.work);
    MakeDir(p.watched);
    MakeDir(p.sub);
    MakeDir(p.staging);
    MakeDir(p.launches);
    MakeDir(p.launchesMini);
    Require(WriteWholeFile(p.watched + L"\\keep.txt", "stays as it is\r\n") &&
                WriteWholeFile(p.watched + L"\\grow.txt", "first\r\n") &&
                WriteWholeFile(p.sub + L"\\old.txt", "old\r\n"),
            "files present before monitoring starts written");
    SetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", p.launches.c_str());
    Note("watched directory " + Utf8(p.watched));
    {
        std::vector<std::uint8_t> bytes;
        if (ReadWholeFile(p.options, bytes))
            Note("options.dat exists before the first start (prefix not fresh?): " +
                 Utf8(p.options));
    }

    App app;
    struct KillOnExit {
        App& a;
        ~KillOnExit() {
            a.Kill();
            a.CloseHandles();
        }
    } guard{app};

    Step("first start");
    Require(app.Start(p.app, L"", p.work), "Valmorin.exe started: " + Utf8(p.app));
    WaitUntil(
        [&] { return app.WaitExit(0) || WaitTop(app.Pid(), kMainCaption, true, 0) != nullptr; },
        20000);
    if (app.WaitExit(0))
        Require(false, Format("Valmorin.exe ended at start-up with exit code %lu", app.ExitCode()));
    app.main = WaitTop(app.Pid(), kMainCaption, true, 0);
    Require(app.main != nullptr, "main window " + Quoted(kMainCaption) + " shown within 20 s");
    WaitForInputIdle(app.pi.hProcess, 5000);
    CheckMainWindow(app.main, "main window");
    HWND list = OfClass(app.main, L"SysListView32").empty()
                    ? nullptr
                    : OfClass(app.main, L"SysListView32")[0];
    Require(list != nullptr, "main window: list view found");
    Check(ListCount(list) == 0,
          Format("main window: list is empty at first start (%d rows)", ListCount(list)));
    HWND addButton = FindChild(app.main, L"Button", kAddButton);
    Check(addButton != nullptr && WaitUntil([&] { return FocusOf(app.main) == addButton; }, 2000),
          "main window: the focus is on " + Quoted(kAddButton) + " at first showing");
    Screenshot(app.main, p.shots + L"\\main-window.png");

    Step("add an entry");
    Click(NeedChild(app.main, L"Button", kAddButton, "main window"));
    HWND editor = WaitTop(app.Pid(), kEditorCaption, true, 5000);
    Require(editor != nullptr,
            "editor " + Quoted(kEditorCaption) + " shown after a click on " + Quoted(kAddButton));
    EditorControls ed = EditorControlsOf(editor);
    Check(TextOf(ed.dir).empty(),
          "editor: directory empty at first showing (is " + Quoted(TextOf(ed.dir)) + ")");
    Check(TextOf(ed.command) == L"cmd",
          "editor: command \"cmd\" at first showing (is " + Quoted(TextOf(ed.command)) + ")");
    Check(TextOf(ed.params) == L"/c echo %1",
          "editor: parameters \"/c echo %1\" at first showing (is " + Quoted(TextOf(ed.params)) +
              ")");
    Check(CheckState(ed.subOn) == BST_UNCHECKED,
          "editor: " + Quoted(kSubdirsOn) + " unchecked at first showing");
    Check(CheckState(ed.subOff) == BST_CHECKED,
          "editor: " + Quoted(kSubdirsOff) + " checked at first showing");
    Check(CheckState(ed.newFiles) == BST_CHECKED,
          "editor: " + Quoted(kNewFiles) + " checked at first showing");
    Check(CheckState(ed.changed) == BST_CHECKED,
          "editor: " + Quoted(kChangedFiles) + " checked at first showing");
    Check(CheckState(ed.invisible) == BST_UNCHECKED,
          "editor: invisible switch unchecked at first showing");
    Check(WaitUntil([&] { return FocusOf(editor) == ed.dir; }, 2000),
          "editor: the focus is in the directory field when shown");
    Screenshot(editor, p.shots + L"\\editor.png");

    Require(SetText(ed.dir, p.watched) && SetText(ed.command, p.logger) &&
                SetText(ed.params, kParameters),
            "editor: directory, command and parameters typed in");
    Check(SetChecked(ed.subOn, true), "editor: " + Quoted(kSubdirsOn) + " checked by a click");
    Check(CheckState(ed.subOff) == BST_UNCHECKED,
          "editor: " + Quoted(kSubdirsOff) + " unchecked by that click");
    Check(SetChecked(ed.newFiles, true), "editor: new files on");
    Check(SetChecked(ed.changed, true), "editor: changed files on");
    Check(SetChecked(ed.invisible, true), "editor: invisible on");
    Check(TextOf(ed.dir) == p.watched && TextOf(ed.command) == p.logger &&
              TextOf(ed.params) == kParameters,
          "editor: the three fields hold what was typed");
    Screenshot(editor, p.shots + L"\\editor-filled.png");
    Click(ed.ok);
    Require(WaitVisible(editor, false, 5000), "editor: closed by OK");

    Require(WaitUntil([&] { return ListCount(list) == 1; }, 3000),
            Format("main window: one row after OK (%d rows)", ListCount(list)));
    ExpectRow(app.pi.hProcess, list, 0, expectedRow, "main window row");
    Screenshot(app.main, p.shots + L"\\main-window-entry.png");

    Step("options.dat");
    CheckOptions(p.options, {expectedRow}, "after adding");

    Step("About dialog");
    Click(NeedChild(app.main, L"Button", kAboutButton, "main window"));
    HWND about = WaitTop(app.Pid(), kAboutCaption, true, 5000);
    Require(about != nullptr, "About dialog " + Quoted(kAboutCaption) + " shown");
    {
        std::time_t now = std::time(nullptr);
        std::tm local{};
#ifdef _MSC_VER
        localtime_s(&local, &now);
#else
        local = *std::localtime(&now);
#endif
        const std::wstring year = std::to_wstring(local.tm_year + 1900);
        bool placeholder = false, hasYear = false;
        for (HWND w : Descendants(about)) {
            const std::wstring t = TextOf(w);
            placeholder = placeholder || t.find(L"XXXX") != std::wstring::npos;
            hasYear = hasYear || t.find(year) != std::wstring::npos;
        }
        Check(!placeholder, "About: no control text still holds the placeholder XXXX");
        Check(hasYear, "About: a control text holds the current year " + Utf8(year));
    }
    Screenshot(about, p.shots + L"\\about.png");
    Click(NeedChild(about, L"Button", kOk, "About"));
    Require(WaitVisible(about, false, 5000), "About: closed by OK");

    Step("monitoring");
    const long trayBefore = TrayInk();
    Click(NeedChild(app.main, L"Button", kStartButton, "main window"));
    Require(WaitVisible(app.main, false, 5000), "start button hides the main window");
    Sleep(2000);  // the first pass and then some
    const long trayRunning = TrayInk();
    if (trayBefore < 0) {
        Note("the task bar could not be captured: the notification icon is not checked");
    } else {
        Check(trayRunning > trayBefore,
              Format("a notification icon appeared in the task bar (%ld -> %ld pixels)", trayBefore,
                     trayRunning));
        SaveCapture(TrayArea(), p.shots + L"\\tray-while-monitoring.png");
    }
    Check(ReadLaunches(p.launches).empty(),
          "nothing launched for the files that were there before the start");

    // New files are made outside the tree and moved in, so a tick never sees
    // one half-written (which would report it as new and then as changed).
    const std::wstring deep = p.staging + L"\\fresh";
    MakeDir(deep);
    Require(WriteWholeFile(p.staging + L"\\new1.txt", "one\r\n") &&
                WriteWholeFile(p.staging + L"\\new file.txt", "two\r\n") &&
                WriteWholeFile(p.staging + L"\\new2.txt", "three\r\n") &&
                WriteWholeFile(deep + L"\\deep.txt", "four\r\n"),
            "new files prepared");
    Require(MoveFileW((p.staging + L"\\new1.txt").c_str(), (p.watched + L"\\new1.txt").c_str()) &&
                MoveFileW((p.staging + L"\\new file.txt").c_str(),
                          (p.watched + L"\\new file.txt").c_str()) &&
                MoveFileW((p.staging + L"\\new2.txt").c_str(), (p.sub + L"\\new2.txt").c_str()) &&
                MoveFileW(deep.c_str(), (p.watched + L"\\fresh").c_str()),
            "new files moved into the watched tree (top level, sub\\, and a new folder fresh\\)");
    Require(AppendToFile(p.watched + L"\\grow.txt", "second line makes it longer\r\n"),
            "grow.txt changed in size");

    Sleep(3500);
    const std::vector<std::wstring> expected{
        L"\"" + p.watched + L"\\new1.txt\" new1.txt",
        // The blank would split the relative path: it comes quoted.
        L"\"" + p.watched + L"\\new file.txt\" \"new file.txt\"",
        L"\"" + p.sub + L"\\new2.txt\" sub\\new2.txt",
        L"\"" + p.watched + L"\\fresh\\deep.txt\" fresh\\deep.txt",
        L"\"" + p.watched + L"\\grow.txt\" grow.txt",
    };
    const std::vector<Launch> launches = SettledLaunches(p.launches, expected.size(), 1500, 15000);
    Check(IsWindowVisible(app.main) == FALSE, "main window stays hidden while monitoring runs");

    Step("stop through the notification icon's message");
    StopMonitoring(app, "first run");
    if (trayBefore >= 0) {
        long trayAfter = -1;
        WaitUntil([&] { return (trayAfter = TrayInk()) == trayBefore; }, 3000, 100);
        Check(trayAfter == trayBefore,
              Format(
                  "the notification icon is gone after the stop (%ld pixels, %ld before the start)",
                  trayAfter, trayBefore));
    }
    for (const Launch& l : launches) Note("launched: " + Utf8(l.commandLine));
    CheckLaunches(launches, expected, "first run");
    Require(WriteWholeFile(p.watched + L"\\after-stop.txt", "late\r\n"),
            "a file made after the stop");
    Sleep(2500);
    Check(ReadLaunches(p.launches).size() == launches.size(),
          "nothing launched after monitoring stopped");
    CheckMainWindow(app.main, "main window after the stop");

    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(app.main, &placement);
    const RECT& np = placement.rcNormalPosition;

    Step("close");
    CloseProgram(app, "first run");
    app.CloseHandles();

    Step("registry");
    {
        HKEY key = nullptr;
        if (Check(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Valmorin\\TMainForm", 0, KEY_READ,
                                &key) == ERROR_SUCCESS,
                  "HKCU\\Software\\Valmorin\\TMainForm exists")) {
            const std::wstring sizeSuffix =
                L"(" + std::to_wstring(screenW) + L"x" + std::to_wstring(screenH) + L")";
            std::map<std::wstring, std::wstring> values;
            for (const std::wstring& name :
                 {std::wstring(L"FormVersion"), std::wstring(L"Flags"), std::wstring(L"ShowCmd"),
                  std::wstring(L"PixelsPerInch"), L"MinMaxPos" + sizeSuffix,
                  std::wstring(L"MinMaxPos"), L"NormPos" + sizeSuffix, std::wstring(L"NormPos"),
                  std::wstring(L"Visible"), std::wstring(L"PruefEd_Value")}) {
                std::wstring value;
                DWORD type = 0;
                const bool found = RegistryString(key, name.c_str(), value, type);
                if (Check(found && type == REG_SZ,
                          "value " + Utf8(name) + " is a string" +
                              (found ? " = " + Quoted(value) : " (missing)")))
                    values[name] = value;
            }
            RegCloseKey(key);
            Check(values[L"FormVersion"] == L"0", "FormVersion is \"0\"");
            Check(IsNumber(values[L"Flags"]), "Flags is a number");
            Check(values[L"ShowCmd"] == L"1", "ShowCmd is \"1\" (closed as a normal window)");
            Check(IsNumber(values[L"PixelsPerInch"]), "PixelsPerInch is a number");
            Check(values[L"Visible"] == L"0", "Visible is \"0\"");
            Check(values[L"PruefEd_Value"] == L"1000", "PruefEd_Value is \"1000\"");
            std::vector<long> v;
            Check(ParseInts(values[L"MinMaxPos"], v) && v.size() == 4,
                  "MinMaxPos holds four numbers");
            Check(values[L"MinMaxPos"] == values[L"MinMaxPos" + sizeSuffix],
                  "MinMaxPos" + Utf8(sizeSuffix) + " equals MinMaxPos");
            Check(values[L"NormPos"] == values[L"NormPos" + sizeSuffix],
                  "NormPos" + Utf8(sizeSuffix) + " equals NormPos");
            const std::wstring expectedPos =
                std::to_wstring(np.left) + L"," + std::to_wstring(np.top) + L"," +
                std::to_wstring(np.right) + L"," + std::to_wstring(np.bottom);
            Check(values[L"NormPos"] == expectedPos,
                  "NormPos is the window's normal rectangle " + Quoted(expectedPos));
        }
    }

    Step("second start with -mini");
    const long miniTrayBefore = TrayInk();
    SetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", p.launchesMini.c_str());
    Require(app.Start(p.app, L"-mini", p.work), "Valmorin.exe -mini started");
    ULONGLONG shownAt = 0;
    WaitUntil(
        [&] {
            if (app.WaitExit(0)) return true;
            app.main = FindTop(app.Pid(), kMainCaption);
            if (app.main && IsWindowVisible(app.main)) {
                shownAt = GetTickCount64();
                return true;
            }
            return false;
        },
        20000, 5);
    if (app.WaitExit(0))
        Require(false,
                Format("-mini: Valmorin.exe ended at start-up with exit code %lu", app.ExitCode()));
    Require(app.main != nullptr, "-mini: main window created");
    if (shownAt == 0)
        Note(
            "-mini: the main window was never seen visible (it may have hidden between two looks)");
    Require(WaitVisible(app.main, false, 5000),
            "-mini: main window hides itself (monitoring started)");
    if (shownAt != 0) {
        const ULONGLONG shownFor = GetTickCount64() - shownAt;
        Check(shownFor < 2000, Format("-mini: the window hid about %llu ms after it was seen shown",
                                      static_cast<unsigned long long>(shownFor)));
    }
    list = OfClass(app.main, L"SysListView32").empty() ? nullptr
                                                       : OfClass(app.main, L"SysListView32")[0];
    if (Check(list != nullptr && ListCount(list) == 1,
              "-mini: the list holds the one entry from options.dat"))
        ExpectRow(app.pi.hProcess, list, 0, expectedRow, "-mini: row");

    Sleep(2000);
    if (miniTrayBefore >= 0)
        Check(TrayInk() > miniTrayBefore, "-mini: a notification icon appeared in the task bar");
    Require(WriteWholeFile(p.staging + L"\\mini.txt", "mini\r\n") &&
                MoveFileW((p.staging + L"\\mini.txt").c_str(), (p.sub + L"\\mini.txt").c_str()),
            "-mini: a new file moved into sub\\");
    // The file made after the last stop is launched at this start.
    const std::vector<Launch> mini = SettledLaunches(p.launchesMini, 2, 1500, 10000);
    for (const Launch& l : mini) Note("launched: " + Utf8(l.commandLine));
    CheckLaunches(mini,
                  {L"\"" + p.watched + L"\\after-stop.txt\" after-stop.txt",
                   L"\"" + p.sub + L"\\mini.txt\" sub\\mini.txt"},
                  "-mini run");

    // Mouse messages other than a button release leave monitoring running.
    PostMessageW(app.main, kIconMessage, 0, WM_MOUSEMOVE);
    PostMessageW(app.main, kIconMessage, 0, WM_LBUTTONDOWN);
    PostMessageW(app.main, kIconMessage, 0, WM_LBUTTONDBLCLK);
    Sleep(700);
    Check(IsWindowVisible(app.main) == FALSE,
          "-mini: icon messages 512, 513 and 515 do not stop monitoring");

    StopMonitoring(app, "-mini run");
    if (miniTrayBefore >= 0)
        Check(WaitUntil([&] { return TrayInk() == miniTrayBefore; }, 3000, 100),
              "-mini: the notification icon is gone after the stop");
    Sleep(300);
    Check(IsWindowVisible(app.main) != FALSE,
          "-mini: the window stays shown after the stop (no second autostart)");
    WINDOWPLACEMENT again{};
    again.length = sizeof again;
    GetWindowPlacement(app.main, &again);
    Check(
        EqualRect(&again.rcNormalPosition, &np) != FALSE,
        Format("-mini: window placed at the stored rectangle %ld,%ld,%ld,%ld (is %ld,%ld,%ld,%ld)",
               np.left, np.top, np.right, np.bottom, again.rcNormalPosition.left,
               again.rcNormalPosition.top, again.rcNormalPosition.right,
               again.rcNormalPosition.bottom));
    CheckMainWindow(app.main, "-mini: main window after the stop");
    CheckSecondStarts(p.app, p.work, p.options, app.main, false);
    EditAndDelete(app, list, p, expectedRow);

    Step("close");
    CloseProgram(app, "-mini run");
    CheckOptions(p.options, {}, "after the last close");

    RunSlowWriter(p.app, p.logger, p.work, p.options, kMainCaption);
    RunManyLaunches(p.app, p.logger, p.work, p.options, kMainCaption, 200);
    RunFailingCommands(p.app, p.work, p.options, kMainCaption, p.shots);
    RunHostileNamesAndSessionEnd(p.app, p.work, p.options, kMainCaption);
    RunMasks(p.app, p.logger, p.work, p.options, kMainCaption);
    TakeListPicture(p.app, p.work, p.options, p.shots, kMainCaption);
}

}  // namespace
}  // namespace e2e

int main() {
    using namespace e2e;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring selfDir = FolderOf(ModulePath());
    // The driver sits in <build>\tests\e2e; the program in <build>.
    const std::wstring build = FolderOf(FolderOf(selfDir));

    Paths p;
    p.app = FullPath(argc > 1 ? argv[1] : build + L"\\Valmorin.exe");
    p.shots = FullPath(argc > 2 ? argv[2] : FolderOf(build) + L"\\e2e");
    p.logger = FullPath(selfDir + L"\\valmorin_e2e_logger.exe");
    LocalFree(argv);

    CreateDirectoryW(p.shots.c_str(), nullptr);
    OpenLog(p.shots + L"\\e2e-driver.log");

    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    p.work = FullPath(std::wstring(temp) + L"valmorin-e2e");
    p.watched = p.work + L"\\watched";
    p.sub = p.watched + L"\\sub";
    p.staging = p.work + L"\\staging";
    p.launches = p.work + L"\\launches";
    p.launchesMini = p.work + L"\\launches-mini";
    wchar_t appdata[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata) == S_OK)
        p.options = std::wstring(appdata) + L"\\Brennick\\Valmorin\\options.dat";

    Say("program   " + Utf8(p.app));
    Say("logger    " + Utf8(p.logger));
    Say("pictures  " + Utf8(p.shots));
    Say(Format("screen    %dx%d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));

    if (GetFileAttributesW(p.app.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Say("FAIL  program not found: " + Utf8(p.app));
        return 2;
    }
    if (GetFileAttributesW(p.logger.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Say("FAIL  launch logger not found: " + Utf8(p.logger));
        return 2;
    }

    try {
        Run(p);
    } catch (const Abort& a) {
        Say("stopped early: " + a.why);
    }

    const int failures = FailureCount();
    Say(failures == 0 ? "e2e: all checks passed" : Format("e2e: %d check(s) failed", failures));
    CloseLog();
    return failures == 0 ? 0 : 1;
}
