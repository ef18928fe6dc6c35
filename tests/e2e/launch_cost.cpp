// Measures what a drop of many files costs the real program under Wine:
// the time until every launch has started, against a plain loop of
// ShellExecuteExW over the same files in the same run; the slowest answer of
// the window to WM_NULL meanwhile; the most launched processes at once.
//   valmorin_launch_cost.exe <Valmorin.exe> <out folder> [count]
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "e2e_launches.h"
#include "e2e_support.h"
#include "e2e_windows.h"

namespace e2e {
namespace {

// Counts the logger's processes every 20 ms and keeps the most seen at once.
class ProcessPeak {
  public:
    ProcessPeak()
        : thread_([this] {
              while (!stop_) {
                  unsigned long n = 0;
                  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
                  PROCESSENTRY32W entry{};
                  entry.dwSize = sizeof entry;
                  for (BOOL more = Process32FirstW(snapshot, &entry); more;
                       more = Process32NextW(snapshot, &entry))
                      n += std::wstring(entry.szExeFile) == L"valmorin_e2e_logger.exe";
                  CloseHandle(snapshot);
                  if (n > peak_) peak_ = n;
                  Sleep(20);
              }
          }) {}
    ~ProcessPeak() {
        stop_ = true;
        thread_.join();
    }
    unsigned long Peak() const { return peak_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<unsigned long> peak_{0};
    std::thread thread_;
};

double Seconds(ULONGLONG from) {
    return static_cast<double>(GetTickCount64() - from) / 1000.0;
}

void Measure(const std::wstring& app, const std::wstring& work, const std::wstring& options,
             int count) {
    const std::wstring logger = FolderOf(ModulePath()) + L"\\valmorin_e2e_logger.exe";
    const std::wstring in = work + L"\\in", staging = work + L"\\staging",
                       loop = work + L"\\launches-loop", ours = work + L"\\launches-valmorin";
    for (const std::wstring& folder : {work, in, staging, loop, ours}) MakeDir(folder);
    const std::vector<std::wstring> names = PrepareFiles(staging, count);

    Step("a plain loop of ShellExecuteExW");
    SetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", loop.c_str());
    double loopSeconds = 0;
    unsigned long loopPeak = 0;
    {
        ProcessPeak peak;
        const ULONGLONG start = GetTickCount64();
        for (const std::wstring& name : names) {
            const std::wstring params = L"\"" + staging + L"\\" + name + L"\" " + name;
            SHELLEXECUTEINFOW info{};
            info.cbSize = sizeof info;
            info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
            info.lpVerb = L"open";
            info.lpFile = logger.c_str();
            info.lpParameters = params.c_str();
            info.nShow = SW_HIDE;
            if (ShellExecuteExW(&info) && info.hProcess) CloseHandle(info.hProcess);
        }
        WaitUntil([&] { return CountLaunches(loop) >= names.size(); }, 600000, 50);
        loopSeconds = Seconds(start);
        loopPeak = peak.Peak();
    }
    Note(Format("loop: %zu launches in %.1f s, at most %lu processes at once",
                CountLaunches(loop), loopSeconds, loopPeak));

    Step("the same files dropped into a watched folder");
    SetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", ours.c_str());
    MakeDir(FolderOf(FolderOf(options)));
    MakeDir(FolderOf(options));
    const std::vector<std::uint8_t> list =
        EncodeOptions({{in, L"Nein", logger, L"%2", L"Ja", L"Nein", L"Ja"}});
    Require(WriteWholeFile(options, std::string(list.begin(), list.end()), CREATE_ALWAYS),
            "options.dat written");
    App run;
    Require(run.Start(app, L"-mini", work), "Valmorin.exe -mini started");
    run.main = WaitTop(run.Pid(), L"Brennick Valmorin 1.0", true, 20000);
    Require(run.main != nullptr && WaitVisible(run.main, false, 5000), "monitoring started");
    Sleep(1500);
    double dropSeconds = 0, oursSeconds = 0;
    unsigned long slowest = 0, probes = 0, oursPeak = 0;
    {
        AnswerProbe probe(run.main);
        ProcessPeak peak;
        const ULONGLONG start = GetTickCount64();
        for (const std::wstring& name : names)
            MoveFileW((staging + L"\\" + name).c_str(), (in + L"\\" + name).c_str());
        dropSeconds = Seconds(start);
        WaitUntil([&] { return CountLaunches(ours) >= names.size(); }, 600000, 50);
        oursSeconds = Seconds(start);
        slowest = probe.Slowest();
        probes = probe.Probes();
        oursPeak = peak.Peak();
    }
    PostMessageW(run.main, WM_USER, 0, WM_LBUTTONUP);
    WaitVisible(run.main, true, 5000);
    PostMessageW(run.main, WM_CLOSE, 0, 0);
    if (!run.WaitExit(10000)) run.Kill();
    run.CloseHandles();
    Note(Format("Valmorin: %zu launches in %.1f s from the drop's start (the drop took %.1f s), "
                "at most %lu processes at once; slowest of %lu WM_NULL answers %lu ms",
                CountLaunches(ours), oursSeconds, dropSeconds, oursPeak, probes, slowest));
    Note(Format("ratio to the loop: %.3f", oursSeconds / loopSeconds));
    Check(CountLaunches(ours) == names.size(), "every file launched");
    Check(slowest <= 250, "the window answered within 250 ms throughout");
}

}  // namespace
}  // namespace e2e

int main() {
    using namespace e2e;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring app = FullPath(argc > 1 ? argv[1] : L"Valmorin.exe");
    const std::wstring out = FullPath(argc > 2 ? argv[2] : L".");
    const int count = argc > 3 ? _wtoi(argv[3]) : 2000;
    LocalFree(argv);
    CreateDirectoryW(out.c_str(), nullptr);
    OpenLog(out + L"\\e2e-driver.log");
    wchar_t temp[MAX_PATH + 1], appdata[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH + 1, temp);
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appdata);
    try {
        Measure(app, FullPath(std::wstring(temp) + L"valmorin-cost"),
                std::wstring(appdata) + L"\\Brennick\\Valmorin\\options.dat", count);
    } catch (const Abort& a) {
        Say("stopped early: " + a.why);
    }
    const int failures = FailureCount();
    Say(failures == 0 ? "e2e: all checks passed" : Format("e2e: %d check(s) failed", failures));
    CloseLog();
    return failures == 0 ? 0 : 1;
}
