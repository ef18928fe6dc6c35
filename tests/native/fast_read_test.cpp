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
#include "platform/dos_time.h"
#include "platform/text.h"
#include "platform/toolkit_memory.h"
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
    PlainReader(platform::MemoryToolkit& host, TMainForm& form) : host_(host), form_(form) {}

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
                file->time = entry.time;
                file->sizelo = static_cast<uint32_t>(entry.size);
                file->sizehi = static_cast<uint32_t>(entry.size >> 32);
            } else if (subdirs && entry.name != u"." && entry.name != u"..") {
                auto* sub = static_cast<TDir*>(dir.dirs->Add());
                Read(path + entry.name, path2 + entry.name, *sub, subdirs);
            }
        }
    }

private:
    platform::MemoryToolkit& host_;
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
                platform::MemoryToolkit host;
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
    platform::MemoryToolkit host;
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
        // Named to sort first, for systems that list in name order.
        for (int i = 0; i < 3; ++i) tree.Write("a-" + std::to_string(i));
        for (int i = 0; i < 30; ++i) {
            tree.MakeDir("d" + std::to_string(i));
            if (round % 2 || i % 3 == 0) tree.Write("d" + std::to_string(i) + "/f");
        }
        platform::MemoryToolkit host;
        TMainForm form(host);
        PlainReader plain(host, form);
        TDir expected{}, got{};
        plain.Read(tree.Path(), u"", expected, true);
        const std::string file = Locate(expected, form.afile);
        form.ReadinDir(tree.Path(), u"", got, true);
        EXPECT_EQ(Locate(got, form.afile), file);
        below += file.rfind("d", 0) == 0;
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
    for (auto& [name, seen] : made) expected[platform::Utf8ToUtf16(name)] = name;
    int listed = 0;
    for (bool found = search.First((tree.Path() + u"\\*.*").c_str(), entry); found;
         found = search.Next(entry)) {
        if (entry.name == u"." || entry.name == u"..") continue;
        ++listed;
        EXPECT_TRUE(expected.count(entry.name)) << Narrow(entry.name);
    }
    EXPECT_EQ(listed, static_cast<int>(made.size()));
}

// ---------------------------------------------------------------------------
// Time numbers

uint32_t PlainTime(int64_t written) {
    time_t t = static_cast<time_t>(written);
    tm parts{};
    if (!localtime_r(&t, &parts)) return 0;
    int year = parts.tm_year + 1900;
    if (year >= 1980 && year <= 2107)
        return platform::PackDosTime(year, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                                     parts.tm_min, parts.tm_sec > 59 ? 59 : parts.tm_sec);
    return platform::OutOfRangeDosTime(written + parts.tm_gmtoff + 11644473600);
}

class Zone {
public:
    explicit Zone(const char* tz) {
        const char* saved = getenv("TZ");
        had_ = saved != nullptr;
        if (had_) saved_ = saved;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~Zone() {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_;
    std::string saved_;
};

// The time zone changes while a tree is read, as window messages handled
// between two directories could change it: every file still gets the number
// of the moment it was listed.
TEST(FastRead, ZoneChangedDuringTheReadAsIfAddedOneAtATime) {
    test::TempTree tree;
    std::mt19937 rng(12);
    int serial = 0;
    RandomTree(tree, "", rng, 0, serial);
    for (int switchAt = 1; switchAt <= 6; ++switchAt) {
        Zone outside("UTC0");
        platform::MemoryToolkit host;
        TMainForm form(host);
        PlainReader plain(host, form);
        host.onPump = [&](int n) {
            if (n == switchAt) {
                setenv("TZ", "XST-3", 1);
                tzset();
            }
        };
        TDir expected{};
        plain.Read(tree.Path(), u"", expected, true);
        setenv("TZ", "UTC0", 1);
        tzset();
        host.pumps = 0;
        TDir got{};
        form.ReadinDir(tree.Path(), u"", got, true);
        ExpectSameTree(got, expected);
        form.ReleaseDir(got);
        form.ReleaseDir(expected);
    }
}

// Batches as the reader makes them: a directory's files, many of them
// written in the same second, some batches far larger than the rest.
TEST(FastTime, BatchesGiveLocaltimeOfEveryTime) {
    std::vector<std::string> zones = {"UTC0", "XST-3", "EST5EDT,M3.2.0,M11.1.0"};
    for (const char* file : {"Europe/Berlin", "Australia/Lord_Howe", "Asia/Kathmandu", "right/UTC"})
        if (std::filesystem::exists(std::filesystem::path("/usr/share/zoneinfo") / file))
            zones.push_back(file);
    std::mt19937_64 rng(4);
    for (const std::string& tz : zones) {
        Zone zone(tz.c_str());
        for (size_t count : {1, 7, 100, 3000, 70000}) {
            std::vector<int64_t> written;
            for (size_t i = 0; i < count; ++i) {
                if (i && rng() % 3)
                    written.push_back(written[rng() % written.size()]);
                else
                    written.push_back(static_cast<int64_t>(rng() % 6'000'000'000) - 2'000'000'000);
            }
            // The size a batch is told is a hint only.
            for (size_t hint : {count, size_t{1}}) {
                platform::LocalTimes batch(hint);
                for (size_t i = 0; i < count; ++i)
                    ASSERT_EQ(batch.DosTime(written[i]), PlainTime(written[i]))
                        << tz << " " << written[i];
            }
        }
    }
}

// A batch knows nothing of the zone an earlier one was made in.
TEST(FastTime, EachBatchTakesTheZoneInForceNow) {
    for (const char* tz : {"UTC0", "XST-3", "UTC0", "XST-3"}) {
        Zone zone(tz);
        platform::LocalTimes batch(50);
        for (int i = 0; i < 50; ++i)
            ASSERT_EQ(batch.DosTime(1'650'000'000), PlainTime(1'650'000'000)) << tz;
    }
}

TEST(FastRead, TimesAreLocaltimeOfEveryFileInEveryZone) {
    test::TempTree tree;
    std::mt19937_64 rng(9);
    std::map<std::string, int64_t> written;
    for (int i = 0; i < 400; ++i) {
        std::string name = "f" + std::to_string(i);
        auto path = tree.Write(name);
        // Files written in the same second, files of one afternoon, and files
        // of any age.
        int64_t t = i % 4 == 0   ? 1'650'000'000
                    : i % 4 == 1 ? 1'650'000'000 + static_cast<int64_t>(rng() % 7200)
                                 : static_cast<int64_t>(rng() % 5'000'000'000) - 1'000'000'000;
        timespec stamps[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(t), 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), stamps, 0), 0);
        written[name] = t;
    }
    platform::DirSearch search;
    platform::DirEntry entry;
    for (const char* tz :
         {"UTC0", "XST-3", "Europe/Berlin", "EST5EDT,M3.2.0,M11.1.0", "right/UTC"}) {
        Zone zone(tz);
        int files = 0;
        for (bool found = search.First((tree.Path() + u"\\*.*").c_str(), entry); found;
             found = search.Next(entry)) {
            if (entry.directory) continue;
            ++files;
            EXPECT_EQ(entry.written, written[Narrow(entry.name)]);
            EXPECT_EQ(entry.time, PlainTime(written[Narrow(entry.name)]))
                << tz << " " << Narrow(entry.name);
        }
        EXPECT_EQ(files, 400);
        platform::DirSearch deferred(true);
        for (bool found = deferred.First((tree.Path() + u"\\*.*").c_str(), entry); found;
             found = deferred.Next(entry)) {
            EXPECT_EQ(entry.time, 0u);
            if (entry.directory) continue;
            EXPECT_EQ(entry.written, written[Narrow(entry.name)]);
        }
    }
    // Files of one second only: every listing starts over all the same.
    test::TempTree same;
    for (int i = 0; i < 5; ++i) {
        auto path = same.Write("s" + std::to_string(i));
        timespec stamps[2] = {{0, UTIME_OMIT}, {1'650'000'000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), stamps, 0), 0);
    }
    for (const char* tz : {"UTC0", "XST-3", "UTC0"}) {
        Zone zone(tz);
        for (bool found = search.First((same.Path() + u"\\*.*").c_str(), entry); found;
             found = search.Next(entry)) {
            if (entry.directory) continue;
            EXPECT_EQ(entry.time, PlainTime(1'650'000'000)) << tz;
        }
    }
}

#endif

}  // namespace
