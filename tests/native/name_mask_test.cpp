// Which files an entry with masks counts, by name and over a real tree.
#include "base/name_mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "platform/dir_search.h"
#include "test_support.h"
#include "twin_monitor.h"

using test::kSettle;
using test::Lines;
using test::Narrow;

namespace {

Lines Sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(NameMasks, CountAsWindowsMatchesNames) {
    struct Row {
        const char16_t* masks;
        const char16_t* name;
        bool counts;
    };
    const Row rows[] = {
        {u"*.pdf", u"scan.pdf", true},
        {u"*.pdf", u"SCAN.PDF", true},
        {u"*.pdf", u"scan.pdf.part", false},
        {u"*.jpg;*.jpeg;*.png", u"a.jpeg", true},
        {u"*.jpg;*.jpeg;*.png", u"a.gif", false},
        {u"*.jpg; *.png ", u"a.png", true},
        {u"?.txt", u"a.txt", true},
        {u"?.txt", u"ab.txt", false},
        {u"a*b*c", u"aXbYbZc", true},
        {u"a*b*c", u"aXbYcZ", false},
        {u"*a*a*a*a*b", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {u"report.txt", u"Report.TXT", true},
        // "*.*" is every file, with or without a dot; "name.*" takes "name".
        {u"*.*", u"README", true},
        {u"report.*", u"report", true},
        {u"report.*", u"reports", false},
        // Case as Windows folds it, beyond ASCII too.
        {u"\u00e4*", u"\u00c4rger.doc", true},
        {u"*.\u0434\u043e\u043a", u"x.\u0414\u041e\u041a", true},
        // Exclusions win; without a counted mask every other name counts.
        {u"*.*;!*.tmp;!~$*;!*.crdownload;!*.part", u"~$Bericht.docx", false},
        {u"*.*;!*.tmp;!~$*;!*.crdownload;!*.part", u"save.TMP", false},
        {u"*.*;!*.tmp;!~$*;!*.crdownload;!*.part", u"film.mp4.crdownload", false},
        {u"*.*;!*.tmp;!~$*;!*.crdownload;!*.part", u"Bericht.docx", true},
        {u"!*.tmp", u"desktop.ini", true},
        {u"! Thumbs.db;*", u"thumbs.db", false},
        {u"*.pdf;;!", u"a.pdf", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(base::NameMasks(row.masks).Counts(row.name), row.counts)
            << Narrow(row.masks) << " / " << Narrow(row.name);
}

TEST(NameMasks, OnlyAWildcardInTheLastComponentMakesMasks) {
    struct Row {
        const char16_t* cell;
        const char16_t* folder;
        const char16_t* masks;
    };
    const Row rows[] = {
        {u"C:\\Scans\\*.pdf", u"C:\\Scans", u"*.pdf"},
        {u"\\\\server\\share\\a?.txt", u"\\\\server\\share", u"a?.txt"},
        {u"C:/In/*.jpg", u"C:/In", u"*.jpg"},
        {u"C:\\*.pdf", u"C:\\", u"*.pdf"},
        {u"\\*.pdf", u"\\", u"*.pdf"},
        {u"*.pdf", u"", u"*.pdf"},
        {u"C:\\Scans", u"C:\\Scans", u""},
        {u"C:\\Scans\\", u"C:\\Scans\\", u""},
        {u"C:\\a*b\\c", u"C:\\a*b\\c", u""},
        {u"C:\\In\\!~$x", u"C:\\In\\!~$x", u""},
        {u"\\\\?\\C:\\In", u"\\\\?\\C:\\In", u""},
    };
    for (const Row& row : rows) {
        const base::MaskedFolder split = base::SplitMasks(row.cell);
        EXPECT_EQ(Narrow(split.folder), Narrow(row.folder)) << Narrow(row.cell);
        EXPECT_EQ(Narrow(split.masks), Narrow(row.masks)) << Narrow(row.cell);
    }
}

// Full and partial reads alike: the files counted are launched at every
// level, and the snapshots keep no other file.
TEST(NameMasks, AnEntryLaunchesAndKeepsOnlyTheFilesItCounts) {
    for (const char* fullReadSeconds : {"0", "3600"}) {
        SCOPED_TRACE(fullReadSeconds);
        const bool partial = fullReadSeconds[0] != '0';
        test::TempTree tree;
        for (const char* file : {"old.pdf", "~$old.pdf", "old.txt", "sub/old.PDF"})
            tree.Write(file);
        test::Monitor monitor(fullReadSeconds);
        const std::u16string cell = tree.Path() + u"\\*.pdf;!~$*";
        monitor.Start(cell);
        EXPECT_EQ(Narrow(monitor.form.ListView1->Cell(0, 0)), Narrow(cell));
        const TJob& job = *test::Rec<TJob>(*monitor.form.jobs, 0);
        EXPECT_EQ(Narrow(job.dirname), Narrow(tree.Path()));
        EXPECT_EQ(Sorted(test::Describe(job.dir)), (Lines{"sub/", "sub|old.PDF|1", "|old.pdf|1"}));

        for (const char* file :
             {"new.pdf", "~$new.pdf", "notes.txt", "sub/deep/Scan.Pdf", "report.pdf.part"})
            tree.Write(file);
        tree.Write("old.txt", "grown");
        std::this_thread::sleep_for(kSettle);
        size_t listings = 0;
        EXPECT_EQ(Sorted(monitor.Tick(listings)), (Lines{"new.pdf", "sub\\deep\\Scan.Pdf"}));

        // Renamed once complete: a file the entry has not seen before.
        std::filesystem::rename(tree.Root() / "report.pdf.part", tree.Root() / "report.pdf");
        tree.Write("~$new.pdf", "grown");
        std::this_thread::sleep_for(kSettle);
        listings = 0;
        EXPECT_EQ(monitor.Tick(listings), Lines{"report.pdf"});
        EXPECT_EQ(listings, partial ? 1u : 3u);  // the folder watched is the one without masks

        // A moment the folder cannot be read keeps what it counted.
        tree.Write("late.pdf");
        std::this_thread::sleep_for(kSettle);
        EXPECT_EQ(monitor.Tick(listings,
                               [](std::u16string_view, size_t index) {
                                   return index == 0 ? platform::ListEnd::unreadable
                                                     : platform::ListEnd::complete;
                               }),
                  Lines{});
        EXPECT_EQ(monitor.Tick(listings), Lines{"late.pdf"});
        EXPECT_EQ(Sorted(test::Describe(job.dir)),
                  (Lines{"sub/", "sub\\deep/", "sub\\deep|Scan.Pdf|1", "sub|old.PDF|1",
                         "|late.pdf|1", "|new.pdf|1", "|old.pdf|1", "|report.pdf|1"}));
    }
}

}  // namespace
