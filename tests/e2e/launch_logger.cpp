// Records every launch in a file of its own, so that launches running at the
// same moment can never lose or interleave each other's records. The file
// holds the raw command line as UTF-16 (no BOM), exactly as the process got it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring LogFolder() {
    wchar_t buffer[32768];
    DWORD n = GetEnvironmentVariableW(L"VALMORIN_E2E_LAUNCH_LOG", buffer, 32768);
    if (n > 0 && n < 32768) return buffer;
    // Without the variable the records go next to the program, so a manual
    // run still leaves a trace somewhere predictable.
    n = GetModuleFileNameW(nullptr, buffer, 32768);
    std::wstring path(buffer, n);
    std::wstring::size_type slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    path += L"launches";
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

}  // namespace

// WinMain rather than wWinMain: mingw accepts the wide entry point only with
// -municode; the wide command line comes from GetCommandLineW anyway.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::wstring folder = LogFolder();
    const wchar_t* line = GetCommandLineW();
    const DWORD bytes = static_cast<DWORD>(std::wcslen(line) * sizeof(wchar_t));

    // pid and tick count alone can repeat when pids are reused quickly; the
    // counter walks past any name that is already taken.
    for (unsigned counter = 0; counter < 1000; ++counter) {
        wchar_t name[128];
        std::swprintf(name, 128, L"\\launch-%lu-%llu-%u.txt", GetCurrentProcessId(),
                      static_cast<unsigned long long>(GetTickCount64()), counter);
        const std::wstring path = folder + name;
        // Written under a temporary name and renamed, so that a reader never
        // sees a half-written record.
        const std::wstring partial = path + L".part";
        HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return 2;
        }
        DWORD written = 0;
        const BOOL ok = WriteFile(file, line, bytes, &written, nullptr) && written == bytes;
        CloseHandle(file);
        if (!ok) return 3;
        if (MoveFileW(partial.c_str(), path.c_str())) return 0;
        const DWORD error = GetLastError();
        DeleteFileW(partial.c_str());
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return 4;
    }
    return 5;
}
