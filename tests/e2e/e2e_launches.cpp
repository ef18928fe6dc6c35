#include "e2e_launches.h"

#include <shlobj.h>

#include <vector>

#include "e2e_support.h"
#include "e2e_windows.h"

namespace e2e {

AnswerProbe::AnswerProbe(HWND window) : window_(window) {
    thread_ = std::thread([this] {
        while (!stop_) {
            const ULONGLONG sent = GetTickCount64();
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
            const auto waited = static_cast<unsigned long>(GetTickCount64() - sent);
            if (waited > slowest_) slowest_ = waited;
            ++probes_;
            Sleep(200);
        }
    });
}

AnswerProbe::~AnswerProbe() {
    stop_ = true;
    thread_.join();
}

size_t CountLaunches(const std::wstring& folder) {
    size_t n = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\launch-*.txt").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do ++n;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return n;
}

std::wstring LocalFolder() {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path);
    return std::wstring(path) + L"\\Brennick\\Valmorin";
}

std::string ReadLog() {
    std::vector<std::uint8_t> bytes;
    ReadWholeFile(LocalFolder() + L"\\Valmorin.log", bytes);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::wstring> PrepareFiles(const std::wstring& folder, int count) {
    std::vector<std::wstring> names;
    bool prepared = true;
    for (int i = 0; i < count; ++i) {
        names.push_back(L"file" + std::to_wstring(100000 + i) + L".txt");
        prepared = WriteWholeFile(folder + L"\\" + names.back(), "x") && prepared;
    }
    Require(prepared, Format("%d files prepared", count));
    return names;
}

namespace {

struct Run {
    App app;
    void Start(const std::wstring& exe, const std::wstring& work, const std::wstring& caption,
               const std::string& what) {
        Require(app.Start(exe, L"-mini", work), what + ": Valmorin.exe -mini started");
        app.main = WaitTop(app.Pid(), caption, true, 20000);
        Require(app.main != nullptr && WaitVisible(app.main, false, 5000),
                what + ": monitoring started");
        Sleep(1500);  // past the first pass
    }
    void Close(const std::string& what) {
        if (IsWindowVisible(app.main) == FALSE) {
            PostMessageW(app.main, WM_USER, 0, WM_LBUTTONUP);
            Require(WaitVisible(app.main, true, 5000), what + ": stopped");
        }
        PostMessageW(app.main, WM_CLOSE, 0, 0);
        Require(app.WaitExit(10000), what + ": closed");
        app.CloseHandles();
    }
};

// The balloons of Wine's and Windows' notification areas are tooltip windows.
bool BalloonShown() {
    bool shown = false;
    EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
            wchar_t name[64] = L"";
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == L"tooltips_class32" && IsWindowVisible(window))
                *reinterpret_cast<bool*>(found) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&shown));
    return shown;
}

}  // namespace

void RunManyLaunches(const std::wstring& app, const std::wstring& logger, const std::wstring& work,
                     const std::wstring& options, const std::wstring& mainCaption, int count) {
    Step("many files dropped at once");
    const std::wstring in = work + L"\\many", staging = work + L"\\many-staging",
                       launches = work + L"\\launches-many";
    for (const std::wstring& folder : {in, staging, launches}) MakeDir(folder);
    SetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", launches.c_str());
    const std::vector<std::uint8_t> list =
        EncodeOptions({{in, L"Nein", logger, L"%2", L"Ja", L"Nein", L"Ja"}});
    Require(WriteWholeFile(options, std::string(list.begin(), list.end()), CREATE_ALWAYS),
            "options.dat with one entry written");
    const std::vector<std::wstring> names = PrepareFiles(staging, count);
    Run run;
    run.Start(app, work, mainCaption, "many files");
    {
        AnswerProbe probe(run.app.main);
        for (const std::wstring& name : names)
            MoveFileW((staging + L"\\" + name).c_str(), (in + L"\\" + name).c_str());
        Require(WaitUntil([&] { return CountLaunches(launches) >= static_cast<size_t>(count / 3); },
                          120000, 100),
                "a third of the files launched");
        const ULONGLONG clicked = GetTickCount64();
        PostMessageW(run.app.main, WM_USER, 0, WM_LBUTTONUP);
        Check(WaitVisible(run.app.main, true, 1000),
              Format("a click on the icon while launching stops within 1 s (%llu ms)",
                     static_cast<unsigned long long>(GetTickCount64() - clicked)));
        Sleep(300);  // a launch under way when the click came may still record itself
        const size_t atStop = CountLaunches(launches);
        Sleep(2000);
        Check(CountLaunches(launches) == atStop,
              Format("no launch starts after the stop (%zu of %d made)", atStop, count));
        Check(probe.Slowest() <= 250, Format("the window answered each of %lu WM_NULL within "
                                             "250 ms while launching (slowest %lu ms)",
                                             probe.Probes(), probe.Slowest()));
    }
    run.Close("many files");
    run.Start(app, work, mainCaption, "many files, next start");
    const std::vector<Launch> got = SettledLaunches(launches, names.size(), 2500, 120000);
    CheckLaunches(got, names, "many files over two runs");
    run.Close("many files, next start");
    Check(ReadLog().find("Nicht mehr gestartet") != std::string::npos,
          "Valmorin.log tells the launches left for the next start");
}

void RunFailingCommands(const std::wstring& app, const std::wstring& work,
                        const std::wstring& options, const std::wstring& mainCaption,
                        const std::wstring& shots) {
    Step("commands that fail");
    const std::wstring in = work + L"\\failing";
    MakeDir(in);
    const std::vector<std::uint8_t> list = EncodeOptions(
        {{in, L"Nein", L"C:\\no such folder\\program.exe", L"%1", L"Ja", L"Nein", L"Ja"},
         {in, L"Nein", L"cmd", L"/c if exist %1 exit 3", L"Ja", L"Nein", L"Ja"}});
    Require(WriteWholeFile(options, std::string(list.begin(), list.end()), CREATE_ALWAYS),
            "options.dat with two failing entries written");
    Run run;
    run.Start(app, work, mainCaption, "failing");
    Check(!BalloonShown(), "no balloon before anything failed");
    Require(WriteWholeFile(in + L"\\scan.pdf", "x"), "a file dropped");
    Check(WaitUntil(BalloonShown, 10000, 100), "a balloon shows over the icon");
    Screenshot(GetDesktopWindow(), shots + L"\\balloon.png");
    Check(WaitUntil([] { return ReadLog().find("Exitcode 3") != std::string::npos; }, 10000, 100),
          "Valmorin.log tells the exit code 3");
    const std::string log = ReadLog();
    Check(log.find("Nicht gestartet: ") != std::string::npos &&
              log.find("scan.pdf") != std::string::npos,
          "Valmorin.log tells the command that could not start, with the file");
    run.Close("failing");
}

}  // namespace e2e
