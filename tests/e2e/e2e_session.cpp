#include "e2e_session.h"

#include <windows.h>

#include <vector>

#include "e2e_support.h"
#include "e2e_windows.h"

namespace e2e {
namespace {

// Each would make a folder "canary..." if cmd read it as syntax; the last
// two, if cmd expanded a variable in them, would arrive under another name.
const wchar_t* const kHostile[] = {L"a&mkdir canary1.txt",
                                   L"b & mkdir canary2",
                                   L"(c)&mkdir canary3.txt",
                                   L"d^&mkdir canary4.txt",
                                   L"%CMDCMDLINE%&mkdir canary&.txt",
                                   L"100%% %USERNAME% done.txt"};
const wchar_t* const kPlain[] = {L"plain.txt", L"with blank.txt"};

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool AnyCanary(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\canary*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

}  // namespace

void CheckSecondStarts(const std::wstring& app, const std::wstring& work,
                       const std::wstring& options, HWND main, bool monitoring) {
    const std::string when = monitoring ? "second start while monitoring" : "second start";
    Step(when);
    std::vector<std::uint8_t> before, after;
    const bool hadList = ReadWholeFile(options, before);
    for (const wchar_t* args : {L"", L"-mini"}) {
        const std::string what = when + (*args ? " with -mini" : "");
        if (!monitoring) ShowWindow(main, SW_MINIMIZE);
        App second;
        Require(second.Start(app, args, work), what + ": started");
        const ULONGLONG started = GetTickCount64();
        const bool ended = second.WaitExit(10000);
        Note(Format("%s: ended after %llu ms", what.c_str(),
                    static_cast<unsigned long long>(GetTickCount64() - started)));
        if (!Check(ended, what + ": the second program ends by itself")) second.Kill();
        Check(second.ExitCode() == 0,
              Format("%s: exit code 0 (is %lu)", what.c_str(), second.ExitCode()));
        second.CloseHandles();
        if (monitoring) {
            Sleep(500);
            Check(IsWindowVisible(main) == FALSE, what + ": the window stays hidden");
        } else {
            Check(
                WaitUntil([&] { return IsIconic(main) == FALSE && IsWindowVisible(main) != FALSE; },
                          3000),
                what + ": the first program's window is restored");
            Check(WaitUntil([&] { return GetForegroundWindow() == main; }, 3000),
                  what + ": the first program's window comes to the front");
        }
    }
    Check(ReadWholeFile(options, after) == hadList && after == before,
          when + ": options.dat is as it was");
}

void RunSlowWriter(const std::wstring& app, const std::wstring& logger, const std::wstring& work,
                   const std::wstring& options, const std::wstring& mainCaption) {
    Step("a file written slowly by a program that holds it open");
    const std::wstring in = work + L"\\slow", launches = work + L"\\launches-slow";
    for (const std::wstring& folder : {in, launches}) MakeDir(folder);
    SetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", launches.c_str());
    const std::vector<std::uint8_t> list =
        EncodeOptions({{in, L"Ja", logger, L"both %2", L"Ja", L"Ja", L"Ja"},
                       {in, L"Ja", logger, L"new %2", L"Ja", L"Nein", L"Ja"}});
    Require(WriteWholeFile(options, std::string(list.begin(), list.end()), CREATE_ALWAYS),
            "options.dat with two entries on one folder written");
    App run;
    auto start = [&](const std::string& what) {
        Require(run.Start(app, L"-mini", work), what + ": Valmorin.exe -mini started");
        run.main = WaitTop(run.Pid(), mainCaption, true, 20000);
        Require(run.main != nullptr && WaitVisible(run.main, false, 5000),
                what + ": monitoring started");
        Sleep(1500);  // past the first pass
    };
    auto stop = [&](const std::string& what) {
        PostMessageW(run.main, WM_USER, 0, WM_LBUTTONUP);
        Require(WaitVisible(run.main, true, 5000), what + ": stopped");
        PostMessageW(run.main, WM_CLOSE, 0, 0);
        Require(run.WaitExit(10000), what + ": closed");
        run.CloseHandles();
    };
    start("slow writer");
    // As a copy over the network writes: 1 MB in eight blocks, 400 ms apart,
    // the file held open for writing throughout.
    HANDLE file = CreateFileW((in + L"\\big.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    Require(file != INVALID_HANDLE_VALUE, "big.bin opened for writing");
    const std::string block(128 * 1024, 'b');
    for (int i = 0; i < 8; ++i) {
        DWORD written = 0;
        WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
        Sleep(400);
    }
    Sleep(1500);  // more checks while it is still held
    Check(ReadLaunches(launches).empty(), "nothing launched while the writer holds the file");
    CloseHandle(file);
    const std::vector<Launch> got = SettledLaunches(launches, 2, 2500, 10000);
    for (const Launch& l : got) Note("launched: " + Utf8(l.commandLine));
    CheckLaunches(got, {L"both big.bin", L"new big.bin"}, "slow writer");

    Step("a file dropped while monitoring is off");
    stop("slow writer");
    Require(WriteWholeFile(in + L"\\while off.txt", "off\r\n"), "a file made after the stop");
    start("after the drop");
    const std::vector<Launch> late = SettledLaunches(launches, 4, 2500, 10000);
    for (const Launch& l : late) Note("launched: " + Utf8(l.commandLine));
    CheckLaunches(late,
                  {L"both big.bin", L"new big.bin", L"both \"while off.txt\"",
                   L"new \"while off.txt\""},
                  "after the drop");
    stop("after the drop");
}

void RunHostileNamesAndSessionEnd(const std::wstring& app, const std::wstring& work,
                                  const std::wstring& options, const std::wstring& mainCaption) {
    Step("file names that read as cmd syntax");
    const std::wstring in = work + L"\\hostile", out = work + L"\\copies",
                       staging = work + L"\\hostile-staging";
    for (const std::wstring& folder : {in, out, staging}) MakeDir(folder);
    const std::vector<std::uint8_t> list =
        EncodeOptions({{in, L"Nein", L"cmd", L"/c cd /d " + in + L" && copy %2 " + out + L"\\%2",
                        L"Ja", L"Nein", L"Ja"}});
    Require(WriteWholeFile(options, std::string(list.begin(), list.end()), CREATE_ALWAYS),
            "options.dat with one cmd entry written");
    App run;
    Require(run.Start(app, L"-mini", work), "Valmorin.exe -mini started");
    run.main = WaitTop(run.Pid(), mainCaption, true, 20000);
    Require(run.main != nullptr && WaitVisible(run.main, false, 5000), "monitoring started");
    // The window hides before the first pass reads the folder, and what that
    // pass finds counts as there before: the names come after it.
    Sleep(1500);
    const long trayBefore = TrayInk();
    std::vector<std::wstring> names(std::begin(kHostile), std::end(kHostile));
    names.insert(names.end(), std::begin(kPlain), std::end(kPlain));
    for (const std::wstring& name : names)
        Require(WriteWholeFile(staging + L"\\" + name, "data\r\n") &&
                    MoveFileW((staging + L"\\" + name).c_str(), (in + L"\\" + name).c_str()),
                "moved in: " + Utf8(name));
    const bool copied = WaitUntil(
        [&] {
            for (const std::wstring& name : names)
                if (!Exists(out + L"\\" + name)) return false;
            return true;
        },
        20000, 100);
    Sleep(1500);  // time for a stray command to leave its trace
    for (const std::wstring& name : names)
        Check(Exists(out + L"\\" + name), "copied under its own name: " + Utf8(name));
    Check(copied, "every file copied within 20 s");
    for (const std::wstring& folder : {in, out, work})
        Check(!AnyCanary(folder), "no canary folder in " + Utf8(folder));
    CheckSecondStarts(app, work, options, run.main, true);

    Step("end of the Windows session while monitoring runs");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Valmorin\\TMainForm");
    DWORD_PTR answer = 0;
    Check(SendMessageTimeoutW(run.main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                              &answer) != 0 &&
              answer == TRUE,
          "WM_QUERYENDSESSION answered TRUE");
    Check(SendMessageTimeoutW(run.main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000,
                              &answer) != 0,
          "WM_ENDSESSION handled");
    HKEY key = nullptr;
    std::wstring value;
    DWORD type = 0;
    const bool saved = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Valmorin\\TMainForm", 0,
                                     KEY_READ, &key) == ERROR_SUCCESS &&
                       RegistryString(key, L"PruefEd_Value", value, type) && value == L"1000";
    if (key) RegCloseKey(key);
    Check(saved, "the window settings are saved at the end of the session");
    if (trayBefore >= 0)
        Check(WaitUntil([&] { return TrayInk() < trayBefore; }, 3000, 100),
              "the notification icon is gone at the end of the session");
    // Windows ends the process now, without a close.
    run.Kill();
    run.CloseHandles();
}

}  // namespace e2e
