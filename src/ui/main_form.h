// The main window. Its monitoring and storage operations live with the
// monitor and storage code, since the snapshot and job arrays publish their
// cursors into this window's fields and the reads obey its stop flag.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/dir.h"
#include "monitor/job.h"
#include "platform/toolkit.h"

class TDynaArray;

class TMainForm : public platform::WindowEvents {
public:
    static constexpr uint32_t kTrayMessage = 1024;  // WM_USER: events at the notification icon

    explicit TMainForm(platform::Toolkit& toolkit);
    ~TMainForm();
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

    // Monitoring.
    void BitBtn4Click();  // start
    void Timer1Timer();   // tick
    void PruefEdChange();
    void EndIt();  // stop
    void WMUser(intptr_t lparam);

    // The watch list file.
    std::u16string GetProgramDir(bool create);
    void Saveoptions();
    void Loadoptions();

    platform::WindowHandle Handle() const { return window_->Handle(); }
    platform::Window& Window() { return *window_; }
    platform::Toolkit& Toolkit() { return toolkit_; }

    // WindowEvents
    void OnUserMessage(uint32_t message, intptr_t lparam) override;

    std::unique_ptr<platform::Timer> Timer1;
    std::unique_ptr<platform::ListView> ListView1;
    std::unique_ptr<platform::NumberField> PruefEd;

    TDir* adir = nullptr;   // cursor of every subdirectory array
    TDir* afile = nullptr;  // cursor of every file array
    TJob* ajob = nullptr;   // cursor of the job array
    TDynaArray* jobs = nullptr;
    bool inbreak = false;       // a stop was requested: reads end, ticks return
    bool incheck = false;       // a tick (or the first pass) is running
    bool needtodelete = false;  // the notification icon is present
    bool infirsttimer = false;  // the running tick is the first pass: compare nothing
    std::u16string progpath;

private:
    // True when this read, or a read below it, published a file record in
    // `afile`.
    bool ReadLevel(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                   bool subdirs);
    void CompareLevel(TDir& dir, TDir& odir, std::u16string_view command,
                      std::u16string_view command2, bool newfiles, bool changedfiles,
                      bool invisible, size_t depth);
    void ReleaseJobs();

    platform::Toolkit& toolkit_;
    std::unique_ptr<platform::Window> window_;
    // Hash tables of the comparison, one per nesting level and kept from tick
    // to tick, so that comparing allocates nothing per entry. A deque, since
    // a deeper level may add one while the levels above hold theirs.
    std::deque<std::vector<uint64_t>> tables_;
    // File entries of the directories being read, gathered so that each
    // directory's array grows once. `time` holds the last-write time as the
    // platform gives it until the time numbers are made in a batch.
    struct Staged {
        char16_t* name;
        uint64_t size;
        int64_t time;
    };
    std::vector<Staged> staged_;
};
