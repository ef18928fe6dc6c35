// A tick that lists anew only the folders the system reported as changed.
//
// The job keeps one snapshot. Each level that changed is listed into a fresh
// record; its subfolders still in the snapshot are not read but taken over:
// their records move, byte for byte as the arrays hold them, into the fresh
// level's array, with all they own. Once every listing is done, the
// comparison walks the tree in the order a full comparison would, compares
// each fresh level with the one it replaces, and launches; then each fresh
// level's arrays take the place of the old ones, and what was not taken over
// is released. So every text and array has one owner at the end of a tick,
// as after a full read.
#include <algorithm>
#include <chrono>
#include <exception>

#include "monitor/dyna_array.h"
#include "monitor/records.h"
#include "monitor/relisting.h"
#include "platform/dir_search.h"

namespace {

std::u16string_view NameOf(std::u16string_view path) {
    const size_t at = path.rfind(u'\\');
    return at == std::u16string_view::npos ? path : path.substr(at + 1);
}

// A job's masks hold for its own reads and no other.
struct Masked {
    const base::NameMasks*& current;
    Masked(const base::NameMasks*& masks, const base::NameMasks* job) : current(masks) {
        current = job;
    }
    ~Masked() { current = nullptr; }
    Masked(const Masked&) = delete;
    Masked& operator=(const Masked&) = delete;
};

}  // namespace

bool TMainForm::Relisted::TakenOver(uint32_t fresh) const {
    auto at = std::lower_bound(takenOver.begin(), takenOver.end(),
                               std::pair<uint32_t, uint32_t>(fresh, 0));
    return at != takenOver.end() && at->first == fresh;
}

bool TMainForm::TakeOver(Relisted& relisted, const platform::DirEntry& entry,
                         std::u16string_view path2, TDir& sub) {
    // The system reports nothing behind a link: such a folder is read.
    if (entry.link) return false;
    TDir& live = *relisted.record;
    if (!live.dirs) return false;
    if (!relisted.indexed) {
        relisted.indexed = true;
        for (uint32_t k = 0; k < live.dirs->count; ++k)
            relisted.byName.emplace(NameOf(TextOf(RecordAt(*live.dirs, k).dname2)), k);
    }
    auto found = relisted.byName.find(entry.name);
    if (found == relisted.byName.end()) return false;
    // A folder that appeared under a name the snapshot knows (made anew,
    // renamed in) is another folder: it is read and compared with the old.
    std::u16string path(path2);
    path += entry.name;
    if (partial_->dirty.Whole(path)) return false;
    const uint32_t k = found->second;
    relisted.byName.erase(found);  // a name listed twice is read the second time
    sub = RecordAt(*live.dirs, k);
    relisted.takenOver.emplace_back(relisted.fresh.dirs->count - 1, k);
    return true;
}

void TMainForm::Relist(TDir& level, bool subdirs) {
    Partial& partial = *partial_;
    const std::u16string_view name2 = TextOf(level.dname2);
    TDynaArray* below = level.dirs;
    const Relisted* relisted = nullptr;
    if (partial.dirty.Relists(name2)) {
        Relisted& fresh = partial.relisted.emplace_back();  // a deque: it stays put
        fresh.record = &level;
        ReadLevel(TextOf(level.dname), name2, fresh.fresh, subdirs, &fresh);
        if (inbreak) return;
        below = fresh.fresh.dirs;
        relisted = &fresh;
    }
    if (!below || !subdirs) return;
    path_.push_back(Level{TextOf(level.dname)});
    for (uint32_t i = 0; i < below->count && !inbreak; ++i) {
        TDir& sub = RecordAt(*below, i);
        // Subfolders just read are complete; only those kept from the
        // snapshot can hold changed folders.
        if (relisted && !relisted->TakenOver(i)) continue;
        if (partial.dirty.AtOrBelow(TextOf(sub.dname2))) Relist(sub, subdirs);
    }
    path_.pop_back();
}

void TMainForm::CompareRelisted(TDir& level, size_t depth) {
    Partial& partial = *partial_;
    if (!partial.dirty.AtOrBelow(TextOf(level.dname2))) return;
    const TJob& job = partial.job;
    if (partial.next < partial.relisted.size() && partial.relisted[partial.next].record == &level) {
        Relisted& relisted = partial.relisted[partial.next++];
        CompareFiles(relisted.fresh, level, job.command, job.command2, job.newfiles,
                     job.changedfiles, job.invisible, depth);
        CompareDirs(relisted.fresh, level, job.command, job.command2, job.newfiles,
                    job.changedfiles, job.invisible, depth, &relisted);
        return;
    }
    if (!level.dirs) return;
    for (uint32_t i = 0; i < level.dirs->count; ++i)
        CompareRelisted(*static_cast<TDir*>(level.dirs->GetObject(i)), depth + 1);
}

bool TMainForm::PartialTick(TJob& job, JobWatch& watch) {
    if (infirsttimer || fullEvery_ == 0 || !watch.running || !watch.listedAll) return false;
    if (std::chrono::steady_clock::now() - watch.fullAt >= std::chrono::seconds(fullEvery_))
        return false;
    // Volumes that keep local times report other times for every file once
    // the offset moves; the full comparison knows that shift.
    if (platform::LocalOffset() != job.bias) return false;
    std::vector<platform::Change> changes;
    if (!watch.watch.Collect(changes)) {
        watch.running = false;
        return false;
    }
    // The snapshot before the last full read is of no further use.
    ReleaseDir(job.odir);
    job.odir = TDir{};
    watch.oldStandIns.clear();
    if (changes.empty() && watch.links.empty() && watch.denied.empty()) return true;

    Dirty dirty;
    for (const platform::Change& change : changes) {
        const std::u16string_view parent = ParentOf(change.path);
        if (!job.subdirs && !parent.empty()) continue;
        dirty.relist.emplace_back(parent);
        if (change.appeared) dirty.AddWhole(change.path);
    }
    for (const std::u16string& folder : watch.denied) dirty.relist.push_back(folder);
    for (const std::u16string& link : watch.links) {
        dirty.relist.emplace_back(ParentOf(link));
        dirty.AddWhole(link);
    }
    if (!dirty.Resolve(job.dir)) return false;
    if (dirty.relist.empty()) return true;

    Partial partial{job, dirty, {}, 0};
    partial_ = &partial;
    unreadable_.clear();
    path_.clear();
    links_.clear();
    bool read = false;
    struct Finish {
        TMainForm& form;
        Partial& partial;
        bool& read;
        // A partial read that did not complete leaves the snapshot as it
        // was; a complete one replaces the levels it listed, even when the
        // comparison failed, as a full read replaces the snapshot.
        ~Finish() {
            for (Relisted& relisted : partial.relisted)
                read ? form.Commit(relisted) : form.Abandon(relisted);
            form.partial_ = nullptr;
        }
    } finish{*this, partial, read};
    // The changes are taken: a read that fails now leaves the next tick a
    // full one.
    watch.listedAll = false;
    {
        const Masked masked(masks_, job.masks);
        Relist(job.dir, job.subdirs);
    }
    if (inbreak) return true;
    // A folder that could not be listed now keeps what it held, as after a
    // full read; that read also lists it again at every tick. One this user
    // may not list that held nothing is as good as read, as there too.
    std::vector<std::u16string> denied;
    for (const Unlisted& unlisted : unreadable_) {
        const TDir* held = unlisted.denied ? LevelOf(job.dir, TextOf(unlisted.dname2)) : nullptr;
        if (!unlisted.denied || (held && (CountOf(held->files) || CountOf(held->dirs))))
            return false;
        denied.emplace_back(TextOf(unlisted.dname2));
    }
    read = true;
    watch.listedAll = true;
    watch.denied = std::move(denied);
    SortUnique(watch.denied);
    // A level listed now met again every link it still holds.
    std::erase_if(watch.links,
                  [&](const std::u16string& link) { return dirty.Relists(ParentOf(link)); });
    for (std::u16string& link : links_) watch.links.push_back(std::move(link));
    SortUnique(watch.links);
    shift_ = 0;
    CompareRelisted(job.dir, 0);
    return true;
}

void TMainForm::ReleaseExcept(TDir& level, const Relisted& relisted, bool fresh) {
    if (level.files) {
        ReleaseNames(*level.files);
        delete level.files;
    }
    if (level.dirs) {
        // A blank record releases nothing; marking them in place needs no
        // memory, which may be what just ran out.
        for (const auto& [freshIndex, liveIndex] : relisted.takenOver)
            RecordAt(*level.dirs, fresh ? freshIndex : liveIndex) = TDir{};
        for (uint32_t i = 0; i < level.dirs->count; ++i) ReleaseDir(RecordAt(*level.dirs, i));
        delete level.dirs;
    }
    level.files = nullptr;
    level.dirs = nullptr;
}

void TMainForm::Commit(Relisted& relisted) {
    TDir& live = *relisted.record;
    TDir& fresh = relisted.fresh;
    ReleaseExcept(live, relisted, false);
    live.files = fresh.files;
    live.dirs = fresh.dirs;
    fresh.files = nullptr;
    fresh.dirs = nullptr;
    ReleaseDir(fresh);  // its texts: the snapshot's level keeps its own
    fresh = TDir{};
}

void TMainForm::Abandon(Relisted& relisted) {
    ReleaseExcept(relisted.fresh, relisted, true);
    ReleaseDir(relisted.fresh);
    relisted.fresh = TDir{};
}

void TMainForm::FullTick(TJob& job, JobWatch& watch) {
    // The watch runs before the read begins, so that whatever changes after
    // the read reached a folder is reported; what it reported so far, this
    // read sees.
    if (fullEvery_ > 0) {
        std::vector<platform::Change> seen;
        if (!watch.running || !watch.watch.Collect(seen))
            watch.running = watch.watch.Start(job.dirname, job.subdirs);
    }
    watch.fullAt = std::chrono::steady_clock::now();
    watch.listedAll = false;  // until this read ends well
    ReleaseDir(job.odir);
    job.odir = TDir{};
    // The read goes into a snapshot of its own: one that throws (out of
    // memory) leaves the last one in place, for the next tick to compare with.
    struct Fresh {
        TMainForm& form;
        TDir dir{};
        ~Fresh() { form.ReleaseDir(dir); }
    } fresh{*this};
    const int64_t bias = platform::LocalOffset();
    {
        const Masked masked(masks_, job.masks);
        ReadinDir(job.dirname, u"", fresh.dir, job.subdirs);
    }
    if (inbreak) return;
    std::vector<std::u16string> links = std::move(links_);
    Kept kept = KeepUnreadable(fresh.dir, job.dir, job.bias, watch.standIns);
    job.odir = job.dir;
    job.obias = job.bias;
    job.dir = fresh.dir;
    job.bias = bias;
    fresh.dir = TDir{};
    watch.oldStandIns = std::move(watch.standIns);
    watch.standIns = std::move(kept.standIns);
    watch.listedAll = kept.listedAll;
    watch.denied = std::move(kept.denied);
    SortUnique(watch.denied);
    watch.links = std::move(links);
    SortUnique(watch.links);
    watch.known = kept.known;
    // A first pass compares with nothing, but for a saved state.
    if (infirsttimer && !watch.restored) return;
    watch.restored = false;
    shift_ = job.bias - job.obias;
    struct Compare {
        TMainForm& form;
        ~Compare() { form.standIns_ = form.oldStandIns_ = nullptr; }
    } compare{*this};
    if (!watch.standIns.empty() || !watch.oldStandIns.empty()) {
        standIns_ = &watch.standIns;
        oldStandIns_ = &watch.oldStandIns;
        freshBias_ = job.bias;
        oldBias_ = job.obias;
    }
    CompDir(job.dir, job.odir, job.command, job.command2, job.newfiles, job.changedfiles,
            job.invisible);
}
