// What the end-to-end driver needs besides the windows: its report, the files
// it makes and reads, and what the program leaves in options.dat and the
// registry.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Every line goes to standard output and, once OpenLog has run, to the log
// file too: the console output may not reach the caller through Wine's
// virtual desktop.
void OpenLog(const std::wstring& path);
void CloseLog();
int FailureCount();

std::string Utf8(const std::wstring& w);
void Say(const std::string& line);
std::string Format(const char* fmt, ...);
bool Check(bool ok, const std::string& what);
void Note(const std::string& what);
void Step(const std::string& what);
std::string Quoted(const std::wstring& w);

// A check whose failure makes the rest of the run meaningless.
struct Abort {
    std::string why;
};

void Require(bool ok, const std::string& what);

// Polls rather than waits on events: the program under test offers none.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 20);

std::wstring FolderOf(const std::wstring& path);
std::wstring ModulePath();
std::wstring FullPath(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& content,
                    DWORD disposition = CREATE_NEW);
bool AppendToFile(const std::wstring& path, const std::string& content);
bool ReadWholeFile(const std::wstring& path, std::vector<std::uint8_t>& bytes);
void MakeDir(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// One run of the launch logger: the command line it got and, of that, what
// follows the program's own path.
struct Launch {
    std::wstring commandLine;
    std::wstring parameters;
};

std::vector<Launch> ReadLaunches(const std::wstring& folder);
std::vector<Launch> SettledLaunches(const std::wstring& folder, std::size_t atLeast, DWORD quietMs,
                                    DWORD timeoutMs);
// Each expected parameter text exactly once, and nothing else.
void CheckLaunches(const std::vector<Launch>& got, const std::vector<std::wstring>& expected,
                   const std::string& when);

// One text of options.dat as the program writes it: its length and its
// Windows-1252 bytes.
std::vector<std::uint8_t> StringRecord(const std::wstring& text);
std::vector<std::vector<std::wstring>> DecodeOptions(const std::vector<std::uint8_t>& bytes,
                                                     std::string& error);
// The bytes the program writes for these entries: their count, then the
// seven texts of each.
std::vector<std::uint8_t> EncodeOptions(const std::vector<std::vector<std::wstring>>& rows);
// Quiet, for waiting until the program has written the file.
bool OptionsHold(const std::wstring& path, const std::vector<std::vector<std::wstring>>& rows);
// Reports each way the file differs from these entries.
void CheckOptions(const std::wstring& path, const std::vector<std::vector<std::wstring>>& rows,
                  const std::string& when);
bool RegistryString(HKEY key, const wchar_t* name, std::wstring& value, DWORD& type);
bool ParseInts(const std::wstring& text, std::vector<long>& out);
bool IsNumber(const std::wstring& text);

}  // namespace e2e
