// The launcher: what ticks decide to launch waits here, in order, and is
// launched a few at a time between the window's messages, so that a drop of
// thousands of files never keeps the window from answering. A launched
// process holds a place until it ends or SlotSeconds pass; no more than
// MaxParallel places are held at once.
#include <algorithm>
#include <chrono>
#include <string>

#include "monitor/dyna_array.h"
#include "monitor/launcher.h"
#include "monitor/records.h"
#include "platform/file.h"
#include "platform/shell.h"
#include "ui/main_form.h"

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for a few launches, short enough that the window answers in
// between as if nothing ran.
constexpr auto kSlice = std::chrono::milliseconds(100);

std::u16string Decimal(uint64_t value) {
    std::u16string text;
    for (char c : std::to_string(value)) text += static_cast<char16_t>(c);
    return text;
}

}  // namespace

namespace {

std::u16string QueueKey(size_t job, std::u16string_view fname2) {
    std::u16string key(fname2);
    key += u'\0';
    key += Decimal(job);
    return key;
}

}  // namespace

bool TMainForm::Queued(size_t job, std::u16string_view fname2) const {
    return !queue_.empty() && queued_.count(QueueKey(job, fname2)) > 0;
}

void TMainForm::Enqueue(Pending pending) {
    queued_.insert(QueueKey(pending.job, pending.fname2));
    queue_.push_back(std::move(pending));
    if (slicePosted_) return;
    slicePosted_ = true;
    toolkit_.Post(*form, kLaunchMessage, 0);
}

size_t TMainForm::Slotted() const {
    return static_cast<size_t>(std::count_if(running_.begin(), running_.end(),
                                             [](const Running& run) { return run.slotted; }));
}

void TMainForm::RunLaunches() {
    slicePosted_ = false;
    // The shell may run messages while it starts a program.
    if (inSlice_) return;
    inSlice_ = true;
    Reap();
    const bool monitoring = needtodelete && !inbreak;
    const Clock::time_point until = Clock::now() + kSlice;
    while (monitoring && !queue_.empty() && Slotted() < maxParallel_) {
        const Pending pending = std::move(queue_.front());
        queue_.pop_front();
        queued_.erase(QueueKey(pending.job, pending.fname2));
        Launch(pending);
        if (Clock::now() >= until) break;
    }
    if (monitoring && !queue_.empty() && Slotted() < maxParallel_ && !slicePosted_) {
        slicePosted_ = true;
        toolkit_.Post(*form, kLaunchMessage, 0);
    }
    // While places are held, a timer asks for the ends that free them; a
    // process that has run past its time is asked at the ticks instead.
    launchTimer_->SetEnabled(monitoring && Slotted() > 0);
    inSlice_ = false;
    // While launches follow one another, their lines go to the file a few
    // times a second rather than after each.
    const Clock::time_point now = Clock::now();
    if (queue_.empty() || now - flushedAt_ >= std::chrono::milliseconds(250)) {
        log_.Flush();
        flushedAt_ = now;
    }
    ShowState();
}

void TMainForm::Launch(const Pending& pending) {
    const TJob& job = static_cast<const TJob*>(jobs->poi)[pending.job];
    JobWatch& watch = watches_[pending.job];
    // The saved state still holds it as waiting.
    watch.unsaved = true;
    // Asked just before the launch, and not by the tick, which may find
    // thousands of files at once: one open each, and under Wine a slow one.
    if (waitForWriters_ && platform::WritersOf(pending.fname) == platform::Writers::busy) {
        log_.Write(u"Wartet auf das schreibende Programm: " + pending.fname);
        watch.owed.push_back(Owed{pending.fname, pending.fname2, pending.changed});
        return;
    }
    const gui::Launched launched =
        ExecCommand(job.command, job.command2, pending.fname, pending.fname2, job.invisible);
    const std::u16string what =
        std::u16string(TextOf(job.dirname)) +
        (pending.changed ? u" | ge\u00e4ndert | " : u" | neu | ") + pending.fname + u" | " +
        std::u16string(TextOf(job.command)) + u" " +
        LaunchParameters(TextOf(job.command), TextOf(job.command2), pending.fname, pending.fname2);
    if (!launched.started) {
        log_.Write(u"Nicht gestartet: " + what + u" | " + platform::ErrorText(launched.error));
        Failed(pending.fname);
        return;
    }
    if (!launched.process) {
        log_.Write(u"Gestartet: " + what + u" | ohne eigenen Prozess");
        return;
    }
    log_.Write(u"Gestartet: " + what + u" | Prozess " + Decimal(launched.pid));
    running_.push_back(Running{launched.process, launched.pid, Clock::now(), pending.fname, true});
}

void TMainForm::Reap() {
    const Clock::time_point now = Clock::now();
    std::erase_if(running_, [&](Running& run) {
        uint32_t code = 0;
        if (toolkit_.ProcessEnded(run.process, code)) {
            const auto tenths =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - run.at).count() / 100;
            log_.Write(u"Beendet: " + run.fname + u" | Prozess " + Decimal(run.pid) +
                       u" | Exitcode " + Decimal(code) + u" | " +
                       Decimal(static_cast<uint64_t>(tenths / 10)) + u"," +
                       Decimal(static_cast<uint64_t>(tenths % 10)) + u" s");
            if (code != 0) Failed(run.fname);
            toolkit_.ReleaseProcess(run.process);
            return true;
        }
        if (run.slotted && now - run.at >= std::chrono::seconds(slotSeconds_)) run.slotted = false;
        return false;
    });
}

void TMainForm::Failed(std::u16string_view fname) {
    ++failures_;
    const Clock::time_point now = Clock::now();
    if (ballooned_ && now - balloonAt_ < std::chrono::minutes(1)) return;
    ballooned_ = true;
    balloonAt_ = now;
    ShowState();
    toolkit_.TrayIconNotify(Handle(), 0, tip_, toolkit_.title,
                            u"Fehler beim Befehl f\u00fcr " + std::u16string(fname) +
                                u" \u2013 Einzelheiten in Valmorin.log");
}

void TMainForm::ShowState() {
    if (!needtodelete) return;
    std::u16string tip = toolkit_.title;
    if (!queue_.empty()) tip += u"\n" + Decimal(queue_.size()) + u" Starts ausstehend";
    if (failures_) tip += u"\n" + Decimal(failures_) + u" Fehler, siehe Valmorin.log";
    // The count of waiting launches changes at every turn: the shell hears
    // of it once a second.
    const Clock::time_point now = Clock::now();
    if (tip == tip_ || (!queue_.empty() && now - tipAt_ < std::chrono::seconds(1))) return;
    tip_ = tip;
    tipAt_ = now;
    toolkit_.TrayIconNotify(Handle(), 0, tip_);
}

void TMainForm::OweWaiting(std::u16string_view reason) {
    const std::u16string later = stateFolder_.empty() ? u" (entf\u00e4llt: CatchUp ist aus)"
                                                      : u" (beim n\u00e4chsten Start nachgeholt)";
    for (Pending& pending : queue_) {
        log_.Write(u"Nicht mehr gestartet: " + pending.fname + later);
        watches_[pending.job].owed.push_back(
            Owed{std::move(pending.fname), std::move(pending.fname2), pending.changed});
    }
    queue_.clear();
    queued_.clear();
    for (const Running& run : running_) toolkit_.ReleaseProcess(run.process);
    running_.clear();
    launchTimer_->SetEnabled(false);
    log_.Write(u"\u00dcberwachung beendet: " + std::u16string(reason));
    log_.Flush();
}

std::vector<Owed> TMainForm::OwedWithWaiting(size_t job, const std::vector<Owed>& owed) const {
    std::vector<Owed> all = owed;
    for (const Pending& pending : queue_)
        if (pending.job == job) all.push_back(Owed{pending.fname, pending.fname2, pending.changed});
    return all;
}
