// Each job's saved state: written when monitoring ends (and now and then
// while it runs), so that the next start launches what arrived or changed
// meanwhile instead of taking it as there before.
#include <algorithm>
#include <chrono>
#include <string>
#include <unordered_set>

#include "monitor/dyna_array.h"
#include "monitor/records.h"
#include "monitor/saved_state.h"
#include "platform/dir_search.h"
#include "platform/file.h"
#include "ui/main_form.h"

namespace {

constexpr int kCsidlLocalAppData = 28;
// A state file larger than this was not written by us.
constexpr size_t kLargestState = size_t{1} << 30;

bool IsStateFile(std::u16string_view name) {
    return name.ends_with(u".state") || name.ends_with(u".state.new");
}

}  // namespace

bool ReadStateFile(std::u16string_view path, std::string& bytes) {
    platform::File file;
    if (!file.OpenRead(path)) return false;
    bytes.clear();
    uint32_t error = 0;
    size_t got = 0;
    do {
        const size_t at = bytes.size();
        bytes.resize(at + (size_t{1} << 20));
        got = file.Read(bytes.data() + at, size_t{1} << 20, error);
        bytes.resize(at + got);
    } while (got && !error && bytes.size() <= kLargestState);
    return !error && bytes.size() <= kLargestState;
}

bool WriteStateFile(std::u16string_view path, std::string_view bytes) {
    // Written beside the last state and put in its place in one step, once
    // on the disk: a crash leaves the one or the other.
    const std::u16string fresh = std::u16string(path) + u".new";
    platform::File file;
    uint32_t error = 0;
    bool written =
        file.Create(fresh) && file.Write(bytes.data(), bytes.size(), error) == bytes.size();
    written = written && file.Flush(error);
    file.Close();
    if (written && platform::ReplaceWith(fresh, path, error)) return true;
    platform::RemoveFile(fresh);
    return false;
}

std::u16string TMainForm::StateFolder() {
    std::u16string folder;
    if (!toolkit_.SpecialFolder(kCsidlLocalAppData, folder) || folder.empty()) return {};
    return AddBackslash(folder) + u"Brennick\\Valmorin\\";
}

void TMainForm::LoadStates() {
    stateFolder_ = StateFolder();
    if (stateFolder_.empty()) return;
    std::unordered_set<std::u16string> files;
    std::string bytes;
    jobs->First();
    for (size_t index = 0; jobs->WhileNext(); ++index) {
        TJob& job = *ajob;
        JobWatch& watch = watches_[index];
        // Entries watching the same folder alike each keep a state of their
        // own, told apart by their order among themselves.
        uint32_t nth = 0;
        do {
            watch.stateFile = StateFileName(job.dirname, watch.masks, job.subdirs, nth++);
        } while (!files.insert(watch.stateFile).second);
        if (!catchUp_ || !ReadStateFile(stateFolder_ + watch.stateFile, bytes)) continue;
        SavedState state;
        if (!DecodeState(bytes, &adir, &afile, state)) continue;
        if (!StateFits(state, job.dirname, watch.masks, job.subdirs)) {
            DiscardState(state.dir);
            continue;
        }
        ReleaseDir(job.dir);
        job.dir = state.dir;
        job.bias = state.bias;
        watch.standIns = std::move(state.standIns);
        for (Owed& owed : state.owed) {
            owed.fname = AddBackslash(job.dirname) + owed.fname2;
            watch.owed.push_back(std::move(owed));
        }
        watch.restored = watch.known = true;
    }
    // States of entries no longer in the list, and all of them when they
    // are not kept: one left from long ago would launch again what was
    // launched since.
    platform::DirSearch search;
    platform::DirEntry entry;
    std::vector<std::u16string> stale;
    const std::u16string pattern = stateFolder_ + u"*.*";
    for (bool found = search.First(pattern.c_str(), entry); found; found = search.Next(entry))
        if (!entry.directory && IsStateFile(entry.name) &&
            (!catchUp_ || !files.count(std::u16string(entry.name))))
            stale.emplace_back(entry.name);
    for (const std::u16string& name : stale) platform::RemoveFile(stateFolder_ + name);
    if (!catchUp_) stateFolder_.clear();
}

void TMainForm::SaveStates(bool all) {
    if (stateFolder_.empty() || !jobs) return;
    const auto now = std::chrono::steady_clock::now();
    if (!all && now - statesSavedAt_ < std::chrono::minutes(1)) return;
    bool created = false;
    jobs->First();
    for (size_t index = 0; jobs->WhileNext(); ++index) {
        const TJob& job = *ajob;
        JobWatch& watch = watches_[index];
        // A snapshot that does not know what some folder holds would have
        // the next start launch all of it: the older state stays.
        if (!(all || watch.unsaved) || !watch.known) continue;
        if (!created) platform::CreateFolders(stateFolder_);
        created = true;
        const std::string bytes =
            EncodeState(job.dir, job.dirname, watch.masks, job.subdirs, job.bias, watch.standIns,
                        queue_.empty() ? watch.owed : OwedWithWaiting(index, watch.owed));
        if (WriteStateFile(stateFolder_ + watch.stateFile, bytes)) watch.unsaved = false;
    }
    statesSavedAt_ = now;
}
