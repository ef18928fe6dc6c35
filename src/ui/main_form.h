// The main window. Its monitoring operations live with the monitor code, since
// the snapshot arrays publish their cursors into this window's fields and the
// reads obey its stop flag.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/dir.h"
#include "platform/host.h"

class TMainForm {
public:
    explicit TMainForm(platform::Host& host) : host_(host) {}
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Snapshots.
    void InitDir(TDir& dir);
    void ReadinDir(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir, bool subdirs);
    void ReleaseDir(TDir& dir);
    void FreeDir(TDynaArray*& dirs);

    // Compares a fresh snapshot with the previous one and launches the
    // command for every new or changed file.
    void CompDir(TDir& dir, TDir& odir, std::u16string_view command, std::u16string_view command2,
                 bool newfiles, bool changedfiles, bool invisible);
    void ExecCommand(std::u16string_view command, std::u16string_view command2,
                     std::u16string_view fname, std::u16string_view fname2, bool invisible);

    platform::WindowHandle Handle() const { return handle_; }
    void SetHandle(platform::WindowHandle handle) { handle_ = handle; }

    TDir* adir = nullptr;   // cursor of every subdirectory array
    TDir* afile = nullptr;  // cursor of every file array
    bool inbreak = false;   // a stop was requested: reads end at the next test
    bool incheck = false;   // a tick is running
    std::u16string progpath;

private:
    void CompareLevel(TDir& dir, TDir& odir, std::u16string_view command,
                      std::u16string_view command2, bool newfiles, bool changedfiles,
                      bool invisible, size_t depth);

    platform::Host& host_;
    platform::WindowHandle handle_ = nullptr;
    // Hash tables of the comparison, one per nesting level and kept from tick
    // to tick, so that comparing allocates nothing per entry. A deque, since
    // a deeper level may add one while the levels above hold theirs.
    std::deque<std::vector<uint32_t>> tables_;
    // File entries of the directories being read, gathered so that each
    // directory's array grows once.
    std::vector<TDir> staged_;
};
