// Starting, running and stopping the monitoring of the watch list.
#include <algorithm>
#include <cmath>
#include <exception>

#include "base/name_mask.h"
#include "base/text.h"
#include "monitor/dyna_array.h"
#include "platform/dir_search.h"
#include "ui/main_form.h"

namespace {

constexpr int kMouseLeftUp = 514;
constexpr int kMouseRightUp = 517;

uint32_t Milliseconds(double value) {
    return static_cast<uint32_t>(std::clamp(std::trunc(value), 0.0, 4294967295.0));
}

}  // namespace

void TMainForm::BitBtn4Click() {
    // Only the autostart can come while monitoring runs; a second set of jobs
    // over the first would be lost at the stop.
    if (needtodelete) return;
    // The window's settings are restored whenever it comes back; saved now,
    // they bring back what the user had rather than what the last close left.
    // Saved before the icon exists: the error box of a failed save runs
    // messages, and a click on the icon then would stop a start that goes on.
    toolkit_.Guarded([this] { FormStorage1->SaveFormPlacement(false); });
    if (needtodelete) return;  // the autostart came while the box was open
    fullEvery_ = FormStorage1->FullReadSeconds();
    waitForWriters_ = FormStorage1->WaitForWriters();
    catchUp_ = FormStorage1->CatchUp();
    maxParallel_ = FormStorage1->MaxParallel();
    slotSeconds_ = FormStorage1->SlotSeconds();
    log_.Open(StateFolder());
    failures_ = 0;
    ballooned_ = false;
    stopReason_.clear();
    toolkit_.TrayIconAdd(Handle(), 0, toolkit_.ApplicationIcon(), toolkit_.title);
    inbreak = false;
    needtodelete = true;
    shownerror_.clear();
    tip_ = toolkit_.title;
    form->Hide();

    jobs = new TDynaArray(sizeof(TJob), &ajob);
    // The out-of-memory box runs messages: a stop requested from it waits,
    // as during a tick, until the array it would release is out of use.
    incheck = true;
    try {
        AddJobs();
    } catch (...) {
        incheck = false;
        if (inbreak) EndIt();
        throw;
    }
    incheck = false;
    if (inbreak) EndIt();
    if (!jobs) return;
    LoadStates();
    log_.Write(u"\u00dcberwachung gestartet: " + base::Utf8ToUtf16(std::to_string(jobs->count)) +
               u" Eintr\u00e4ge, Pr\u00fcfung alle " +
               base::Utf8ToUtf16(std::to_string(Milliseconds(PruefEd->Value()))) + u" ms");

    infirsttimer = true;
    Timer1Timer();
    infirsttimer = false;
    Timer1->SetInterval(Milliseconds(PruefEd->Value()));
    Timer1->SetEnabled(true);
}

void TMainForm::AddJobs() {
    for (int row = 0; row < ListView1->RowCount(); ++row) {
        auto* job = static_cast<TJob*>(jobs->Add());
        if (!job) break;
        AllocPChar(job->command, ListView1->Cell(row, 2));
        AllocPChar(job->command2, ListView1->Cell(row, 3));
        // The cell stays as typed; only the job splits off its masks.
        const std::u16string cell = ListView1->Cell(row, 0);
        const base::MaskedFolder split = base::SplitMasks(cell);
        AllocPChar(job->dirname, split.folder);
        if (!split.masks.empty()) job->masks = new base::NameMasks(split.masks);
        job->subdirs = IsOn(ListView1->Cell(row, 1));
        job->newfiles = IsOn(ListView1->Cell(row, 4));
        job->changedfiles = IsOn(ListView1->Cell(row, 5));
        job->invisible = IsOn(ListView1->Cell(row, 6));
        InitDir(job->dir);
        InitDir(job->odir);
        watches_.emplace_back().masks = split.masks;
    }
}

void TMainForm::Timer1Timer() {
    if (inbreak || incheck || !jobs) return;
    incheck = true;
    bool failed = false;
    std::u16string error;
    try {
        // A process that ran past its time no longer holds a place; its end
        // is noted here.
        if (!running_.empty()) Reap();
        jobs->First();
        for (size_t index = 0; !inbreak && jobs->WhileNext(); ++index) {
            TJob& job = *ajob;
            JobWatch& watch = watches_[index];
            const uint64_t decided = decided_;
            owed_ = &watch.owed;
            tickJob_ = index;
            if (!PartialTick(job, watch)) FullTick(job, watch);
            owed_ = nullptr;
            LaunchOwed(watch);
            if (decided_ != decided) watch.unsaved = true;
        }
        // The first pass writes every state, so that a crash soon after a
        // start finds one; later, a minute may pass between saves, and a
        // crash makes at most that minute's launches again.
        if (!inbreak) SaveStates(infirsttimer);
        log_.Flush();
    } catch (const std::exception& raised) {
        failed = true;
        error = base::Utf8ToUtf16(raised.what());
    }
    // The box holds the tick: ticks that fall due while it is open return,
    // and a stop requested from it completes once it is closed. An error
    // that every tick raises is shown once.
    if (failed && error != shownerror_) {
        shownerror_ = error;
        toolkit_.ErrorBox(error);
    }
    incheck = false;
    if (inbreak) EndIt();
}

void TMainForm::PruefEdChange() {
    Timer1->SetInterval(Milliseconds(PruefEd->Value()));
}

void TMainForm::EndIt() {
    // A request that arrives when nothing runs (a click queued before the
    // icon went) changes nothing and never releases twice.
    if (!needtodelete) return;
    Timer1->SetEnabled(false);
    if (incheck) {
        // Called from inside a tick through the message pump: the tick ends
        // early and completes the stop.
        inbreak = true;
        return;
    }
    OweWaiting(stopReason_.empty() ? u"beendet" : stopReason_);
    needtodelete = false;
    toolkit_.TrayIconDelete(Handle(), 0);
    SaveStates(true);
    // Released before the window comes back: the restore that showing runs
    // may put up a box, and a start made from it has jobs of its own.
    ReleaseJobs();
    form->Show();
}

void TMainForm::WMUser(intptr_t lparam) {
    if (lparam != kMouseLeftUp && lparam != kMouseRightUp) return;
    stopReason_ = u"Klick auf das Symbol";
    EndIt();
}

void TMainForm::ReleaseJobs() {
    if (!jobs) return;
    jobs->First();
    while (jobs->WhileNext()) {
        TJob* job = ajob;
        FreePChar(job->command2);
        FreePChar(job->command);
        FreePChar(job->dirname);
        delete job->masks;
        ReleaseDir(job->dir);
        ReleaseDir(job->odir);
    }
    delete jobs;
    jobs = nullptr;
    watches_.clear();
}
