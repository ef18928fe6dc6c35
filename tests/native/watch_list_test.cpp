#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "gui/memory/toolkit_memory.h"
#include "storage/watch_list.h"
#include "test_support.h"
#include "ui/main_form.h"

using test::Narrow;
using test::Wide;

namespace {

using namespace std::string_literals;

const std::string kExample =
    "\x01\x00\x00\x00\x05\x00\x00\x00" "C:\\In" "\x04\x00\x00\x00" "Nein" "\x03\x00\x00\x00" "cmd"
    "\x0a\x00\x00\x00" "/c echo %1" "\x02\x00\x00\x00" "Ja" "\x02\x00\x00\x00" "Ja" "\x04\x00\x00\x00" "Nein"s;

std::string Le(int32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    return out;
}

std::string Record(const std::string& text) { return Le(static_cast<int32_t>(text.size())) + text; }

std::string Entry(const std::string& dir) {
    std::string out = Record(dir);
    for (const char* cell : {"Ja", "cmd", "%1", "Ja", "Nein", "Ja"}) out += Record(cell);
    return out;
}

class WatchList : public ::testing::Test {
protected:
    WatchList() {
        kit.specialFolders[26] = tree.Path() + u"\\AppData";
        form.progpath = tree.Path() + u"\\prog\\";
    }
    std::filesystem::path Folder() const { return tree.Root() / "AppData" / "Brennick" / "Valmorin"; }
    std::filesystem::path File() const { return Folder() / "options.dat"; }
    void Put(const std::string& bytes) {
        std::filesystem::create_directories(Folder());
        std::ofstream(File(), std::ios::binary) << bytes;
    }
    std::string Get() const {
        std::ifstream in(File(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Load() { kit.Guarded([&] { form.Loadoptions(); }); }
    void Save() { kit.Guarded([&] { form.Saveoptions(); }); }
    std::string Cell(int row, int column) { return Narrow(form.ListView1->Cell(row, column)); }
    int Rows() { return form.ListView1->RowCount(); }
    std::vector<std::string> Boxes() {
        std::vector<std::string> out;
        for (auto& b : kit.boxes) {
            EXPECT_EQ(Narrow(b.caption), "Valmorin");
            EXPECT_EQ(b.flags, 0x10u);
            out.push_back(Narrow(b.text));
        }
        kit.boxes.clear();
        return out;
    }
    void SetRow(int row, const std::vector<std::u16string>& cells) {
        for (int c = 0; c < 7; ++c) form.ListView1->SetCell(row, c, cells[c]);
    }

    test::TempTree tree;
    gui::MemoryToolkit kit;
    TMainForm form{kit};
};

using Texts = std::vector<std::string>;

TEST_F(WatchList, WorkedExampleRoundTripsByteForByte) {
    ASSERT_EQ(kExample.size(), 62u);
    Put(kExample);
    Load();
    ASSERT_EQ(Rows(), 1);
    Texts cells;
    for (int c = 0; c < 7; ++c) cells.push_back(Cell(0, c));
    EXPECT_EQ(cells, (Texts{"C:\\In", "Nein", "cmd", "/c echo %1", "Ja", "Ja", "Nein"}));
    EXPECT_EQ(form.ListView1->Selected(), -1);
    std::filesystem::remove(File());
    Save();
    EXPECT_EQ(Get(), kExample);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WatchList, FirstStartCreatesFolderButNoFile) {
    form.ListView1->AddRow();
    Load();  // no file: the list is left as it was
    EXPECT_EQ(Rows(), 1);
    EXPECT_TRUE(std::filesystem::is_directory(Folder()));
    EXPECT_FALSE(std::filesystem::exists(File()));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WatchList, EmptyListIsFourZeroBytes) {
    Save();
    EXPECT_EQ(Get(), std::string(4, '\0'));
    form.ListView1->AddRow();
    Load();
    EXPECT_EQ(Rows(), 0);
}

TEST_F(WatchList, ShortFilesAndNonPositiveCountsLoadEmptyWithoutMessage) {
    for (std::string bytes : {std::string("\x01"), std::string("\x01\x00\x00", 3), Le(0) + Entry("x"),
                              Le(-1) + Entry("x"), Le(INT32_MIN)}) {
        form.ListView1->AddRow();
        Put(bytes);
        Load();
        EXPECT_EQ(Rows(), 0);
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WatchList, TruncatedFilesKeepTheCompleteEntriesAndSayWhy) {
    Put(Le(3) + Entry("a") + Entry("b"));
    Load();
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, 0), "b");
    EXPECT_EQ(Boxes(), Texts{"Read beyond end of file."});

    std::string broken = Le(2) + Entry("a") + Record("b") + Le(1000) + "Ja";  // runs past the end
    Put(broken);
    Load();
    EXPECT_EQ(Rows(), 1);  // the half-read entry is not shown
    EXPECT_EQ(Boxes(), Texts{"Read beyond end of file."});

    for (int32_t length : {INT32_MAX, -5}) {
        Put(Le(1) + Le(length) + "xyz");
        Load();
        EXPECT_EQ(Rows(), 0);
        EXPECT_EQ(Boxes(), Texts{"Read beyond end of file."});
    }
}

TEST_F(WatchList, TextsOutsideTheCodePageSurviveThroughTheExactBlock) {
    form.ListView1->AddRow();
    SetRow(0, {u"C:\\\u0394ata\\\u0100", u"Ja", u"cmd", u"/c echo %1 \u20AC", u"Ja", u"Ja", u"Nein"});
    Save();
    std::string saved = Get();
    // The records hold the best-fit texts; the block comes after them.
    std::string records = Le(1) + Record("C:\\?ata\\A") + Record("Ja") + Record("cmd") +
                          Record("/c echo %1 \x80") + Record("Ja") + Record("Ja") + Record("Nein");
    ASSERT_GT(saved.size(), records.size());
    EXPECT_EQ(saved.substr(0, records.size()), records);
    form.ListView1->Clear();
    Load();
    EXPECT_EQ(form.ListView1->Cell(0, 0), u"C:\\\u0394ata\\\u0100");
    EXPECT_EQ(form.ListView1->Cell(0, 3), u"/c echo %1 \u20AC");

    // A damaged block is ignored: the records' own texts load.
    for (size_t at : {records.size() + 2, saved.size() - 1, records.size() + 20}) {
        std::string damaged = saved;
        damaged[at] ^= 0x5A;
        Put(damaged);
        Load();
        EXPECT_EQ(Cell(0, 0), "C:\\?ata\\A") << at;
    }
    // A block that belongs to other records is ignored too.
    std::string other = saved;
    other.replace(4 + 4 + 3, 1, "B");  // "C:\?..." becomes "C:\B..." in the records only
    Put(other);
    Load();
    EXPECT_EQ(Cell(0, 0), "C:\\Bata\\A");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WatchList, PlainTextsWriteNoBlockAndOldFilesLoad) {
    form.ListView1->AddRow();
    SetRow(0, {u"C:\\Caf\u00E9", u"Ja", u"cmd", u"\u201Cq\u201D", u"Ja", u"Ja", u"Nein"});
    Save();
    EXPECT_EQ(Get(), Le(1) + Record("C:\\Caf\xE9") + Record("Ja") + Record("cmd") + Record("\x93q\x94") +
                         Record("Ja") + Record("Ja") + Record("Nein"));
    Put(Get() + "trailing bytes of no meaning");
    Load();
    EXPECT_EQ(form.ListView1->Cell(0, 0), u"C:\\Caf\u00E9");
    EXPECT_EQ(form.ListView1->Cell(0, 3), u"\u201Cq\u201D");
}

TEST_F(WatchList, WriteProtectedListLoadsAndRefusesSavesLoudly) {
    Put(kExample);
    std::filesystem::permissions(File(), std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    Load();
    EXPECT_EQ(Rows(), 1);
    form.ListView1->AddRow();
    Save();
    EXPECT_EQ(Boxes(), Texts{"File access denied."});
    EXPECT_EQ(Get(), kExample);
    EXPECT_FALSE(std::filesystem::exists(Folder() / "options.dat.new"));
}

TEST_F(WatchList, FailedSaveKeepsTheSavedList) {
    Put(kExample);
    std::filesystem::create_directories(Folder() / "options.dat.new");  // nothing can be written there
    form.ListView1->AddRow();
    Save();
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(Get(), kExample);
}

TEST_F(WatchList, UnlocatedAppDataFallsBackToProgramFolder) {
    kit.specialFolders.clear();
    EXPECT_EQ(Narrow(form.GetProgramDir(true)), Narrow(form.progpath));
    std::filesystem::create_directories(tree.Root() / "prog");
    Save();
    EXPECT_TRUE(std::filesystem::exists(tree.Root() / "prog" / "options.dat"));
    EXPECT_FALSE(std::filesystem::exists(tree.Root() / "AppData"));
}

TEST_F(WatchList, DataFolderKeepsTheFinalBackslashRule) {
    kit.specialFolders[26] = tree.Path() + u"\\Roaming\\";
    EXPECT_EQ(Narrow(form.GetProgramDir(false)), Narrow(tree.Path() + u"\\Roaming\\Brennick\\Valmorin\\"));
    EXPECT_FALSE(std::filesystem::exists(tree.Root() / "Roaming"));
}

}  // namespace
