// Measures a monitoring tick against the raw directory walk it cannot beat.
//   valmorin_tick_bench [--quick] [--large] [--state] [--rounds N] [--scattered-times]
//                       [--dir PATH]
// For each tree shape, in interleaved rounds: the raw walk (every entry's
// name, size and time, nothing kept), a tick on the unchanged tree, and after
// a change of 1% of the files a walk (walk*) and a tick. Prints median times,
// tick/walk ratios and what the tick costs beyond the walk per file (each the
// median of the values within the rounds) and the processor time of an
// unchanged tick of a running monitor, which lists only what the system
// reported as changed, against the walk's (idle %); then the peak heap of two
// snapshots of each tree of 100,000 files or more; the last line is the worst
// ratio. --large adds a tree of 1,000,000 files in 10,000 directories, made
// once and kept for later runs (delete valmorin-bench-large* to make it anew).
// --state measures instead the saved state of 100,000 files in 1,000
// directories: its size, and the time to write it out and to read it back.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "gui/memory/toolkit_memory.h"
#include "monitor/saved_state.h"
#include "ui/main_form.h"

namespace fs = std::filesystem;

// Heap accounting for the memory figure: every operator new and every block
// of the record arrays, at what the allocator really hands out (its usable
// size plus the header in front of each chunk). Near each new high of that
// count the allocator's own count is taken too, which also sees what the C
// library allocates by itself (the buffers of open directories); taking it
// at every allocation would cost minutes.
namespace {
bool counting = false;
long long heapNow = 0, heapPeak = 0, heapSampled = 0;
long long mallocBase = 0, mallocPeak = 0;

long long MallocInUse() {
    struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

void Count(void* p, int sign, bool block = false) {
    if (!counting || !p) return;
    heapNow += sign * static_cast<long long>(malloc_usable_size(p) + sizeof(size_t));
    heapPeak = std::max(heapPeak, heapNow);
    if (block || heapNow >= heapSampled + 65536) {
        heapSampled = heapNow;
        mallocPeak = std::max(mallocPeak, MallocInUse() - mallocBase);
    }
}

void* Allocate(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    Count(p, 1);
    return p;
}

void Release(void* p) {
    Count(p, -1);
    std::free(p);
}
}  // namespace

void* operator new(size_t n) {
    return Allocate(n);
}
void* operator new[](size_t n) {
    return Allocate(n);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}

// The record arrays take their blocks through platform::AllocZeroedBlock and
// platform::FreeBlock; the linker's --wrap routes those calls here.
extern "C" {
void* __real__ZN8platform16AllocZeroedBlockEm(size_t bytes);
void __real__ZN8platform9FreeBlockEPv(void* block);

void* __wrap__ZN8platform16AllocZeroedBlockEm(size_t bytes) {
    void* block = __real__ZN8platform16AllocZeroedBlockEm(bytes);
    Count(block, 1, true);
    return block;
}

void __wrap__ZN8platform9FreeBlockEPv(void* block) {
    Count(block, -1);
    __real__ZN8platform9FreeBlockEPv(block);
}
}

namespace {

struct Shape {
    int files;
    int dirs;
    std::string name = {};
};

// Every entry with its size and time, nothing kept: what a tick must do. It
// stats every entry, "." and ".." included, with the call the reader uses.
long Walk(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* dir = fdopendir(fd);
    long seen = 0;
    while (dirent* e = readdir(dir)) {
        struct stat info;
        if (fstatat(dirfd(dir), e->d_name, &info, 0) != 0) continue;
        seen += 1 + (info.st_size & 1) + (info.st_mtime & 1);
        if (S_ISDIR(info.st_mode) && strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            seen += Walk(dirfd(dir), e->d_name);
    }
    closedir(dir);
    return seen;
}

// Real trees hold files of many ages and some names beyond ASCII; a tree of
// files written in one second with plain names would flatter any shortcut.
// Each directory's files were written in sessions of 1 to 20 files, the
// sessions anywhere in the last ten years, within a session four of five
// files in the same second as the one before and the others up to half a
// minute later: about four files of a directory share a second. The trees of
// a Debian system have 2 (/usr/share/doc) to 14 (a home directory) and
// usually 5 to 10. With `scattered`, every file has an hour of its own.
// With `make` false, only the paths of the files the tree has.
std::vector<fs::path> MakeTree(const fs::path& root, const Shape& shape, bool scattered,
                               bool make = true) {
    std::vector<fs::path> files;
    if (make) fs::create_directories(root);
    const time_t now = time(nullptr);
    constexpr time_t kTenYears = 315360000;
    struct Session {
        int left = 0;
        time_t at = 0;
    };
    std::vector<Session> sessions(static_cast<size_t>(shape.dirs));
    std::mt19937_64 rng(42);
    for (int i = 0; i < shape.files; ++i) {
        fs::path dir = shape.dirs > 1 ? root / ("dir" + std::to_string(i % shape.dirs)) : root;
        if (make && i < shape.dirs) fs::create_directories(dir);
        std::string name = (i % 20 == 7 ? "\xC3\x9C"
                                          "bersicht-"
                                        : "file-") +
                           std::to_string(i) + ".dat";
        files.push_back(dir / name);
        if (!make) continue;
        std::ofstream(files.back()) << i;
        time_t written;
        if (scattered) {
            written = now - (static_cast<time_t>(i) * 3163) % kTenYears;
        } else {
            Session& session = sessions[static_cast<size_t>(i % shape.dirs)];
            if (session.left == 0)
                session = {static_cast<int>(1 + rng() % 20),
                           now - static_cast<time_t>(rng() % kTenYears)};
            --session.left;
            if (rng() % 5 == 0) session.at += static_cast<time_t>(1 + rng() % 30);
            written = session.at;
        }
        timespec times[2] = {{0, UTIME_OMIT}, {written, 0}};
        utimensat(AT_FDCWD, files.back().c_str(), times, 0);
    }
    return files;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
double Millis(F&& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The peak heap, counted from nothing, while a fresh window reads two
// snapshots of `path` and compares them, as a tick does.
struct Peak {
    long long counted, allocator;
};

Peak TwoSnapshotsPeak(const std::u16string& path) {
    heapNow = heapPeak = heapSampled = 0;
    mallocBase = MallocInUse();
    mallocPeak = 0;
    counting = true;
    {
        gui::MemoryToolkit host;
        TMainForm form(host);
        TDir previous{}, fresh{};
        form.ReadinDir(path, u"", previous, true);
        form.ReadinDir(path, u"", fresh, true);
        form.CompDir(fresh, previous, u"cmd", u"/c echo %1", true, true, true);
        form.ReleaseDir(previous);
        form.ReleaseDir(fresh);
    }
    counting = false;
    if (heapNow != 0) std::fprintf(stderr, "heap count off by %lld bytes\n", heapNow);
    return {heapPeak, mallocPeak};
}

template <class F>
double CpuMillis(F&& f) {
    timespec from, to;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &from);
    f();
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &to);
    return (to.tv_sec - from.tv_sec) * 1e3 + (to.tv_nsec - from.tv_nsec) / 1e6;
}

// The processor time of an unchanged tick of a running monitor, which reads
// only what the system reported, against that of the walk.
double IdleShare(const fs::path& root, int rounds) {
    std::vector<double> walks, ticks;
    for (int i = 0; i < 5; ++i) walks.push_back(CpuMillis([&] { Walk(AT_FDCWD, root.c_str()); }));
    gui::MemoryToolkit host;
    TMainForm form(host);
    const int row = form.ListView1->AddRow();
    const std::u16string cells[] = {root.u16string(), u"Ja", u"cmd", u"%1", u"Ja", u"Ja", u"Nein"};
    for (int c = 0; c < 7; ++c) form.ListView1->SetCell(row, c, cells[c]);
    form.BitBtn4Click();
    for (int i = 0; i < rounds; ++i) ticks.push_back(CpuMillis([&] { host.FireTimers(); }));
    form.EndIt();
    if (!host.launches.empty()) std::fprintf(stderr, "an unchanged tick launched\n");
    return Median(ticks) / Median(walks);
}

std::string Thousands(int n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

// Saving is the snapshot encoded and written to the disk; loading is the
// file read and turned back into a snapshot, as monitoring does at its ends.
int StateBench(const fs::path& work, int rounds) {
    const Shape shape{100000, 1000, "100,000 files in 1,000 dirs"};
    MakeTree(work / "tree", shape, false);
    const std::u16string path = (work / "tree").u16string();
    const std::u16string file = (work / "bench.state").u16string();
    gui::MemoryToolkit host;
    TMainForm form(host);
    TDir dir{};
    form.ReadinDir(path, u"", dir, true);
    std::vector<double> saves, loads;
    size_t bytes = 0;
    for (int i = 0; i < rounds; ++i) {
        saves.push_back(Millis([&] {
            const std::string state = EncodeState(dir, path, u"", true, 0, {}, {});
            bytes = state.size();
            if (!WriteStateFile(file, state)) std::fprintf(stderr, "cannot write\n");
        }));
        loads.push_back(Millis([&] {
            std::string state;
            SavedState read;
            if (!ReadStateFile(file, state) ||
                !DecodeState(state, &form.adir, &form.afile, read))
                std::fprintf(stderr, "cannot read\n");
            form.ReleaseDir(read.dir);
        }));
    }
    form.ReleaseDir(dir);
    fs::remove_all(work);
    std::printf("saved state of %s: %.2f MB, save %.1f ms, load %.1f ms (medians of %d)\n",
                shape.name.c_str(), bytes / 1e6, Median(saves), Median(loads), rounds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false, scattered = false, large = false, state = false;
    int rounds = 61;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--quick"))
            quick = true;
        else if (!strcmp(argv[i], "--large"))
            large = true;
        else if (!strcmp(argv[i], "--state"))
            state = true;
        else if (!strcmp(argv[i], "--scattered-times"))
            scattered = true;
        else if (!strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--dir") && i + 1 < argc)
            base = argv[++i];
    }
    const int scale = quick ? 10 : 1;
    std::vector<Shape> shapes;
    for (Shape size : {Shape{10000, 100}, Shape{100000, 1000}, Shape{100000, 1}}) {
        Shape shape{size.files / scale, std::max(1, size.dirs / scale)};
        shape.name = Thousands(shape.files) + " files in " +
                     (shape.dirs > 1 ? Thousands(shape.dirs) + " dirs" : std::string("one dir"));
        shapes.push_back(shape);
    }
    if (large) shapes.push_back(Shape{1000000, 10000, "1,000,000 files in 10,000 dirs"});
    fs::path work = base / ("valmorin-bench-" + std::to_string(getpid()));
    if (state) return StateBench(work, std::min(rounds, 15));

    gui::MemoryToolkit host;
    TMainForm form(host);
    double worst = 0, worstIdle = 0;
    std::vector<std::pair<std::string, Peak>> peaks;
    std::printf("%-30s %9s %9s %7s %7s %10s %9s %8s %7s %7s\n", "shape", "walk ms", "tick ms",
                "ratio", "ns/file", "walk* ms", "1% ms", "1% ratio", "ns/file", "idle %");
    for (const Shape& shape : shapes) {
        const size_t index = static_cast<size_t>(&shape - shapes.data());
        // The large tree takes minutes to make: it stays for later runs, and
        // counts as made once its mark is there.
        const bool kept = shape.files >= 1000000;
        const std::string keptName =
            "valmorin-bench-large" + std::string(scattered ? "-scattered" : "");
        fs::path root = kept ? base / keptName : work / std::to_string(index);
        const fs::path mark = base / (keptName + ".made");
        const bool made = kept && fs::exists(mark) && fs::is_directory(root);
        if (kept && !made) {
            std::fprintf(stderr, "making %s (once)...\n", root.c_str());
            fs::remove_all(root);
        }
        std::vector<fs::path> files = MakeTree(root, shape, scattered, !made);
        if (kept && !made) std::ofstream(mark) << shape.files << " files\n";
        std::u16string path = root.u16string();
        TDir previous{}, fresh{};
        form.ReadinDir(path, u"", previous, true);
        form.ReadinDir(path, u"", fresh, true);
        auto tick = [&] {
            form.ReleaseDir(previous);
            previous = fresh;
            form.ReadinDir(path, u"", fresh, true);
            form.CompDir(fresh, previous, u"cmd", u"/c echo %1", true, true, true);
        };
        // 1% of the files, a different 1% each time.
        constexpr size_t kStep = 100;
        size_t changes = 0;
        auto change = [&] {
            const size_t first = changes++ % kStep;
            for (size_t i = first; i < files.size(); i += kStep)
                std::ofstream(files[i], std::ios::app) << 'x';
            host.launches.clear();
            return (files.size() - first + kStep - 1) / kStep;
        };
        auto expect = [&](size_t wanted) {
            if (host.launches.size() != wanted)
                std::fprintf(stderr, "unexpected launch count %zu, not %zu\n", host.launches.size(),
                             wanted);
        };
        std::vector<double> walk, same, walkChanged, changed;
        auto walkTree = [&] { Walk(AT_FDCWD, root.c_str()); };
        // Writing files slows the next pass over the tree down, whichever it
        // is; the tick after a change is measured against a walk after one.
        const std::vector<std::function<void()>> parts = {
            [&] { walk.push_back(Millis(walkTree)); },
            [&] { same.push_back(Millis(tick)); },
            [&] {
                size_t wanted = change();
                walkChanged.push_back(Millis(walkTree));
                tick();
                expect(wanted);
            },
            [&] {
                size_t wanted = change();
                changed.push_back(Millis(tick));
                expect(wanted);
            },
        };
        // Every order in turn, after one round that only warms the caches,
        // so that no measurement always follows the same one. Short passes
        // are noisier, so smaller trees get more rounds. With half as many,
        // a row's median still moved by one to two hundredths from run to
        // run, more than the margin it is read against.
        const int shapeRounds =
            kept ? std::max(5, rounds / 2) : rounds * std::clamp(50000 / shape.files, 1, 10);
        std::vector<int> order = {0, 1, 2, 3};
        for (int round = 0; round <= shapeRounds; ++round) {
            for (int p : order) parts[static_cast<size_t>(p)]();
            std::next_permutation(order.begin(), order.end());
        }
        for (auto* v : {&walk, &same, &walkChanged, &changed}) v->erase(v->begin());

        // Ratios within a round, where both sides ran moments apart, so that
        // a slower or faster stretch of the machine does not tilt them.
        std::vector<double> ratio, ratioChanged, beyond, beyondChanged;
        const double nsPerFile = 1e6 / shape.files;
        for (size_t r = 0; r < walk.size(); ++r) {
            ratio.push_back(same[r] / walk[r]);
            ratioChanged.push_back(changed[r] / walkChanged[r]);
            beyond.push_back((same[r] - walk[r]) * nsPerFile);
            beyondChanged.push_back((changed[r] - walkChanged[r]) * nsPerFile);
        }
        double q = Median(ratio), qc = Median(ratioChanged);
        worst = std::max({worst, q, qc});
        const double idle = IdleShare(root, 25);
        worstIdle = std::max(worstIdle, idle);
        std::printf("%-30s %9.2f %9.2f %7.3f %7.0f %10.2f %9.2f %8.3f %7.0f %7.3f\n",
                    shape.name.c_str(), Median(walk), Median(same), q, Median(beyond),
                    Median(walkChanged), Median(changed), qc, Median(beyondChanged), idle * 100);
        std::fflush(stdout);
        form.ReleaseDir(previous);
        form.ReleaseDir(fresh);
        if (index > 0) peaks.emplace_back(shape.name, TwoSnapshotsPeak(path));
        if (!kept) fs::remove_all(root);
    }
    fs::remove_all(work);
    for (const auto& [name, peak] : peaks)
        std::printf("peak heap, two snapshots of %s: %.1f MB (%.1f counted, %.1f by malloc)\n",
                    name.c_str(), std::max(peak.counted, peak.allocator) / 1e6, peak.counted / 1e6,
                    peak.allocator / 1e6);
    std::printf("worst unchanged tick of a running monitor: %.3f%% of the walk\n", worstIdle * 100);
    std::printf("worst tick/walk ratio: %.3f\n", worst);
    return 0;
}
