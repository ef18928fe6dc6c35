// The launcher between the ticks and the shell: order, places, a stop with
// launches waiting, and what the log and the icon tell.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "gui/memory/toolkit_memory.h"
#include "monitor/event_log.h"
#include "test_support.h"
#include "ui/main_form.h"

namespace {

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

class Launcher : public ::testing::Test {
  protected:
    void Start(std::vector<std::pair<std::u16string, std::u16string>> settings) {
        form.reset();
        kit = std::make_unique<gui::MemoryToolkit>();
        kit->specialFolders[28] = test::Wide(local.Root().string());
        for (auto& [name, value] : settings)
            kit->settings.keys[u"Software\\Valmorin"][u"Monitoring\\" + name] = {
                gui::SettingsStore::Kind::String, value};
        // Each launch starts a process of its own, numbered from 1, that
        // runs until the test ends it.
        kit->onLaunch = [this](const gui::MemoryToolkit::Launch& launch) {
            if (launch.params.find(u"fails") != std::u16string::npos) return gui::Launched{false, 2, 0, 0};
            ++processes;
            return gui::Launched{true, 0, processes, static_cast<uint32_t>(1000 + processes)};
        };
        form = std::make_unique<TMainForm>(*kit);
        test::AddWatchRow(*form, tree.Path());
        form->BitBtn4Click();
    }
    // What was launched since the last look, in the order launched.
    Lines Launched() {
        kit->Deliver();
        Lines out;
        for (const auto& launch : kit->launches) out.push_back(test::Narrow(launch.params));
        kit->launches.clear();
        return out;
    }
    // The launcher's timer, then what it launched.
    Lines Later() {
        kit->FireTimers();
        return Launched();
    }
    std::string Log() {
        std::ifstream in(local.Root() / "Brennick" / "Valmorin" / "Valmorin.log", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    test::TempTree tree, local;
    std::unique_ptr<gui::MemoryToolkit> kit;
    std::unique_ptr<TMainForm> form;
    intptr_t processes = 0;
};

// Launches are made once each, in the order the ticks decided them, while
// fewer than MaxParallel processes hold a place; a place is freed by the
// process's end or by SlotSeconds.
TEST_F(Launcher, LaunchesInOrderWhilePlacesAreFree) {
    Start({{u"MaxParallel", u"2"}, {u"SlotSeconds", u"3600"}});
    for (const char* name : {"a", "b", "c", "d"}) tree.Write(name);
    kit->FireTimers();
    const Lines first = Launched();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(Later(), Lines{});  // both still run
    // A file that changes while its launch waits is launched once.
    for (const char* name : {"a", "b", "c", "d"})
        if (std::find(first.begin(), first.end(), name) == first.end())
            std::ofstream(tree.Root() / name, std::ios::app) << "more";
    EXPECT_EQ(Later(), Lines{});
    tree.Write("e");
    kit->ended[1] = 0;
    const Lines second = Later();  // the tick's file waits behind the others
    ASSERT_EQ(second.size(), 1u);
    kit->ended[2] = 0;
    kit->ended[3] = 0;
    const Lines third = Later();
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third[1], "e");
    Lines all = first;
    all.insert(all.end(), second.begin(), second.end());
    all.insert(all.end(), third.begin(), third.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (Lines{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(kit->released, (std::vector<intptr_t>{1, 2, 3}));
    form->EndIt();

    Start({{u"MaxParallel", u"1"}, {u"SlotSeconds", u"0"}});
    for (const char* name : {"f", "g", "h"}) tree.Write(name);
    kit->FireTimers();
    Lines timed = Launched();
    for (int i = 0; i < 5 && timed.size() < 3; ++i) {
        const Lines more = Later();
        timed.insert(timed.end(), more.begin(), more.end());
    }
    std::sort(timed.begin(), timed.end());
    EXPECT_EQ(timed, (Lines{"f", "g", "h"}));  // no process ever ended
    form->EndIt();
}

// Launches still waiting at a stop are made at the next start, once; after
// the stop, nothing more is launched.
TEST_F(Launcher, LaunchesWaitingAtAStopAreMadeAtTheNextStart) {
    Start({{u"MaxParallel", u"1"}, {u"SlotSeconds", u"3600"}});
    for (const char* name : {"a", "b", "c"}) tree.Write(name);
    kit->FireTimers();
    const Lines first = Launched();
    ASSERT_EQ(first.size(), 1u);
    kit->Post(form->Window(), TMainForm::kTrayMessage, 514);  // a click on the icon
    kit->Deliver();
    kit->ended[1] = 0;
    EXPECT_EQ(Later(), Lines{});
    EXPECT_NE(Log().find("Nicht mehr gestartet"), std::string::npos);
    EXPECT_NE(Log().find("\xC3\x9C" "berwachung beendet: Klick auf das Symbol"), std::string::npos);

    Start({{u"MaxParallel", u"5"}});
    Lines rest = Launched();
    rest.push_back(first[0]);
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, (Lines{"a", "b", "c"}));
    EXPECT_EQ(Later(), Lines{});
    form->EndIt();
}

// The log tells each launch, its end and each failure; a failure shows a
// balloon, at most one a minute, and the tip keeps the program's name first.
TEST_F(Launcher, TheLogAndTheIconTellWhatHappened) {
    Start({});
    tree.Write("ok.txt");
    tree.Write("fails.txt");
    tree.Write("exits.txt");
    kit->FireTimers();
    EXPECT_EQ(Launched().size(), 3u);
    for (intptr_t process = 1; process <= processes; ++process) kit->ended[process] = 3;
    Later();
    form->EndIt();
    const std::string log = Log();
    const std::string stamp = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d ";
    EXPECT_TRUE(std::regex_search(log, std::regex("(^|\n)" + stamp + "\xC3\x9C" "berwachung gestartet")));
    EXPECT_TRUE(std::regex_search(
        log, std::regex(stamp + "Gestartet: .* \\| neu \\| .*ok\\.txt \\| cmd ok\\.txt \\| Prozess 100\\d\r\n")));
    EXPECT_TRUE(std::regex_search(log, std::regex(stamp + "Nicht gestartet: .*fails\\.txt \\| .+\r\n")));
    EXPECT_TRUE(std::regex_search(log, std::regex(stamp + "Beendet: .*exits\\.txt \\| Prozess 100\\d \\| Exitcode 3 \\| \\d+,\\d s\r\n")));
    ASSERT_EQ(kit->balloons.size(), 1u);
    EXPECT_NE(kit->balloons[0].find(u"Valmorin.log"), std::u16string::npos);
    ASSERT_FALSE(kit->tips.empty());
    EXPECT_EQ(test::Narrow(kit->tips.back()).rfind("Valmorin\n", 0), 0u);
}

// A log that cannot be written loses its lines and nothing else.
TEST_F(Launcher, ALogThatCannotBeWrittenStopsNothing) {
    local.Write("Brennick", "a file where the folder would be");
    Start({});
    tree.Write("new.txt");
    kit->FireTimers();
    EXPECT_EQ(Launched(), Lines{"new.txt"});
    form->EndIt();
    EXPECT_TRUE(kit->boxes.empty());
}

// A full log starts anew and keeps its previous part.
TEST(EventLog, IsBoundedAndNeverStopsAnything) {
    test::TempTree local;
    EventLog log;
    log.Open(local.Path() + u"\\");
    const std::u16string line(1000, u'x');
    for (int i = 0; i < 1100; ++i) {
        log.Write(line);
        log.Flush();
    }
    EXPECT_LE(fs::file_size(local.Root() / "Valmorin.log"), EventLog::kLimit);
    EXPECT_GT(fs::file_size(local.Root() / "Valmorin.1.log"), EventLog::kLimit / 2);

    EXPECT_EQ(EventLog::LocalStamp(0, 3600), "1970-01-01T01:00:00+01:00");
    EXPECT_EQ(EventLog::LocalStamp(1709164800 + 86399, -16200), "2024-02-29T19:29:59-04:30");
    EXPECT_EQ(EventLog::LocalStamp(-1, 0), "1969-12-31T23:59:59+00:00");
}

}  // namespace
