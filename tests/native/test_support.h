// Helpers shared by the tests: temporary trees and a host that records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "monitor/dir.h"
#include "monitor/dyna_array.h"

class TMainForm;
namespace gui {
class MemoryToolkit;
}

namespace test {

// A directory under the system's temporary folder, removed with the object.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // The root as the program writes paths (UTF-16).
    std::u16string Path() const;
    std::filesystem::path Write(const std::string& relative, const std::string& content = "x");
    std::filesystem::path MakeDir(const std::string& relative);
    void Hide(const std::string& relative);

private:
    std::filesystem::path root_;
};

// Sets a file's last write to `unixNanoseconds` after 1970, at the system's
// full resolution (the standard library's setter may round to seconds).
void SetWriteTime(const std::filesystem::path& path, int64_t unixNanoseconds);

// Byte-string views of UTF-16 texts, for readable failures.
std::string Narrow(std::u16string_view text);
std::u16string Wide(std::string_view text);

// Names of a snapshot, as "rel|name|size" for files, walked through the
// arrays' own records (not the cursors).
std::vector<std::string> Describe(const TDir& dir);

// Adds a row that watches `dir` with its subfolders for new and changed
// files and runs "cmd" shown with `params`.
void AddWatchRow(TMainForm& form, const std::u16string& dir, const std::u16string& params = u"%2");
// The parameters of the launches so far, sorted; forgets them.
std::vector<std::string> TakeLaunches(gui::MemoryToolkit& kit);

#ifndef _WIN32
// The local time's offset from UTC set for the test's process (TZ), and put
// back at the end of the scope.
class Zone {
  public:
    explicit Zone(const char* tz);
    ~Zone();
    Zone(const Zone&) = delete;
    Zone& operator=(const Zone&) = delete;
    void Set(const char* tz);

  private:
    std::string saved_;
    bool had_ = false;
};
#endif

template <class T = TDir>
T* Rec(const TDynaArray& array, uint32_t i) { return static_cast<T*>(array.poi) + i; }

}  // namespace test
