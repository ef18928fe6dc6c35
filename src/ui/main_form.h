// The main window. Its monitoring and storage operations live with the
// monitor and storage code, since the snapshot and job arrays publish their
// cursors into this window's fields and the reads obey its stop flag.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "gui/controls.h"
#include "monitor/dir.h"
#include "monitor/event_log.h"
#include "monitor/job.h"
#include "monitor/job_watch.h"
#include "monitor/staging.h"
#include "platform/dir_search.h"
#include "storage/form_storage.h"
#include "ui/interval_field.h"

class TDynaArray;
class TEditForm;
class TAboutBox;

// A switch cell of the watch list is on exactly when it holds "Ja".
inline bool IsOn(std::u16string_view cell) {
    return cell == u"Ja";
}

class TMainForm : public gui::WindowEvents {
  public:
    static constexpr uint32_t kTrayMessage = 1024;  // WM_USER: events at the notification icon

    static constexpr char16_t kCaption[] = u"Brennick Valmorin 1.0";

    // Builds the window and its controls, hidden; FormCreate comes after.
    explicit TMainForm(gui::Toolkit& toolkit);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Snapshots.
    void InitDir(TDir& dir);
    void ReadinDir(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                   bool subdirs);
    void ReleaseDir(TDir& dir);
    void FreeDir(TDynaArray*& dirs);
    // After a read of `dir`: every folder that could not be listed (and the
    // watched one when it is missing) gets what it held in `odir`, the
    // snapshot before, so that a moment without access reports nothing.
    // `odir` was read under the zone offset `obias`, but for its `oldStandIns`.
    struct Kept {
        // The folders of `dir` that now hold times of a read before it.
        std::vector<StandIn> standIns;
        // Folders this user may not list that held nothing before, so that
        // nothing was kept for them, by relative path.
        std::vector<std::u16string> denied;
        // Nothing else was left unread.
        bool listedAll = true;
        // No folder was left unread without a snapshot to stand in for it.
        bool known = true;
    };
    Kept KeepUnreadable(TDir& dir, const TDir& odir, int64_t obias,
                        const std::vector<StandIn>& oldStandIns);

    // Compares a fresh snapshot with the previous one and launches the
    // command for every new or changed file.
    void CompDir(TDir& dir, TDir& odir, std::u16string_view command, std::u16string_view command2,
                 bool newfiles, bool changedfiles, bool invisible);
    gui::Launched ExecCommand(std::u16string_view command, std::u16string_view command2,
                              std::u16string_view fname, std::u16string_view fname2,
                              bool invisible);

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

    // The watch list's operations.
    void BitBtn1Click();  // add
    void BitBtn2Click();  // edit, also a double-click in the list
    void BitBtn3Click();  // delete, also Escape
    void BitBtn5Click();  // about

    // Start-up and shutdown.
    void FormCreate();
    void FormShow();
    void Timer2Timer();
    void FormClose();

    gui::WindowHandle Handle() const { return form->Handle(); }
    gui::Window& Window() { return *form; }
    gui::Toolkit& Toolkit() { return toolkit_; }

    // WindowEvents
    void OnShow() override;
    void OnClose() override;
    void OnDestroy() override;
    void OnEndSession() override;
    void OnTaskbarCreated() override;
    void OnUserMessage(uint32_t message, intptr_t lparam) override;

    std::unique_ptr<gui::Form> form;
    std::unique_ptr<gui::Container> Panel1;
    std::unique_ptr<gui::Button> BitBtn1, BitBtn2, BitBtn3, BitBtn4, BitBtn5;
    std::unique_ptr<gui::Label> Label1;
    std::unique_ptr<IntervalField> PruefEd;
    std::unique_ptr<gui::ReportList> ListView1;
    std::unique_ptr<gui::Timer> Timer1, Timer2;
    std::unique_ptr<TFormStorage> FormStorage1;
    // The dialogs, made after this window and living as long.
    TEditForm* EditForm = nullptr;
    TAboutBox* AboutBox = nullptr;

    TDir* adir = nullptr;   // cursor of every subdirectory array
    TDir* afile = nullptr;  // cursor of every file array
    TJob* ajob = nullptr;   // cursor of the job array
    TDynaArray* jobs = nullptr;
    bool inbreak = false;       // a stop was requested: reads end, ticks return
    bool incheck = false;       // a tick (or the first pass) is running
    bool needtodelete = false;  // the notification icon is present
    bool infirsttimer = false;  // the running tick is the first pass: compare nothing
    bool first = false;         // the window has been shown
    std::u16string progpath;

  private:
    // A partial read: the folders that changed, a level being listed anew and
    // what it takes over from the snapshot (refresh.cpp).
    struct Dirty;
    struct Relisted;
    struct Partial;
    // True when this read, or a read below it, published a file record in
    // `afile`. With `relisted`, subfolders still in the snapshot are taken
    // over from it rather than read.
    bool ReadLevel(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir,
                   bool subdirs, Relisted* relisted = nullptr);
    bool TakeOver(Relisted& relisted, const platform::DirEntry& entry, std::u16string_view path2,
                  TDir& sub);
    // One job's read and comparison at a tick: the whole tree, or only the
    // folders the system reported as changed (false when that cannot be
    // trusted now).
    void FullTick(TJob& job, JobWatch& watch);
    bool PartialTick(TJob& job, JobWatch& watch);
    void Relist(TDir& level, bool subdirs);
    void CompareRelisted(TDir& level, size_t depth);
    // A listed level replaces the snapshot's, or is given up.
    void Commit(Relisted& relisted);
    void Abandon(Relisted& relisted);
    // Releases a level's file array and the subfolder records that were not
    // taken over, on the `fresh` side of `relisted` or the snapshot's, then
    // its arrays.
    void ReleaseExcept(TDir& level, const Relisted& relisted, bool fresh);
    // A folder on the path of the running read, and what the system says it
    // is, asked only when a link needs it.
    struct Level {
        std::u16string_view path;
        platform::DirId id{};
        bool asked = false;
        bool known = false;
    };
    bool LeadsBack(const platform::DirId& target);
    void KeepLevel(TDir& dir, const TDir& odir, int64_t obias,
                   const std::vector<StandIn>& oldStandIns, Kept& kept);
    void CopyContent(TDir& dir, const TDir& from);
    void CompareLevel(TDir& dir, TDir& odir, std::u16string_view command,
                      std::u16string_view command2, bool newfiles, bool changedfiles,
                      bool invisible, size_t depth);
    void CompareFiles(TDir& dir, TDir& odir, std::u16string_view command,
                      std::u16string_view command2, bool newfiles, bool changedfiles,
                      bool invisible, size_t depth);
    // The subfolders that `relisted` took over are left to CompareRelisted.
    void CompareDirs(TDir& dir, TDir& odir, std::u16string_view command,
                     std::u16string_view command2, bool newfiles, bool changedfiles, bool invisible,
                     size_t depth, const Relisted* relisted = nullptr);
    // Hands a file the comparison decided on to the launcher, or keeps it
    // for later while another program still writes it; outside monitoring,
    // launches it at once.
    void LaunchOrOwe(std::u16string_view command, std::u16string_view command2,
                     std::u16string fname, std::u16string fname2, bool invisible, bool changed);
    // Hands on the files of `watch` whose writers let go; forgets those gone.
    void LaunchOwed(JobWatch& watch);
    // The launcher (launch_queue.cpp): launches decided by ticks wait in
    // order and are made a few at a time between messages, while fewer than
    // MaxParallel processes they started hold a place.
    struct Pending {
        size_t job;  // its index in the job array
        std::u16string fname, fname2;
        bool changed;
    };
    void Enqueue(Pending pending);
    bool Queued(size_t job, std::u16string_view fname2) const;
    void RunLaunches();
    void Launch(const Pending& pending);
    // Notes processes that ended, and frees the places of those that ran
    // past SlotSeconds.
    void Reap();
    size_t Slotted() const;
    // A launch that failed, or a process that ended with an error.
    void Failed(std::u16string_view fname);
    void ShowState();
    // At a stop: launches still waiting become owed, to be made at the next
    // start; processes are let go.
    void OweWaiting(std::u16string_view reason);
    // The files owed by `job`, with its launches still waiting.
    std::vector<Owed> OwedWithWaiting(size_t job, const std::vector<Owed>& owed) const;
    // The jobs' saved states (catch_up.cpp): where they are kept, taken
    // over at the start of monitoring, and written for every job, or for
    // those whose launches changed since the last save once a minute has
    // passed.
    std::u16string StateFolder();
    void LoadStates();
    void SaveStates(bool all);
    void AddJobs();
    void ReleaseJobs();
    // Copies between a row and the editor dialog.
    void RowToEditor(int row);
    void EditorToRow(int row);

    gui::Toolkit& toolkit_;
    // Hash tables of the comparison, one per nesting level and kept from tick
    // to tick, so that comparing allocates nothing per entry. A deque, since
    // a deeper level may add one while the levels above hold theirs.
    std::deque<std::vector<uint64_t>> tables_;
    // File entries of the directories being read, gathered so that each
    // directory's array grows once, and their names until a block of them is
    // made.
    Staging staged_;
    // The search pattern of each depth being read, and the paths of the
    // subdirectory to read next.
    std::deque<std::u16string> patterns_;
    std::u16string subPath_, subPath2_;
    std::vector<char16_t*> blocks_;
    std::vector<Level> path_;
    // The relative paths of the folders the last read reached through a link.
    std::vector<std::u16string> links_;
    // The running partial read, if any.
    Partial* partial_ = nullptr;
    // Per job, in the order of the job array.
    std::deque<JobWatch> watches_;
    // Seconds between full reads of a job whose changes the system reports;
    // 0 reads everything at every tick.
    uint32_t fullEvery_ = 60;
    // The files of the job being compared that wait for their writers (or
    // were owed when the last run ended); null outside a comparison.
    std::vector<Owed>* owed_ = nullptr;
    bool waitForWriters_ = true;
    // Whether the jobs' states are kept from one run to the next, and where
    // (empty when they are not).
    bool catchUp_ = true;
    std::u16string stateFolder_;
    std::chrono::steady_clock::time_point statesSavedAt_{};
    // Files decided on (launched or owed) since the program started.
    uint64_t decided_ = 0;
    size_t tickJob_ = 0;  // the job the running tick compares
    // The launcher's queue, the processes it started, and its settings.
    static constexpr uint32_t kLaunchMessage = 1025;
    std::deque<Pending> queue_;
    std::unordered_set<std::u16string> queued_;  // of the queue, by job and path
    struct Running {
        intptr_t process;
        uint32_t pid;
        std::chrono::steady_clock::time_point at;
        std::u16string fname;
        bool slotted;  // still holds a place
    };
    std::vector<Running> running_;
    std::unique_ptr<gui::Timer> launchTimer_;
    uint32_t maxParallel_ = 8, slotSeconds_ = 10;
    bool slicePosted_ = false, inSlice_ = false;
    EventLog log_;
    // Failures since the start, the last balloon, and the tip shown.
    uint64_t failures_ = 0;
    std::chrono::steady_clock::time_point balloonAt_{};
    bool ballooned_ = false;
    std::u16string tip_;
    std::chrono::steady_clock::time_point tipAt_{}, flushedAt_{};
    std::u16string stopReason_;
    // The files the job being read counts; null when it counts every file.
    const base::NameMasks* masks_ = nullptr;
    // The folders of the last read that could not be listed, by the texts of
    // their records, and whether this user may not list them.
    struct Unlisted {
        const char16_t* dname;
        const char16_t* dname2;
        bool denied;
        // The same text is the same record.
        bool operator<(const Unlisted& other) const {
            return std::less<const char16_t*>()(dname, other.dname);
        }
    };
    std::vector<Unlisted> unreadable_;
    // How far the local time's offset moved between the two snapshots being
    // compared, at the level being compared.
    int64_t shift_ = 0;
    // While a full read is compared where either snapshot holds stand-ins:
    // theirs, and the offsets the levels being compared were read under.
    const std::vector<StandIn>* standIns_ = nullptr;
    const std::vector<StandIn>* oldStandIns_ = nullptr;
    int64_t freshBias_ = 0, oldBias_ = 0;
    // The last error a tick of this run of monitoring showed.
    std::u16string shownerror_;
};
