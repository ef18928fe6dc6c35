#include "e2e_support.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <utility>

namespace e2e {
namespace {

int failures = 0;
HANDLE logFile = INVALID_HANDLE_VALUE;

// The launched program's command line is its own path (quoted or not) and the
// parameters the shell was given; only the parameters are compared.
std::wstring ParametersOf(const std::wstring& line) {
    size_t at = 0;
    while (at < line.size() && line[at] == L' ') ++at;
    if (at < line.size() && line[at] == L'"') {
        const size_t close = line.find(L'"', at + 1);
        at = close == std::wstring::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && line[at] != L' ' && line[at] != L'\t') ++at;
    }
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
    return line.substr(at);
}

}  // namespace

void OpenLog(const std::wstring& path) {
    logFile = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CloseLog() {
    if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}

int FailureCount() {
    return failures;
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

void Say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (logFile != INVALID_HANDLE_VALUE) {
        const std::string withEnd = line + "\r\n";
        DWORD written = 0;
        WriteFile(logFile, withEnd.data(), static_cast<DWORD>(withEnd.size()), &written, nullptr);
    }
}

std::string Format(const char* fmt, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

bool Check(bool ok, const std::string& what) {
    if (ok) {
        Say("  ok    " + what);
    } else {
        ++failures;
        Say("  FAIL  " + what);
    }
    return ok;
}

void Note(const std::string& what) {
    Say("  note  " + what);
}

void Step(const std::string& what) {
    Say("== " + what);
}

std::string Quoted(const std::wstring& w) {
    return "\"" + Utf8(w) + "\"";
}

void Require(bool ok, const std::string& what) {
    if (!Check(ok, what)) throw Abort{what};
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= end) return done();
        Sleep(pollMs);
    }
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ModulePath() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
    return std::wstring(buffer, n);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH * 4) return path;
    std::wstring full(buffer, n);
    const DWORD m = GetLongPathNameW(full.c_str(), buffer, MAX_PATH * 4);
    if (m > 0 && m < MAX_PATH * 4) full.assign(buffer, m);
    return full;
}

namespace {

bool WriteTo(const std::wstring& path, DWORD access, DWORD disposition,
             const std::string& content) {
    HANDLE h =
        CreateFileW(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == content.size();
}

}  // namespace

bool WriteWholeFile(const std::wstring& path, const std::string& content, DWORD disposition) {
    return WriteTo(path, GENERIC_WRITE, disposition, content);
}

bool AppendToFile(const std::wstring& path, const std::string& content) {
    return WriteTo(path, FILE_APPEND_DATA, OPEN_EXISTING, content);
}

bool ReadWholeFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    bytes.assign(static_cast<size_t>(size.QuadPart), 0);
    DWORD got = 0;
    const BOOL ok =
        bytes.empty() || ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    return ok && got == bytes.size();
}

void MakeDir(const std::wstring& path) {
    CreateDirectoryW(path.c_str(), nullptr);
}

// Removes a tree left from an earlier run, so the folder starts empty.
void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

std::vector<Launch> ReadLaunches(const std::wstring& folder) {
    std::vector<std::pair<std::wstring, std::wstring>> named;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\launch-*.txt").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::vector<std::uint8_t> bytes;
            const std::wstring path = folder + L"\\" + fd.cFileName;
            if (ReadWholeFile(path, bytes)) {
                std::wstring line(bytes.size() / 2, L'\0');
                for (size_t i = 0; i < line.size(); ++i)
                    line[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
                named.emplace_back(fd.cFileName, line);
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    std::sort(named.begin(), named.end());
    std::vector<Launch> out;
    for (auto& [name, line] : named) out.push_back({line, ParametersOf(line)});
    return out;
}

// Launches start as separate processes and may still be on their way when a
// tick has passed: wait until the count has stayed put for a while.
std::vector<Launch> SettledLaunches(const std::wstring& folder, size_t atLeast, DWORD quietMs,
                                    DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    size_t last = static_cast<size_t>(-1);
    ULONGLONG since = GetTickCount64();
    for (;;) {
        const size_t n = ReadLaunches(folder).size();
        const ULONGLONG now = GetTickCount64();
        if (n != last) {
            last = n;
            since = now;
        }
        if ((n >= atLeast && now - since >= quietMs) || now >= end) return ReadLaunches(folder);
        Sleep(100);
    }
}

void CheckLaunches(const std::vector<Launch>& got, const std::vector<std::wstring>& expected,
                   const std::string& when) {
    std::map<std::wstring, int> counts;
    for (const Launch& l : got) ++counts[l.parameters];
    for (const std::wstring& e : expected) {
        const int n = counts.count(e) ? counts[e] : 0;
        Check(n == 1, Format("%s: launched once with parameters %s (seen %d times)", when.c_str(),
                             Utf8(e).c_str(), n));
    }
    for (const Launch& l : got)
        if (std::find(expected.begin(), expected.end(), l.parameters) == expected.end())
            Check(false, when + ": unexpected launch, command line " + Utf8(l.commandLine));
    Check(got.size() == expected.size(), Format("%s: %zu launches in all (expected %zu)",
                                                when.c_str(), got.size(), expected.size()));
}

std::vector<std::uint8_t> StringRecord(const std::wstring& text) {
    const int n = text.empty()
                      ? 0
                      : WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()),
                                            nullptr, 0, nullptr, nullptr);
    std::vector<std::uint8_t> out(4 + static_cast<size_t>(n), 0);
    for (int i = 0; i < 4; ++i)
        out[static_cast<size_t>(i)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(n) >> (8 * i));
    if (n > 0)
        WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()),
                            reinterpret_cast<char*>(&out[4]), n, nullptr, nullptr);
    return out;
}

// Rows of seven texts; an error text when the file is not well formed, so a
// broken file is reported rather than read as garbage.
std::vector<std::vector<std::wstring>> DecodeOptions(const std::vector<std::uint8_t>& bytes,
                                                     std::string& error) {
    std::vector<std::vector<std::wstring>> rows;
    size_t at = 0;
    auto read32 = [&](std::int32_t& v) {
        if (at + 4 > bytes.size()) return false;
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[at]) |
                                      (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
                                      (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
                                      (static_cast<std::uint32_t>(bytes[at + 3]) << 24));
        at += 4;
        return true;
    };
    std::int32_t count = 0;
    if (!read32(count)) {
        error = "shorter than 4 bytes";
        return rows;
    }
    for (std::int32_t r = 0; r < count; ++r) {
        std::vector<std::wstring> row;
        for (int c = 0; c < 7; ++c) {
            std::int32_t n = 0;
            if (!read32(n) || n < 0 || at + static_cast<size_t>(n) > bytes.size()) {
                error = Format("record %d of entry %d runs past the end", c + 1, r + 1);
                return rows;
            }
            std::wstring text(static_cast<size_t>(n), L'\0');
            if (n > 0) {
                const int w = MultiByteToWideChar(
                    1252, 0, reinterpret_cast<const char*>(bytes.data() + at), n, text.data(), n);
                text.resize(static_cast<size_t>(w));
            }
            at += static_cast<size_t>(n);
            row.push_back(text);
        }
        rows.push_back(row);
    }
    if (at != bytes.size()) error = Format("%zu bytes after the last entry", bytes.size() - at);
    return rows;
}

std::vector<std::uint8_t> EncodeOptions(const std::vector<std::vector<std::wstring>>& rows) {
    const std::uint32_t count = static_cast<std::uint32_t>(rows.size());
    std::vector<std::uint8_t> out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
    for (const auto& row : rows)
        for (const std::wstring& cell : row) {
            const std::vector<std::uint8_t> rec = StringRecord(cell);
            out.insert(out.end(), rec.begin(), rec.end());
        }
    return out;
}

bool OptionsHold(const std::wstring& path, const std::vector<std::vector<std::wstring>>& rows) {
    std::vector<std::uint8_t> bytes;
    return ReadWholeFile(path, bytes) && bytes == EncodeOptions(rows);
}

void CheckOptions(const std::wstring& path, const std::vector<std::vector<std::wstring>>& rows,
                  const std::string& when) {
    std::vector<std::uint8_t> bytes;
    if (!Check(ReadWholeFile(path, bytes), when + ": watch list file exists: " + Utf8(path)))
        return;
    std::string error;
    const auto got = DecodeOptions(bytes, error);
    Check(error.empty(),
          when + ": options.dat is well formed" + (error.empty() ? std::string() : ": " + error));
    Check(got.size() == rows.size(), Format("%s: options.dat entry count is %zu (is %zu)",
                                            when.c_str(), rows.size(), got.size()));
    for (size_t r = 0; r < std::min(got.size(), rows.size()); ++r)
        for (size_t i = 0; i < 7; ++i)
            Check(got[r][i] == rows[r][i],
                  Format("%s: options.dat entry %zu record %zu is %s (is %s)", when.c_str(), r + 1,
                         i + 1, Quoted(rows[r][i]).c_str(), Quoted(got[r][i]).c_str()));
    const std::vector<std::uint8_t> expected = EncodeOptions(rows);
    Check(bytes == expected,
          Format("%s: options.dat is byte for byte the expected %zu bytes (has %zu)", when.c_str(),
                 expected.size(), bytes.size()));
}

bool RegistryString(HKEY key, const wchar_t* name, std::wstring& value, DWORD& type) {
    DWORD size = 0;
    type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return false;
    value.assign(buffer.data());
    return true;
}

bool ParseInts(const std::wstring& text, std::vector<long>& out) {
    out.clear();
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = text.find(L',', at);
        const std::wstring word =
            text.substr(at, comma == std::wstring::npos ? std::wstring::npos : comma - at);
        if (word.empty()) return false;
        size_t used = 0;
        try {
            out.push_back(std::stol(word, &used));
        } catch (...) {
            return false;
        }
        if (used != word.size()) return false;
        if (comma == std::wstring::npos) break;
        at = comma + 1;
    }
    return true;
}

bool IsNumber(const std::wstring& text) {
    std::vector<long> v;
    return ParseInts(text, v) && v.size() == 1;
}

}  // namespace e2e
