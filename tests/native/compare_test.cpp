#include <gtest/gtest.h>

#include <random>

#include "gui/memory/toolkit_memory.h"
#include "test_support.h"
#include "ui/main_form.h"

using test::Narrow;
using test::Rec;
using test::Wide;

namespace {

// Builds snapshots by hand, as the reader would have left them.
class Builder {
public:
    explicit Builder(TMainForm& form) : form_(form) {}
    void Dir(TDir& dir, const std::string& path, const std::string& rel) {
        form_.InitDir(dir);
        AllocPChar(dir.dname, Wide(path));
        AllocPChar(dir.dname2, Wide(rel));
    }
    void File(TDir& dir, const std::string& name, uint32_t time, uint64_t size) {
        auto* f = static_cast<TDir*>(dir.files->Add());
        AllocPChar(f->dname2, Wide(name));
        f->time = time;
        f->sizelo = static_cast<uint32_t>(size);
        f->sizehi = static_cast<uint32_t>(size >> 32);
    }
    TDir& Sub(TDir& parent, const std::string& name) {
        auto* d = static_cast<TDir*>(parent.dirs->Add());
        std::string rel = Narrow(parent.dname2);
        Dir(*d, Narrow(parent.dname) + "\\" + name, rel.empty() ? name : rel + "\\" + name);
        return *d;
    }

private:
    TMainForm& form_;
};

class Compare : public ::testing::Test {
protected:
    Compare() {
        make.Dir(fresh, "D:\\In", "");
        make.Dir(old, "D:\\In", "");
    }
    ~Compare() override {
        form.ReleaseDir(fresh);
        form.ReleaseDir(old);
    }
    std::vector<std::string> Run(bool newfiles = true, bool changedfiles = true) {
        host.launches.clear();
        form.CompDir(fresh, old, u"cmd", u"%1|%2", newfiles, changedfiles, true);
        std::vector<std::string> out;
        for (auto& l : host.launches) out.push_back(Narrow(l.params));
        return out;
    }

    gui::MemoryToolkit host;
    TMainForm form{host};
    Builder make{form};
    TDir fresh{}, old{};
};

using Lines = std::vector<std::string>;

TEST_F(Compare, NewChangedUnchangedAndDeletedFiles) {
    make.File(old, "same", 10, 5);
    make.File(old, "grown", 10, 5);
    make.File(old, "touched", 10, 5);
    make.File(old, "gone", 10, 5);
    make.File(fresh, "added", 10, 5);
    make.File(fresh, "same", 10, 5);
    make.File(fresh, "grown", 10, 6);
    make.File(fresh, "touched", 9, 5);  // an earlier time is a change too
    make.File(fresh, "Same", 10, 5);    // case differs: another file
    EXPECT_EQ(Run(), (Lines{"\"D:\\In\\added\"|added", "\"D:\\In\\grown\"|grown",
                            "\"D:\\In\\touched\"|touched", "\"D:\\In\\Same\"|Same"}));
    EXPECT_EQ(Run(false, true), (Lines{"\"D:\\In\\grown\"|grown", "\"D:\\In\\touched\"|touched"}));
    // The file cursor ends on the last entry, not the last one launched.
    EXPECT_EQ(form.afile, static_cast<TDir*>(fresh.files->poi) + 4);
    EXPECT_EQ(Run(true, false), (Lines{"\"D:\\In\\added\"|added", "\"D:\\In\\Same\"|Same"}));
    EXPECT_EQ(Run(false, false), Lines{});
}

TEST_F(Compare, SizeComparesBothHalves) {
    make.File(old, "big", 1, 5ull << 30);
    make.File(fresh, "big", 1, 1ull << 30);
    EXPECT_EQ(Run().size(), 1u);
}

TEST_F(Compare, FirstEqualNameInPreviousSnapshotDecides) {
    make.File(old, "dup", 1, 1);
    make.File(old, "dup", 2, 2);
    make.File(fresh, "dup", 2, 2);  // differs from the first "dup": changed
    make.File(fresh, "dup", 1, 1);  // equals the first: unchanged
    EXPECT_EQ(Run(), (Lines{"\"D:\\In\\dup\"|dup"}));
}

TEST_F(Compare, NewDirectoriesReportEveryFileDepthFirstInFreshOrder) {
    TDir& a = make.Sub(fresh, "A");
    make.File(a, "x", 1, 1);
    TDir& b = make.Sub(a, "B");
    make.File(b, "y", 1, 1);
    make.Sub(fresh, "Empty");
    TDir& c = make.Sub(fresh, "C");
    make.File(c, "z", 1, 1);
    make.File(fresh, "top", 1, 1);
    EXPECT_EQ(Run(), (Lines{"\"D:\\In\\top\"|top", "\"D:\\In\\A\\x\"|A\\x",
                            "\"D:\\In\\A\\B\\y\"|A\\B\\y", "\"D:\\In\\C\\z\"|C\\z"}));
    EXPECT_EQ(Run(false, true), Lines{});
}

TEST_F(Compare, DirectoriesMatchByExactFullPath) {
    TDir& oa = make.Sub(old, "a");
    make.File(oa, "f", 1, 1);
    TDir& ob = make.Sub(old, "b");
    make.File(ob, "g", 1, 1);
    TDir& fa = make.Sub(fresh, "A");  // renamed in case only: new
    make.File(fa, "f", 1, 1);
    TDir& fb = make.Sub(fresh, "b");
    make.File(fb, "g", 1, 1);
    EXPECT_EQ(Run(), (Lines{"\"D:\\In\\A\\f\"|A\\f"}));
}

TEST_F(Compare, PathsComeFromTheFreshRecordAndRespectFinalBackslash) {
    form.ReleaseDir(fresh);
    make.Dir(fresh, "C:\\", "");
    make.File(fresh, "boot.ini", 1, 1);
    EXPECT_EQ(Run(), (Lines{"\"C:\\boot.ini\"|boot.ini"}));
}

TEST_F(Compare, DirectoryThatReplacedAFile) {
    make.File(old, "thing", 1, 1);
    TDir& t = make.Sub(fresh, "thing");
    make.File(t, "inner", 1, 1);
    EXPECT_EQ(Run(), (Lines{"\"D:\\In\\thing\\inner\"|thing\\inner"}));
}

TEST_F(Compare, LaunchCarriesCommandAndVisibility) {
    make.File(fresh, "n", 1, 1);
    form.CompDir(fresh, old, u"notepad", u"", true, true, false);
    ASSERT_EQ(host.launches.size(), 1u);
    EXPECT_EQ(Narrow(host.launches[0].file), "notepad");
    EXPECT_EQ(Narrow(host.launches[0].params), "");
    EXPECT_FALSE(host.launches[0].hidden);
}

// The straightforward comparison: linear searches from the first entry.
void Reference(const TDir& dir, const TDir& odir, Lines& out) {
    auto bs = [](const char16_t* s) {
        std::u16string t = s ? s : u"";
        if (!t.empty() && t.back() != u'\\') t += u'\\';
        return t;
    };
    for (uint32_t i = 0; i < dir.files->count; ++i) {
        const TDir* f = Rec(*dir.files, i);
        const TDir* found = nullptr;
        for (uint32_t j = 0; j < odir.files->count && !found; ++j)
            if (std::u16string_view(Rec(*odir.files, j)->dname2) == f->dname2) found = Rec(*odir.files, j);
        if (!found || found->time != f->time || found->sizelo != f->sizelo || found->sizehi != f->sizehi)
            out.push_back("\"" + Narrow(bs(dir.dname) + f->dname2) + "\"|" + Narrow(bs(dir.dname2) + f->dname2));
    }
    for (uint32_t i = 0; i < dir.dirs->count; ++i) {
        const TDir* s = Rec(*dir.dirs, i);
        const TDir* found = nullptr;
        for (uint32_t j = 0; j < odir.dirs->count && !found; ++j)
            if (std::u16string_view(Rec(*odir.dirs, j)->dname) == s->dname) found = Rec(*odir.dirs, j);
        if (found) {
            Reference(*s, *found, out);
        } else {
            TDynaArray none(sizeof(TDir), nullptr);
            TDir empty{};
            empty.files = empty.dirs = &none;
            Reference(*s, empty, out);
        }
    }
}

void RandomTree(Builder& make, TDir& dir, std::mt19937& rng, int depth) {
    std::uniform_int_distribution<int> pick(0, 7);
    int files = pick(rng) * 3;
    for (int i = 0; i < files; ++i)
        make.File(dir, "f" + std::to_string(pick(rng) * 2 + pick(rng) % 2), pick(rng) % 3,
                  static_cast<uint64_t>(pick(rng) % 2) << (pick(rng) % 2 ? 32 : 0));
    if (depth < 3)
        for (int i = pick(rng) % 4; i > 0; --i)
            RandomTree(make, make.Sub(dir, "d" + std::to_string(pick(rng) % 4)), rng, depth + 1);
}

TEST_F(Compare, IndexedSearchAgreesWithLinearSearch) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        form.ReleaseDir(fresh);
        form.ReleaseDir(old);
        make.Dir(fresh, "D:\\In", "");
        make.Dir(old, "D:\\In", "");
        RandomTree(make, fresh, rng, 0);
        RandomTree(make, old, rng, 0);
        Lines expected;
        Reference(fresh, old, expected);
        ASSERT_EQ(Run(), expected) << "round " << round;
    }
}

// Whole tick on real files: read, change, read again, compare.
TEST(CompareTree, RealTreeReportsNewAndChangedFilesOnce) {
    test::TempTree tree;
    gui::MemoryToolkit host;
    TMainForm form(host);
    tree.Write("keep.txt", "k");
    tree.Write("grow.txt", "g");
    TDir before{}, after{};
    form.ReadinDir(tree.Path(), u"", before, true);
    tree.Write("grow.txt", "gg");
    tree.Write("sub/new.txt", "n");
    form.ReadinDir(tree.Path(), u"", after, true);
    form.CompDir(after, before, u"cmd", u"/c echo %1 %2", true, true, true);
    std::vector<std::string> got;
    for (auto& l : host.launches) got.push_back(Narrow(l.params));
    std::string root = Narrow(tree.Path());
    EXPECT_EQ(got, (Lines{"/c echo \"" + root + "\\grow.txt\" grow.txt",
                          "/c echo \"" + root + "\\sub\\new.txt\" sub\\new.txt"}));
    form.ReleaseDir(before);
    host.launches.clear();
    form.ReadinDir(tree.Path(), u"", before, true);
    form.CompDir(before, after, u"cmd", u"%1", true, true, true);
    EXPECT_TRUE(host.launches.empty());
    form.ReleaseDir(before);
    form.ReleaseDir(after);
}

}  // namespace
