// Measures a monitoring tick against the raw directory walk it cannot beat.
//   valmorin_tick_bench [--quick] [--rounds N] [--dir PATH]
// For each tree shape, in interleaved rounds: the raw walk (every entry's
// name, size and time, nothing kept), a tick on the unchanged tree and a tick
// after 1% of the files changed. Prints medians and tick/walk ratios; the
// last line is the worst ratio.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/toolkit_memory.h"
#include "ui/main_form.h"

namespace fs = std::filesystem;

namespace {

struct Shape {
    const char* name;
    int files;
    int dirs;
};

// Every entry with its size and time, nothing kept: what a tick must do.
long Walk(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* dir = fdopendir(fd);
    long seen = 0;
    while (dirent* e = readdir(dir)) {
        struct stat info;
        if (fstatat(dirfd(dir), e->d_name, &info, 0) != 0) continue;
        ++seen;
        if (S_ISDIR(info.st_mode) && strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            seen += Walk(dirfd(dir), e->d_name);
    }
    closedir(dir);
    return seen;
}

std::vector<fs::path> MakeTree(const fs::path& root, const Shape& shape) {
    std::vector<fs::path> files;
    fs::create_directories(root);
    for (int i = 0; i < shape.files; ++i) {
        fs::path dir = shape.dirs > 1 ? root / ("dir" + std::to_string(i % shape.dirs)) : root;
        if (i < shape.dirs) fs::create_directories(dir);
        files.push_back(dir / ("file-" + std::to_string(i) + ".dat"));
        std::ofstream(files.back()) << i;
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
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

size_t HeapInUse() { return mallinfo2().uordblks + mallinfo2().hblkhd; }

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int rounds = 7;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--quick")) quick = true;
        else if (!strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::max(1, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--dir") && i + 1 < argc) base = argv[++i];
    }
    int scale = quick ? 10 : 1;
    std::vector<Shape> shapes = {{"10,000 files in 100 dirs", 10000 / scale, 100 / scale},
                                 {"100,000 files in 1,000 dirs", 100000 / scale, 1000 / scale},
                                 {"100,000 files in one dir", 100000 / scale, 1}};
    fs::path work = base / ("valmorin-bench-" + std::to_string(getpid()));

    platform::MemoryToolkit host;
    TMainForm form(host);
    double worst = 0;
    std::printf("%-30s %10s %10s %10s %8s %8s\n", "shape", "walk ms", "tick ms", "1% ms", "ratio", "1% ratio");
    size_t twoSnapshots = 0;
    for (const Shape& shape : shapes) {
        fs::path root = work / std::to_string(&shape - shapes.data());
        std::vector<fs::path> files = MakeTree(root, shape);
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
        std::vector<double> walk, same, changed;
        size_t step = std::max<size_t>(1, files.size() / std::max<size_t>(1, files.size() / 100));
        for (int r = 0; r < rounds; ++r) {
            walk.push_back(Millis([&] { Walk(AT_FDCWD, root.c_str()); }));
            same.push_back(Millis(tick));
            for (size_t i = r % step; i < files.size(); i += step) std::ofstream(files[i], std::ios::app) << 'x';
            size_t before = host.launches.size();
            changed.push_back(Millis(tick));
            if (host.launches.size() - before != files.size() / step)
                std::fprintf(stderr, "unexpected launch count %zu\n", host.launches.size() - before);
        }
        double w = Median(walk), s = Median(same), c = Median(changed);
        worst = std::max({worst, s / w, c / w});
        std::printf("%-30s %10.2f %10.2f %10.2f %8.3f %8.3f\n", shape.name, w, s, c, s / w, c / w);
        if (shape.files == 100000 / scale && shape.dirs > 1) {
            form.ReleaseDir(previous);
            form.ReleaseDir(fresh);
            size_t heap = HeapInUse();
            form.ReadinDir(path, u"", previous, true);
            form.ReadinDir(path, u"", fresh, true);
            twoSnapshots = HeapInUse() - heap;
        }
        form.ReleaseDir(previous);
        form.ReleaseDir(fresh);
        fs::remove_all(root);
    }
    fs::remove_all(work);
    std::printf("two snapshots of %d files: %.1f MB\n", 100000 / scale, twoSnapshots / 1e6);
    std::printf("worst tick/walk ratio: %.3f\n", worst);
    return 0;
}
