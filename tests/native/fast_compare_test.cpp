// The comparison's fast paths against a plain linear reference.
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

#include "base/text.h"
#include "gui/memory/toolkit_memory.h"
#include "monitor/dyna_array.h"
#include "platform/dir_search.h"
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
// Comparison

struct FileShape {
    std::string name;
    uint32_t time;
    uint64_t size;
};

struct DirShape {
    std::string name;
    std::vector<FileShape> files;
    std::vector<DirShape> dirs;
};

class Builder {
  public:
    explicit Builder(TMainForm& form) : form_(form) {}

    void Build(TDir& dir, const DirShape& design, const std::string& path, const std::string& rel) {
        form_.InitDir(dir);
        AllocPChar(dir.dname, Wide(path));
        AllocPChar(dir.dname2, Wide(rel));
        // The names in blocks of a few, as the reader keeps them.
        const size_t perBlock = 1 + design.files.size() % 4;
        for (size_t first = 0; first < design.files.size(); first += perBlock) {
            const size_t end = std::min(design.files.size(), first + perBlock);
            std::u16string names;
            for (size_t i = first; i < end; ++i) names.append(Wide(design.files[i].name)) += u'\0';
            char16_t* name = AllocNames(names, static_cast<uint32_t>(end - first));
            for (size_t i = first; i < end; ++i) {
                const FileShape& f = design.files[i];
                auto* file = static_cast<TDir*>(dir.files->Add());
                file->dname2 = name;
                name += std::char_traits<char16_t>::length(name) + 1;
                file->time = f.time;
                file->sizelo = static_cast<uint32_t>(f.size);
                file->sizehi = static_cast<uint32_t>(f.size >> 32);
            }
        }
        for (const DirShape& d : design.dirs) {
            auto* sub = static_cast<TDir*>(dir.dirs->Add());
            Build(*sub, d, path + "\\" + d.name, rel.empty() ? d.name : rel + "\\" + d.name);
        }
    }

  private:
    TMainForm& form_;
};

// Linear searches from the first entry, as the comparison was first written.
void LinearReference(const TDir& dir, const TDir& odir, bool newfiles, bool changedfiles,
                     Lines& out) {
    auto withSlash = [](const char16_t* s) {
        std::u16string t = s ? s : u"";
        if (!t.empty() && t.back() != u'\\') t += u'\\';
        return t;
    };
    if (newfiles || changedfiles) {
        for (uint32_t i = 0; i < dir.files->count; ++i) {
            const TDir* f = Rec(*dir.files, i);
            const TDir* found = nullptr;
            for (uint32_t j = 0; j < odir.files->count && !found; ++j)
                if (std::u16string_view(Rec(*odir.files, j)->dname2) == f->dname2)
                    found = Rec(*odir.files, j);
            bool report =
                found ? changedfiles && (found->time != f->time || found->sizelo != f->sizelo ||
                                         found->sizehi != f->sizehi)
                      : newfiles;
            if (report)
                out.push_back("\"" + Narrow(withSlash(dir.dname) + f->dname2) + "\"|" +
                              Narrow(withSlash(dir.dname2) + f->dname2));
        }
    }
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        const TDir* s = Rec(*dir.dirs, i);
        const TDir* found = nullptr;
        for (uint32_t j = 0; j < odir.dirs->count && !found; ++j)
            if (std::u16string_view(Rec(*odir.dirs, j)->dname) == s->dname)
                found = Rec(*odir.dirs, j);
        if (found) {
            LinearReference(*s, *found, newfiles, changedfiles, out);
        } else {
            TDynaArray none(sizeof(TDir), nullptr);
            TDir empty{};
            empty.files = empty.dirs = &none;
            LinearReference(*s, empty, newfiles, changedfiles, out);
        }
    }
}

// Names from a small pool, so that equal names meet by chance too.
std::string PoolName(std::mt19937& rng, int pool) {
    static const char* const stems[] = {
        "a", "file", "Datei-\xC3\xBC", "x.txt", "long-name-of-a-report", ""};
    int n = std::uniform_int_distribution<int>(0, pool - 1)(rng);
    return std::string(stems[n % 6]) + std::to_string(n / 6);
}

DirShape RandomDir(std::mt19937& rng, int depth, int pool) {
    DirShape dir;
    std::uniform_int_distribution<int> files(0, 40), dirs(0, depth < 3 ? 3 : 0), small(0, 3);
    for (int i = files(rng); i > 0; --i)
        dir.files.push_back({PoolName(rng, pool), static_cast<uint32_t>(small(rng)),
                             static_cast<uint64_t>(small(rng)) << (small(rng) == 0 ? 32 : 0)});
    for (int i = dirs(rng); i > 0; --i) {
        DirShape sub = RandomDir(rng, depth + 1, pool);
        sub.name = "d" + std::to_string(small(rng));
        dir.dirs.push_back(std::move(sub));
    }
    return dir;
}

// The next listing of a directory: mostly the same entries in the same
// order, with the kinds of change a real one sees, and some that only a
// hand-made snapshot has (equal names).
template <class T>
void Perturb(std::vector<T>& items, std::mt19937& rng, const std::function<void(T&)>& change,
             const std::function<T()>& make) {
    std::uniform_int_distribution<int> percent(0, 99);
    int kind = percent(rng);
    if (items.empty() || kind < 30) return;  // unchanged
    std::uniform_int_distribution<size_t> at(0, items.size() - 1);
    int edits = 1 + percent(rng) % 3;
    for (int e = 0; e < edits && !items.empty(); ++e) {
        size_t i = at(rng) % items.size();
        switch (percent(rng) % 7) {
            case 0:
                change(items[i]);
                break;
            case 1:
                items.insert(items.begin() + static_cast<long>(i), make());
                break;
            case 2:
                items.erase(items.begin() + static_cast<long>(i));
                break;
            case 3:
                std::swap(items[i], items[at(rng) % items.size()]);
                break;
            case 4:
                items.insert(items.begin() + static_cast<long>(i), items[at(rng) % items.size()]);
                break;
            case 5: {
                T copy = items[i];
                change(copy);
                items.insert(items.begin() + static_cast<long>(at(rng) % items.size()), copy);
                break;
            }
            default:
                std::reverse(items.begin() + static_cast<long>(i), items.end());
                break;
        }
    }
}

DirShape NextListing(const DirShape& old, std::mt19937& rng, int pool, int depth) {
    DirShape fresh = old;
    std::uniform_int_distribution<int> small(0, 3);
    Perturb<FileShape>(
        fresh.files, rng, [&](FileShape& f) { small(rng) % 2 ? f.time += 1 : f.size += 1; },
        [&] {
            return FileShape{PoolName(rng, pool), static_cast<uint32_t>(small(rng)), 1};
        });
    for (DirShape& sub : fresh.dirs) sub = NextListing(sub, rng, pool, depth + 1);
    Perturb<DirShape>(
        fresh.dirs, rng, [&](DirShape& d) { d.name += "x"; },
        [&] {
            DirShape d = RandomDir(rng, std::max(depth + 1, 2), pool);
            d.name = "n" + std::to_string(small(rng));
            return d;
        });
    return fresh;
}

class FastCompare : public ::testing::Test {
  protected:
    ~FastCompare() override { Release(); }
    void Release() {
        if (!built) return;
        form.ReleaseDir(fresh);
        form.ReleaseDir(old);
        built = false;
    }
    void Set(const DirShape& freshSpec, const DirShape& oldSpec) {
        Release();
        make.Build(fresh, freshSpec, "D:\\In", "");
        make.Build(old, oldSpec, "D:\\In", "");
        built = true;
    }
    Lines Run(bool newfiles, bool changedfiles) {
        host.launches.clear();
        form.CompDir(fresh, old, u"cmd", u"%1|%2", newfiles, changedfiles, true);
        Lines out;
        for (auto& l : host.launches) out.push_back(Narrow(l.params));
        return out;
    }
    void ExpectSameAsLinear(const std::string& what) {
        for (int flags = 0; flags < 4; ++flags) {
            bool newfiles = flags & 1, changedfiles = flags & 2;
            Lines expected;
            LinearReference(fresh, old, newfiles, changedfiles, expected);
            ASSERT_EQ(Run(newfiles, changedfiles), expected) << what << " flags " << flags;
        }
    }

    gui::MemoryToolkit host;
    TMainForm form{host};
    Builder make{form};
    TDir fresh{}, old{};
    bool built = false;
};

TEST_F(FastCompare, AgreesWithLinearSearchOnPerturbedListings) {
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        int pool = round % 2 ? 12 : 400;  // many or few equal names
        DirShape old = RandomDir(rng, 0, pool);
        DirShape fresh = NextListing(old, rng, pool, 0);
        Set(fresh, old);
        ExpectSameAsLinear("round " + std::to_string(round));
    }
}

TEST_F(FastCompare, EarlierEqualNameDecidesOverTheOneInPlace) {
    DirShape old, fresh;
    old.files = {{"dup", 1, 1}, {"x", 1, 1}, {"dup", 2, 2}};
    fresh.files = {
        {"x", 1, 1}, {"y", 1, 1}, {"dup", 2, 2}};  // "dup" in place, but the first "dup" differs
    Set(fresh, old);
    ExpectSameAsLinear("earlier duplicate");
    EXPECT_EQ(Run(true, true), (Lines{"\"D:\\In\\y\"|y", "\"D:\\In\\dup\"|dup"}));

    // Every earlier record matched in place, and still a repeated name.
    old.files = {{"a", 1, 1}, {"a", 2, 2}, {"b", 1, 1}};
    fresh.files = {{"a", 1, 1}, {"a", 2, 2}, {"b", 1, 1}};
    Set(fresh, old);
    EXPECT_EQ(Run(true, true), (Lines{"\"D:\\In\\a\"|a"}));
    ExpectSameAsLinear("duplicate in place");
}

TEST_F(FastCompare, RepeatedDirectoryPathsMatchTheFirst) {
    DirShape old, fresh;
    DirShape a1{"A", {{"f", 1, 1}}, {}}, a2{"A", {{"f", 2, 2}}, {}};
    old.dirs = {a1, a2};
    fresh.dirs = {a2, a2};
    Set(fresh, old);
    ExpectSameAsLinear("repeated directories");
    EXPECT_EQ(Run(true, true), (Lines{"\"D:\\In\\A\\f\"|A\\f", "\"D:\\In\\A\\f\"|A\\f"}));
}

TEST_F(FastCompare, LargeDirectoriesInPlaceShiftedAndReversed) {
    DirShape old;
    for (int i = 0; i < 3000; ++i)
        old.files.push_back({"file-" + std::to_string(i) + ".dat", 7, uint64_t(i)});
    DirShape same = old, shifted = old, reversed = old, grown = old;
    same.files[1234].size += 1;
    shifted.files.insert(shifted.files.begin() + 10, {"new", 7, 0});
    std::reverse(reversed.files.begin(), reversed.files.end());
    grown.files.push_back({"file-0.dat", 8, 0});  // a later equal name, not first
    for (const DirShape* fresh : {&same, &shifted, &reversed, &grown}) {
        Set(*fresh, old);
        ExpectSameAsLinear("large");
    }
    Set(same, old);
    EXPECT_EQ(Run(true, true), Lines{"\"D:\\In\\file-1234.dat\"|file-1234.dat"});
}

// As ticks do: each fresh snapshot is the old one of the next comparison, so
// whatever a comparison learnt about one snapshot's names is used by the next.
TEST(FastCompareTicks, AgreeWithLinearSearchTickAfterTick) {
    gui::MemoryToolkit host;
    TMainForm form{host};
    Builder make{form};
    std::mt19937 rng(5);
    for (int pool : {400, 12}) {
        DirShape shape = RandomDir(rng, 0, pool);
        TDir old{}, fresh{};
        make.Build(old, shape, "D:\\In", "");
        for (int tick = 0; tick < 40; ++tick) {
            // Unchanged names on every other tick, then a changed listing.
            if (tick % 2) shape = NextListing(shape, rng, pool, 0);
            make.Build(fresh, shape, "D:\\In", "");
            for (bool newfiles : {false, true}) {
                Lines expected;
                LinearReference(fresh, old, newfiles, true, expected);
                host.launches.clear();
                form.CompDir(fresh, old, u"cmd", u"%1|%2", newfiles, true, true);
                Lines got;
                for (auto& l : host.launches) got.push_back(Narrow(l.params));
                ASSERT_EQ(got, expected) << "pool " << pool << " tick " << tick;
            }
            form.ReleaseDir(old);
            old = fresh;
        }
        form.ReleaseDir(old);
    }
}

}  // namespace
