#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#include "base/text.h"
#include "gui/memory/toolkit_memory.h"
#include "ui/main_form.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace test {

TempTree::TempTree() {
    std::random_device seed;
    root_ = std::filesystem::temp_directory_path() / ("valmorin-test-" + std::to_string(seed()));
    std::filesystem::create_directories(root_);
}

TempTree::~TempTree() {
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
}

std::u16string TempTree::Path() const { return root_.u16string(); }

std::filesystem::path TempTree::Write(const std::string& relative, const std::string& content) {
    std::filesystem::path path = root_ / std::filesystem::u8path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::filesystem::path TempTree::MakeDir(const std::string& relative) {
    std::filesystem::path path = root_ / std::filesystem::u8path(relative);
    std::filesystem::create_directories(path);
    return path;
}

void TempTree::Hide(const std::string& relative) {
#ifdef _WIN32
    std::filesystem::path path = root_ / std::filesystem::u8path(relative);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#else
    (void)relative;  // a dot name is hidden already
#endif
}

std::string Narrow(std::u16string_view text) { return base::Utf16ToUtf8(text); }
std::u16string Wide(std::string_view text) { return base::Utf8ToUtf16(text); }

namespace {
void DescribeInto(const TDir& dir, std::vector<std::string>& out) {
    std::string rel = Narrow(dir.dname2);
    for (uint32_t i = 0; i < dir.files->count; ++i) {
        const TDir* file = Rec(*dir.files, i);
        uint64_t size = (uint64_t{static_cast<uint32_t>(file->sizehi)} << 32) | static_cast<uint32_t>(file->sizelo);
        out.push_back(rel + "|" + Narrow(file->dname2) + "|" + std::to_string(size));
    }
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        const TDir* sub = Rec(*dir.dirs, i);
        out.push_back(Narrow(sub->dname2) + "/");
        DescribeInto(*sub, out);
    }
}
}  // namespace

std::vector<std::string> Describe(const TDir& dir) {
    std::vector<std::string> out;
    DescribeInto(dir, out);
    return out;
}

void SetWriteTime(const std::filesystem::path& path, int64_t unixNanoseconds) {
#ifdef _WIN32
    const auto ticks = static_cast<uint64_t>(unixNanoseconds / 100 + 116444736000000000);
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path.string());
    const bool set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
#else
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(unixNanoseconds / 1'000'000'000),
                                static_cast<long>(unixNanoseconds % 1'000'000'000)}};
    const bool set = utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
    if (!set) throw std::runtime_error("cannot set the time of " + path.string());
}

void AddWatchRow(TMainForm& form, const std::u16string& dir, const std::u16string& params) {
    auto& list = *form.ListView1;
    const int row = list.AddRow();
    const std::u16string cells[] = {dir, u"Ja", u"cmd", params, u"Ja", u"Ja", u"Nein"};
    for (int c = 0; c < 7; ++c) list.SetCell(row, c, cells[c]);
}

std::vector<std::string> TakeLaunches(gui::MemoryToolkit& kit) {
    kit.Deliver();  // the launcher's turn
    std::vector<std::string> out;
    for (auto& l : kit.launches) out.push_back(Narrow(l.params));
    kit.launches.clear();
    std::sort(out.begin(), out.end());
    return out;
}

#ifndef _WIN32
Zone::Zone(const char* tz) {
    if (const char* was = getenv("TZ")) saved_ = was, had_ = true;
    Set(tz);
}

Zone::~Zone() {
    if (had_)
        setenv("TZ", saved_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

void Zone::Set(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}
#endif

}  // namespace test
