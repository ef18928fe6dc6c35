// What arrives while monitoring is off: the saved state, its file, and the
// launches a start makes from it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "gui/memory/toolkit_memory.h"
#include "monitor/saved_state.h"
#include "platform/file.h"
#include "test_support.h"
#include "ui/main_form.h"

namespace {

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr int kLocalAppData = 28;

// A program run after run over the same tree and the same local folder.
class CatchUp : public ::testing::Test {
  protected:
    void TearDown() override { platform::SetWritersFault(nullptr); }

    // A fresh program (a new run), with the entry as `cells` say.
    void Start(const char* subdirs = "Ja", const char* newfiles = "Ja",
               const char* changed = "Ja") {
        form.reset();
        kit = std::make_unique<gui::MemoryToolkit>();
        kit->specialFolders[kLocalAppData] = test::Wide(local.Root().string());
        for (auto& [name, value] : settings)
            kit->settings.keys[u"Software\\Valmorin"][u"Monitoring\\" + name] = {
                gui::SettingsStore::Kind::String, value};
        form = std::make_unique<TMainForm>(*kit);
        test::AddWatchRow(*form, tree.Path());
        form->ListView1->SetCell(0, 1, test::Wide(subdirs));
        form->ListView1->SetCell(0, 4, test::Wide(newfiles));
        form->ListView1->SetCell(0, 5, test::Wide(changed));
        form->BitBtn4Click();
    }
    Lines Launches() { return test::TakeLaunches(*kit); }
    Lines Tick() {
#ifdef _WIN32
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
#endif
        kit->FireTimers();
        return Launches();
    }
    void Stop() { form->EndIt(); }
    // Ends the program without a stop, as a crash or a power cut would.
    void Crash() { form.reset(); }
    fs::path Folder() const { return local.Root() / "Brennick" / "Valmorin"; }
    std::vector<fs::path> States() const {
        std::vector<fs::path> files;
        if (fs::exists(Folder()))
            for (const auto& entry : fs::directory_iterator(Folder()))
                if (entry.path().extension() == ".state") files.push_back(entry.path());
        return files;
    }
    // A file changed in place: another size.
    void Grow(const std::string& name) {
        std::ofstream(tree.Root() / name, std::ios::app) << "more";
    }

    test::TempTree tree, local;
    std::vector<std::pair<std::u16string, std::u16string>> settings;
    std::unique_ptr<gui::MemoryToolkit> kit;
    std::unique_ptr<TMainForm> form;
};

// What arrived or changed while monitoring was off is launched once at the
// next start, by the entry's switches; what was there and stayed is not.
TEST_F(CatchUp, AStartLaunchesWhatHappenedWhileOff) {
    tree.Write("kept.txt");
    tree.Write("changed.txt");
    tree.Write("sub/deep.txt");
    Start();
    EXPECT_EQ(Launches(), Lines{});  // a first run has nothing to compare with
    Stop();
    ASSERT_EQ(States().size(), 1u);

    tree.Write("new.txt");
    tree.Write("sub/new deep.txt");
    tree.MakeDir("made");
    tree.Write("made/inner.txt");
    Grow("changed.txt");
    fs::remove(tree.Root() / "sub" / "deep.txt");
    Start();
    EXPECT_EQ(Launches(), (Lines{"\"sub\\new deep.txt\"", "changed.txt", "made\\inner.txt",
                                 "new.txt"}));
    EXPECT_EQ(Tick(), Lines{});
    Stop();

    Grow("changed.txt");
    tree.Write("second.txt");
    Start("Ja", "Nein", "Ja");  // changed files only
    EXPECT_EQ(Launches(), Lines{"changed.txt"});
    Stop();
    tree.Write("third.txt");
    Start("Ja", "Ja", "Nein");  // new files only
    EXPECT_EQ(Launches(), Lines{"third.txt"});
    Stop();
}

// A file still owed when monitoring ends (its writer held it) is launched
// once at the next start, as what it was found to be, even for an entry
// that would not take it for new.
TEST_F(CatchUp, FilesOwedAtTheStopAreLaunchedAtTheNextStart) {
    tree.Write("log.txt");
    Start("Ja", "Nein", "Ja");
    const std::u16string held = tree.Path() + u"\\log.txt";
    platform::SetWritersFault([&](std::u16string_view path) -> std::optional<platform::Writers> {
        if (path == held) return platform::Writers::busy;
        return std::nullopt;
    });
    Grow("log.txt");
    EXPECT_EQ(Tick(), Lines{});
    Stop();
    Start("Ja", "Nein", "Ja");
    EXPECT_EQ(Launches(), Lines{});  // still held
    platform::SetWritersFault(nullptr);
    EXPECT_EQ(Tick(), Lines{"log.txt"});
    EXPECT_EQ(Tick(), Lines{});
    Stop();
    Start("Ja", "Nein", "Ja");
    EXPECT_EQ(Launches(), Lines{});
    Stop();
}

// A crash costs at most the launches since the last save, made again; no
// file goes unlaunched.
TEST_F(CatchUp, ACrashMakesLaunchesAgainButLosesNone) {
    Start();  // the first pass saves
    tree.Write("before crash.txt");
    EXPECT_EQ(Tick(), Lines{"\"before crash.txt\""});
    Crash();
    tree.Write("while off.txt");
    Start();
    EXPECT_EQ(Launches(), (Lines{"\"before crash.txt\"", "\"while off.txt\""}));
    // The first pass saved them as still to be launched.
    Crash();
    Start();
    EXPECT_EQ(Launches(), (Lines{"\"before crash.txt\"", "\"while off.txt\""}));
    Stop();
    Start();
    EXPECT_EQ(Launches(), Lines{});
    // The end of the session saves before Windows ends the process.
    tree.Write("at the end.txt");
    EXPECT_EQ(Tick(), Lines{"\"at the end.txt\""});
    form->OnEndSession();
    Crash();
    Start();
    EXPECT_EQ(Launches(), Lines{});
    Stop();
}

// A state that does not fit the entry, or that is damaged, is not trusted at
// all: the start takes the folder as there before. With the setting off,
// nothing is kept and what was kept goes.
TEST_F(CatchUp, StatesThatDoNotFitAreNeverTrusted) {
    tree.Write("a.txt");
    Start();
    Stop();
    tree.Write("b.txt");
    // Where an entry without subfolders looks for its state.
    ASSERT_EQ(States().size(), 1u);
    fs::rename(States()[0], Folder() / test::Narrow(StateFileName(tree.Path(), u"", false, 0)));
    Start("Nein");
    EXPECT_EQ(Launches(), Lines{});
    Stop();

    tree.Write("c.txt");
    for (const fs::path& state : States()) {
        std::fstream file(state, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(20);
        file.put('\x7f');
    }
    Start("Nein");
    EXPECT_EQ(Launches(), Lines{});
    Stop();

    settings.emplace_back(u"CatchUp", u"0");
    Start("Nein");
    Stop();
    EXPECT_TRUE(States().empty());
    tree.Write("d.txt");
    settings.clear();
    Start("Nein");
    EXPECT_EQ(Launches(), Lines{});
    Stop();
}

// The file holds the snapshot exactly, less the files still owed; any change
// of a byte, and any cut, makes it unreadable.
TEST(SavedState, HoldsTheSnapshotExactlyAndRejectsEveryDamage) {
    test::TempTree tree;
    std::mt19937 random(7);
    for (int i = 0; i < 60; ++i) {
        std::string name = "IMG_" + std::to_string(1000 + random() % 50) + (i % 7 ? ".jpg" : ".Ä");
        if (i % 5 == 0) name = "sub" + std::to_string(i % 3) + "/" + name;
        tree.Write(name, std::string(random() % 300, 'x'));
    }
    tree.MakeDir("empty/deeper");
    gui::MemoryToolkit kit;
    TMainForm form(kit);
    TDir dir{};
    form.ReadinDir(tree.Path(), u"", dir, true);
    const auto big = uint64_t{5} << 32;
    test::Rec(*dir.files, 0)->sizelo = static_cast<uint32_t>(big);
    test::Rec(*dir.files, 0)->sizehi = static_cast<uint32_t>(big >> 32);
    const std::u16string owedName = test::Rec(*dir.files, 1)->dname2;
    const std::vector<StandIn> standIns{{tree.Path() + u"\\sub1", -36000000000}};
    const std::string file = EncodeState(dir, tree.Path(), u"*.jpg", true, 72000000000, standIns,
                                         {Owed{u"x", owedName, true}});

    SavedState state;
    ASSERT_TRUE(DecodeState(file, &form.adir, &form.afile, state));
    EXPECT_TRUE(StateFits(state, tree.Path(), u"*.jpg", true));
    EXPECT_FALSE(StateFits(state, tree.Path(), u"*.jpg", false));
    EXPECT_FALSE(StateFits(state, tree.Path(), u"", true));
    EXPECT_EQ(state.bias, 72000000000);
    ASSERT_EQ(state.standIns.size(), 1u);
    EXPECT_EQ(state.standIns[0].dname, standIns[0].dname);
    EXPECT_EQ(state.standIns[0].bias, standIns[0].bias);
    ASSERT_EQ(state.owed.size(), 1u);
    EXPECT_EQ(state.owed[0].fname2, owedName);
    EXPECT_TRUE(state.owed[0].changed);
    Lines expected = test::Describe(dir);
    std::erase(expected, "|" + test::Narrow(owedName) + "|" +
                             std::to_string(test::Rec(*dir.files, 1)->sizelo));
    EXPECT_EQ(test::Describe(state.dir), expected);
    EXPECT_EQ(test::Narrow(test::Rec(*state.dir.dirs, 0)->dname),
              test::Narrow(test::Rec(*dir.dirs, 0)->dname));
    for (uint32_t i = 0; i < state.dir.files->count; ++i)
        EXPECT_EQ(test::Rec(*state.dir.files, i)->time, test::Rec(*dir.files, i + (i >= 1))->time);
    DiscardState(state.dir);

    for (size_t at = 0; at < file.size(); ++at) {
        std::string damaged = file;
        damaged[at] = static_cast<char>(damaged[at] ^ (1 << (at % 8)));
        EXPECT_FALSE(DecodeState(damaged, &form.adir, &form.afile, state)) << at;
        EXPECT_FALSE(DecodeState(std::string_view(file).substr(0, at), &form.adir, &form.afile,
                                 state))
            << at;
    }
    form.ReleaseDir(dir);
}

}  // namespace
