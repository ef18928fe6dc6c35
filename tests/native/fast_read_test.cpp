// The snapshot reader's block reads, names and times against plain ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "monitor/dyna_array.h"
#include "platform/dir_search.h"
#include "base/text.h"
#include "gui/memory/toolkit_memory.h"
#include "test_support.h"
#include "ui/main_form.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using test::Narrow;
using test::Rec;
using test::Wide;

namespace {

using Lines = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Reading

// The reader as first written: every file added on its own as it is listed,
// the cursors published into the window's fields.
class PlainReader {
public:
    PlainReader(gui::MemoryToolkit& host, TMainForm& form) : host_(host), form_(form) {}

    void Read(std::u16string_view dirname, std::u16string_view dirname2, TDir& dir, bool subdirs) {
        host_.ProcessMessages();
        dir.dirs = new TDynaArray(sizeof(TDir), &form_.adir);
        dir.files = new TDynaArray(sizeof(TDir), &form_.afile);
        AllocPChar(dir.dname, dirname);
        AllocPChar(dir.dname2, dirname2);
        if (form_.inbreak) return;
        const std::u16string path = AddBackslash(dirname), path2 = AddBackslash(dirname2);
        platform::DirSearch search;
        platform::DirEntry entry;
        for (bool found = search.First((path + u"*.*").c_str(), entry); found && !form_.inbreak;
             found = search.Next(entry)) {
            if (!entry.directory) {
                auto* file = static_cast<TDir*>(dir.files->Add());
                AllocPChar(file->dname2, entry.name);
                file->time = entry.written;
                file->sizelo = static_cast<uint32_t>(entry.size);
                file->sizehi = static_cast<uint32_t>(entry.size >> 32);
            } else if (subdirs && entry.name != u"." && entry.name != u"..") {
                auto* sub = static_cast<TDir*>(dir.dirs->Add());
                const std::u16string name(entry.name);
                Read(path + name, path2 + name, *sub, subdirs);
            }
        }
    }

private:
    gui::MemoryToolkit& host_;
    TMainForm& form_;
};

// Where a cursor points, as "relative path of the directory / array / index".
std::string Locate(const TDir& dir, const void* cursor) {
    auto inside = [&](const TDynaArray& a) {
        auto* first = static_cast<const TDir*>(a.poi);
        return a.count && cursor >= first && cursor < first + a.count;
    };
    if (inside(*dir.files))
        return Narrow(dir.dname2) + "/files/" +
               std::to_string(static_cast<const TDir*>(cursor) - Rec(*dir.files, 0));
    if (inside(*dir.dirs))
        return Narrow(dir.dname2) + "/dirs/" +
               std::to_string(static_cast<const TDir*>(cursor) - Rec(*dir.dirs, 0));
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        std::string found = Locate(*Rec(*dir.dirs, i), cursor);
        if (!found.empty()) return found;
    }
    return "";
}

bool TailIsZero(const TDynaArray& a) {
    auto* bytes = static_cast<const unsigned char*>(a.poi);
    for (size_t i = size_t{a.count} * a.size; i < a.amemsize; ++i)
        if (bytes[i]) return false;
    return true;
}

void ExpectSameArray(const TDynaArray& a, const TDynaArray& b, const std::string& where) {
    EXPECT_TRUE(TailIsZero(a)) << where;
    EXPECT_EQ(a.count, b.count) << where;
    EXPECT_EQ(a.amemsize, b.amemsize) << where;
    EXPECT_EQ(a.aobjnr, b.aobjnr) << where;
    EXPECT_EQ(a.aobj == nullptr, b.aobj == nullptr) << where;
    if (a.aobj && b.aobj && a.count == b.count) {
        EXPECT_EQ(static_cast<const char*>(a.aobj) - static_cast<const char*>(a.poi),
                  static_cast<const char*>(b.aobj) - static_cast<const char*>(b.poi))
            << where;
    }
}

void ExpectSameTree(const TDir& a, const TDir& b) {
    const std::string where = Narrow(b.dname2);
    EXPECT_EQ(Narrow(a.dname), Narrow(b.dname));
    EXPECT_EQ(Narrow(a.dname2), Narrow(b.dname2));
    ExpectSameArray(*a.files, *b.files, where + " files");
    ExpectSameArray(*a.dirs, *b.dirs, where + " dirs");
    if (a.files->count != b.files->count || a.dirs->count != b.dirs->count) return;
    for (uint32_t i = 0; i < a.files->count; ++i) {
        const TDir* x = Rec(*a.files, i);
        const TDir* y = Rec(*b.files, i);
        EXPECT_EQ(Narrow(x->dname2), Narrow(y->dname2)) << where;
        EXPECT_EQ(x->time, y->time) << where << " " << Narrow(y->dname2);
        EXPECT_EQ(x->sizelo, y->sizelo) << where;
        EXPECT_EQ(x->sizehi, y->sizehi) << where;
    }
    for (uint32_t i = 0; i < a.dirs->count; ++i) ExpectSameTree(*Rec(*a.dirs, i), *Rec(*b.dirs, i));
}

std::string RandomFileName(std::mt19937& rng, int serial) {
    static const char* const parts[] = {"doc",
                                        "Bild",
                                        "\xC3\x9C"
                                        "bersicht",
                                        "\xE6\x97\xA5\xE8\xAA\x8C",
                                        "a",
                                        ".hidden",
                                        "with space",
                                        "\xF0\x9F\x98\x80"};
    std::uniform_int_distribution<int> pick(0, 7);
    return std::string(parts[pick(rng)]) + "-" + std::to_string(serial) +
           (pick(rng) % 2 ? ".txt" : "");
}

void RandomTree(test::TempTree& tree, const std::string& rel, std::mt19937& rng, int depth,
                int& serial) {
    std::uniform_int_distribution<int> files(0, depth == 0 ? 230 : 120), dirs(0, depth < 2 ? 4 : 1),
        age(0, 20 * 365 * 24), bytes(0, 40);
    const auto now = std::filesystem::file_time_type::clock::now();
    const auto session = now - std::chrono::hours(age(rng));
    if (!rel.empty()) tree.MakeDir(rel);
    for (int i = files(rng); i > 0; --i) {
        std::string name = (rel.empty() ? "" : rel + "/") + RandomFileName(rng, serial++);
        auto path = tree.Write(name, std::string(static_cast<size_t>(bytes(rng)), 'x'));
        // Files of one session, and now and then one of another age.
        auto when = bytes(rng) < 30 ? session + std::chrono::seconds(age(rng) % 3600)
                                    : now - std::chrono::hours(age(rng) * 3);
        std::filesystem::last_write_time(path, when);
    }
    for (int i = dirs(rng); i > 0; --i) {
        // Some folder names beyond ASCII, as the paths of their listings are.
        std::string sub = (rel.empty() ? "" : rel + "/") + (i % 2 ? "sub" : "\xC3\x9C" "ber") +
                          std::to_string(serial++);
        RandomTree(tree, sub, rng, depth + 1, serial);
    }
}

TEST(FastRead, SameSnapshotAsAddingOneRecordAtATime) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        test::TempTree tree;
        std::mt19937 rng(seed);
        int serial = 0;
        RandomTree(tree, "", rng, 0, serial);
        for (bool subdirs : {true, false}) {
            for (int stopAt : {0, 2, 5}) {
                SCOPED_TRACE("seed " + std::to_string(seed) + " subdirs " +
                             std::to_string(subdirs) + " stop " + std::to_string(stopAt));
                gui::MemoryToolkit host;
                TMainForm form(host);
                PlainReader plain(host, form);
                host.onPump = [&](int n) {
                    if (n == stopAt) form.inbreak = true;
                };
                TDir expected{};
                plain.Read(tree.Path(), u"", expected, subdirs);
                const int pumps = host.pumps;
                const std::string file = Locate(expected, form.afile),
                                  dir = Locate(expected, form.adir);
                form.inbreak = false;
                host.pumps = 0;
                TDir got{};
                form.ReadinDir(tree.Path(), u"", got, subdirs);
                EXPECT_EQ(host.pumps, pumps);
                ExpectSameTree(got, expected);
                EXPECT_EQ(Locate(got, form.afile), file);
                EXPECT_EQ(Locate(got, form.adir), dir);
                form.ReleaseDir(got);
                form.ReleaseDir(expected);
            }
        }
    }
}

TEST(FastRead, FoldersBeyondAsciiAreListed) {
    test::TempTree tree;
    tree.Write("\xC3\x9C" "ber/\xE6\x97\xA5/x.txt", "abc");
    tree.Write("plain/y.txt", "de");
    gui::MemoryToolkit host;
    TMainForm form(host);
    TDir snap{};
    form.ReadinDir(tree.Path(), u"", snap, true);
    std::vector<std::string> names = test::Describe(snap);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines{"plain/", "plain|y.txt|2", "\xC3\x9C" "ber/", "\xC3\x9C" "ber\\\xE6\x97\xA5/",
                            "\xC3\x9C" "ber\\\xE6\x97\xA5|x.txt|3"}));
    form.ReleaseDir(snap);
}

// A file listed before a subdirectory that holds files: adding one at a time
// leaves the file cursor below, in the subdirectory.
TEST(FastRead, FileCursorEndsWhereSingleAddsLeaveIt) {
    int below = 0;
    for (int round = 0; round < 6; ++round) {
        test::TempTree tree;
        // A folder with a file made first and one made last, named to sort
        // last: whether a system lists by name, by age or newest first, the
        // listing ends with a folder that holds a file, and files come
        // before it.
        tree.Write("zz-first/f");
        for (int i = 0; i < 3; ++i) tree.Write("a-" + std::to_string(i));
        for (int i = 0; i < 30; ++i) {
            tree.MakeDir("d" + std::to_string(i));
            if (round % 2 || i % 3 == 0) tree.Write("d" + std::to_string(i) + "/f");
        }
        tree.Write("zz-last/f");
        gui::MemoryToolkit host;
        TMainForm form(host);
        PlainReader plain(host, form);
        TDir expected{}, got{};
        plain.Read(tree.Path(), u"", expected, true);
        const std::string file = Locate(expected, form.afile);
        form.ReadinDir(tree.Path(), u"", got, true);
        EXPECT_EQ(Locate(got, form.afile), file);
        below += file.rfind("/", 0) != 0;
        form.ReleaseDir(got);
        form.ReleaseDir(expected);
    }
    EXPECT_GT(below, 0);
}

#ifndef _WIN32

// ---------------------------------------------------------------------------
// Names

TEST(FastRead, NamesDecodeAsTheGeneralDecoderDoes) {
    test::TempTree tree;
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> length(1, 40), byte(1, 255), kind(0, 9);
    const char* const pieces[] = {"\xC3\xA9",         "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                  "\xED\xA0\x80",     "\xC0\xAF",     "\xF4\x90\x80\x80",
                                  "\xE2\x82",         "\x80",         "\xFF",
                                  "abcdefgh",         "\xED\xB2\x80", "\xE0\x9F\xBF",
                                  "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF", "\xF0\x8F\xBF\xBF"};
    std::map<std::string, bool> made;
    auto make = [&](const std::string& name) {
        int fd = openat(AT_FDCWD, (tree.Root().string() + "/" + name).c_str(),
                        O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0) return;
        close(fd);
        made[name] = false;
    };
    // Plain ASCII of every length around the word sizes, and a few more.
    for (int n = 1; n <= 40; ++n) {
        std::string name;
        for (int k = 0; k < n; ++k) name += static_cast<char>('!' + (n * 7 + k * 13) % 90);
        if (name.find('/') == std::string::npos && name != "." && name != "..") make(name);
    }
    for (int i = 0; i < 600; ++i) {
        std::string name;
        for (int n = length(rng); n > 0; --n) {
            int k = kind(rng);
            if (k < 4) {
                name += pieces[byte(rng) % std::size(pieces)];
            } else {
                char c = static_cast<char>(byte(rng));
                name += c == '/' ? 'x' : c;
            }
        }
        if (name == "." || name == ".." || name.size() > 200 || made.count(name)) continue;
        make(name);
    }
    platform::DirSearch search;
    platform::DirEntry entry;
    std::map<std::u16string, std::string> expected;
    for (auto& [name, seen] : made) expected[base::Utf8ToUtf16(name)] = name;
    int listed = 0;
    for (bool found = search.First((tree.Path() + u"\\*.*").c_str(), entry); found;
         found = search.Next(entry)) {
        if (entry.name == u"." || entry.name == u"..") continue;
        ++listed;
        EXPECT_TRUE(expected.count(std::u16string(entry.name))) << Narrow(entry.name);
    }
    EXPECT_EQ(listed, static_cast<int>(made.size()));
}

// ---------------------------------------------------------------------------
// Times

// Times are the system's own, to the tenth of a microsecond and in UTC: the
// zone the process is in changes none of them.
TEST(FastRead, TimesAreUtcAtFullResolutionInEveryZone) {
    test::TempTree tree;
    std::map<std::string, uint64_t> written;
    for (int i = 0; i < 6; ++i) {
        auto path = tree.Write("f" + std::to_string(i));
        // 1650000000.3 s and steps of 0.7 s: within one two-second step too.
        const int64_t ns = 1'650'000'000'300'000'000 + int64_t{i} * 700'000'000;
        timespec stamps[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), stamps, 0), 0);
        written["f" + std::to_string(i)] = static_cast<uint64_t>(ns / 100) + 116444736000000000u;
    }
    const char* saved = getenv("TZ");
    const std::string keep = saved ? saved : "";
    for (const char* tz : {"UTC0", "XST-3", "EST5EDT,M3.2.0,M11.1.0"}) {
        setenv("TZ", tz, 1);
        tzset();
        platform::DirSearch search;
        platform::DirEntry entry;
        int files = 0;
        for (bool found = search.First((tree.Path() + u"\\*.*").c_str(), entry); found;
             found = search.Next(entry)) {
            if (entry.directory) continue;
            ++files;
            EXPECT_EQ(entry.written, written[Narrow(entry.name)]) << tz;
        }
        EXPECT_EQ(files, 6);
        EXPECT_EQ(search.End(), platform::ListEnd::complete);
    }
    if (saved) setenv("TZ", keep.c_str(), 1); else unsetenv("TZ");
    tzset();
}

#endif

}  // namespace
