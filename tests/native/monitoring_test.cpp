#include <gtest/gtest.h>

#include <stdexcept>

#include "monitor/dyna_array.h"
#include "gui/memory/toolkit_memory.h"
#include "test_support.h"
#include "ui/main_form.h"

#ifndef _WIN32
#include "platform/memory.h"
#endif

using test::Narrow;
using test::Wide;

namespace {

using Kit = gui::MemoryToolkit;

class Monitoring : public ::testing::Test {
protected:
    int AddRow(const std::u16string& dir, const std::string& params = "%2", const char* subdirs = "Ja",
               const char* newfiles = "Ja", const char* changed = "Ja", const char* command = "cmd") {
        auto& list = *form.ListView1;
        int row = list.AddRow();
        const std::u16string cells[] = {dir, Wide(subdirs), Wide(command), Wide(params), Wide(newfiles),
                                        Wide(changed), u"Nein"};
        for (int c = 0; c < 7; ++c) list.SetCell(row, c, cells[c]);
        return row;
    }
    std::vector<std::string> Launched() {
        kit.Deliver();  // the launcher's turn
        std::vector<std::string> out;
        for (auto& l : kit.launches) out.push_back(Narrow(l.params));
        kit.launches.clear();
        return out;
    }
    gui::memory::FormState& Win() { return static_cast<gui::memory::FormState&>(form.Window()); }
    Kit::MemoryTimer& Timer() { return static_cast<Kit::MemoryTimer&>(*form.Timer1); }
    void Click(intptr_t button = 514) { kit.Post(form.Window(), TMainForm::kTrayMessage, button); }
    // Every tick reads everything, not only what the system reported.
    void FullReads() {
        kit.settings.keys[u"Software\\Valmorin"][u"Monitoring\\FullReadSeconds"] = {
            gui::SettingsStore::Kind::String, u"0"};
    }
    bool Idle() { return !form.needtodelete && !form.jobs && Win().visible && kit.trayIcons.empty(); }

    test::TempTree tree;
    Kit kit;
    TMainForm form{kit};
};

using Lines = std::vector<std::string>;

TEST_F(Monitoring, EmptyListRunsAndStopsThroughTheIcon) {
    form.BitBtn4Click();
    EXPECT_FALSE(Win().visible);
    EXPECT_TRUE(Timer().enabled);
    EXPECT_EQ(Timer().interval, 1000u);
    ASSERT_EQ(kit.trayIcons.size(), 1u);
    EXPECT_EQ(kit.trayIcons.begin()->first, std::make_pair(form.Handle(), 0u));
    EXPECT_EQ(Narrow(kit.trayIcons.begin()->second), "Valmorin");
    kit.FireTimers();
    EXPECT_TRUE(kit.launches.empty());
    Click(513);  // a press, a move or a double click stops nothing
    Click(512);
    kit.ProcessMessages();
    EXPECT_TRUE(form.needtodelete);
    Click(517);
    kit.ProcessMessages();
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(Timer().enabled);
    EXPECT_EQ(Win().shows, 1);
}

TEST_F(Monitoring, JobsComeFromRowsWithExactJaSwitches) {
    AddRow(u"C:\\A", "p1", "Ja", "ja", "JA", "prog");
    AddRow(u"C:\\A", "p2", " Ja", "Ja", "Nein");
    form.inbreak = true;  // left over from a stop during an earlier first pass
    form.BitBtn4Click();
    ASSERT_NE(form.jobs, nullptr);
    ASSERT_EQ(form.jobs->count, 2u);
    auto* a = static_cast<TJob*>(form.jobs->GetObject(0));
    auto* b = static_cast<TJob*>(form.jobs->GetObject(1));
    EXPECT_EQ(Narrow(a->dirname), "C:\\A");
    EXPECT_EQ(Narrow(a->command), "prog");
    EXPECT_EQ(Narrow(a->command2), "p1");
    EXPECT_TRUE(a->subdirs);
    EXPECT_FALSE(a->newfiles);
    EXPECT_FALSE(a->changedfiles);
    EXPECT_FALSE(a->invisible);
    EXPECT_FALSE(b->subdirs);
    EXPECT_TRUE(b->newfiles);
    EXPECT_FALSE(form.inbreak);
}

TEST_F(Monitoring, FirstPassComparesNothingThenTicksReportChanges) {
    tree.Write("old.txt");
    AddRow(tree.Path());
    AddRow(tree.Path(), "second %2");  // same directory: a job of its own
    form.BitBtn4Click();
    EXPECT_TRUE(kit.launches.empty());
    tree.Write("sub/new.txt");
    kit.FireTimers();
    EXPECT_EQ(Launched(), (Lines{"sub\\new.txt", "second sub\\new.txt"}));
    kit.FireTimers();
    EXPECT_TRUE(Launched().empty());
    tree.Write("old.txt", "grown");
    kit.FireTimers();
    EXPECT_EQ(Launched(), (Lines{"old.txt", "second old.txt"}));
}

TEST_F(Monitoring, RowsEditedWhileRunningCountAtNextStart) {
    AddRow(tree.Path());
    form.BitBtn4Click();
    form.ListView1->SetCell(0, 3, u"edited %2");
    tree.Write("a.txt");
    kit.FireTimers();
    EXPECT_EQ(Launched(), Lines{"a.txt"});
    form.EndIt();
    form.BitBtn4Click();
    tree.Write("b.txt");
    kit.FireTimers();
    EXPECT_EQ(Launched(), Lines{"edited b.txt"});
}

TEST_F(Monitoring, IntervalFollowsTheFieldAndRestartsTheRunningTimer) {
    form.PruefEd->SetValue(250);
    form.BitBtn4Click();
    EXPECT_EQ(Timer().interval, 250u);
    form.PruefEd->SetValue(4000);
    form.PruefEdChange();
    EXPECT_EQ(Timer().interval, 4000u);
    EXPECT_EQ(Timer().restarts, 1);
    form.EndIt();
    form.PruefEd->SetValue(100);
    form.PruefEdChange();  // while idle too
    EXPECT_EQ(Timer().interval, 100u);
}

TEST_F(Monitoring, StopDuringSubdirectoryReadWaitsForTheTickAndSkipsTheRest) {
    FullReads();
    tree.Write("one/a/x.txt");
    tree.Write("one/b/x.txt");
    tree.Write("two/y.txt");
    AddRow(tree.Path() + u"\\one");
    AddRow(tree.Path() + u"\\two");
    form.BitBtn4Click();
    tree.Write("one/a/new.txt");
    tree.Write("one/b/new.txt");
    tree.Write("two/new.txt");
    int pumpsBefore = kit.pumps;
    // The tick pumps for "one", for its first folder, then for its second:
    // the click arrives there. Whatever the listing order, one folder with a
    // new file has been read, which comparing the cut-off job would launch.
    kit.onPump = [&](int n) {
        if (n == pumpsBefore + 3) Click();
    };
    kit.FireTimers();
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(kit.launches.empty());  // the interrupted job is not compared
    EXPECT_EQ(kit.pumps, pumpsBefore + 3);  // "two" was never read
    EXPECT_EQ(kit.trayDeletes, 1);
    EXPECT_EQ(Win().shows, 1);
    EXPECT_FALSE(form.incheck);
    EXPECT_FALSE(Timer().enabled);
}

TEST_F(Monitoring, StopDuringFirstPassLeavesTimerIdleUntilNextStart) {
    tree.Write("a/b.txt");
    AddRow(tree.Path());
    kit.onPump = [&](int n) {
        if (n == 1) Click();
    };
    form.BitBtn4Click();
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(form.inbreak);
    EXPECT_TRUE(Timer().enabled);  // set again after the pass, as always; its ticks return at once
    kit.onPump = nullptr;
    int pumps = kit.pumps;
    kit.FireTimers();
    EXPECT_EQ(kit.pumps, pumps);
    form.BitBtn4Click();
    EXPECT_FALSE(form.inbreak);
    tree.Write("c.txt");
    kit.FireTimers();
    EXPECT_EQ(Launched(), Lines{"c.txt"});
}

TEST_F(Monitoring, NestedTickReturnsAtOnce) {
    FullReads();
    tree.Write("d/x.txt");
    AddRow(tree.Path());
    form.BitBtn4Click();
    tree.Write("new.txt");
    int pumpsBefore = kit.pumps;
    kit.onPump = [&](int n) {
        if (n == pumpsBefore + 1) kit.PostTick(*form.Timer1);
    };
    kit.FireTimers();
    EXPECT_EQ(kit.pumps, pumpsBefore + 2);  // the outer tick only: top and "d"
    EXPECT_EQ(Launched(), Lines{"new.txt"});
    EXPECT_TRUE(form.needtodelete);
}

TEST_F(Monitoring, StopRequestsWhileIdleChangeNothing) {
    form.EndIt();
    form.WMUser(514);
    EXPECT_EQ(kit.trayDeletes, 0);
    EXPECT_EQ(Win().shows, 0);
    AddRow(tree.Path());
    form.BitBtn4Click();
    Click();
    Click();  // queued before the icon went
    kit.ProcessMessages();
    EXPECT_TRUE(Idle());
    EXPECT_EQ(kit.trayDeletes, 1);
    EXPECT_EQ(Win().shows, 1);
}

TEST_F(Monitoring, StartWhileRunningIsIgnored) {
    AddRow(tree.Path());
    form.BitBtn4Click();
    TDynaArray* first = form.jobs;
    form.BitBtn4Click();
    EXPECT_EQ(form.jobs, first);
    EXPECT_EQ(kit.trayAdds, 1);
}

TEST_F(Monitoring, FailedTickStaysStoppable) {
    FullReads();
    tree.Write("x.txt");
    AddRow(tree.Path());
    form.BitBtn4Click();
    kit.onPump = [](int) { throw std::runtime_error("boom"); };
    kit.FireTimers();
    ASSERT_EQ(kit.boxes.size(), 1u);
    EXPECT_EQ(Narrow(kit.boxes[0].text), "boom.");
    EXPECT_EQ(Narrow(kit.boxes[0].caption), "Valmorin");
    EXPECT_EQ(kit.boxes[0].flags, 0x10u);
    EXPECT_FALSE(form.incheck);
    kit.onPump = nullptr;
    Click();
    kit.ProcessMessages();
    EXPECT_TRUE(Idle());
}

TEST_F(Monitoring, FailureWhileStopIsPendingStillCompletesTheStop) {
    FullReads();
    tree.Write("d/x.txt");
    AddRow(tree.Path());
    form.BitBtn4Click();
    int pumpsBefore = kit.pumps;
    kit.onPump = [&](int n) {
        if (n != pumpsBefore + 1) return;
        form.EndIt();  // the stop is now pending
        throw std::runtime_error("late failure");
    };
    kit.FireTimers();
    EXPECT_TRUE(Idle());
}

TEST_F(Monitoring, MissingNotificationAreaDoesNotStopTheStart) {
    kit.trayWorks = false;
    AddRow(tree.Path());
    form.BitBtn4Click();
    EXPECT_FALSE(Win().visible);
    EXPECT_TRUE(form.needtodelete);
    EXPECT_TRUE(Timer().enabled);
}

TEST_F(Monitoring, TickAfterAFailedTickComparesWithTheLastSnapshotRead) {
    FullReads();
    tree.Write("top.txt");
    tree.Write("d/x.txt");
    tree.Write("e/y.txt");
    AddRow(tree.Path());
    form.BitBtn4Click();
    tree.Write("new.txt");
    // The read throws in a subfolder, with its snapshot half built.
    const int pumpsBefore = kit.pumps;
    kit.onPump = [&](int n) {
        if (n == pumpsBefore + 2) throw std::runtime_error("boom");
    };
    kit.FireTimers();
    kit.onPump = nullptr;
    EXPECT_TRUE(Launched().empty());
    kit.FireTimers();
    EXPECT_EQ(Launched(), (Lines{"new.txt"}));
#ifndef _WIN32
    // A folder's record finds no memory: the read is as good as failed there.
    tree.Write("d/z.txt");
    platform::FailNextBlockAllocs(1);
    kit.FireTimers();
    EXPECT_STRNE(platform::TakeOutOfMemoryText(), "");
    Lines launched = Launched();
    kit.FireTimers();
    for (const std::string& line : Launched()) launched.push_back(line);
    EXPECT_EQ(launched, (Lines{"d\\z.txt"}));
#endif
    kit.FireTimers();
    EXPECT_TRUE(Launched().empty());
}

TEST_F(Monitoring, TickErrorBoxesDoNotStackAndHoldTheTicks) {
    FullReads();
    tree.Write("d/x.txt");
    AddRow(tree.Path());
    form.BitBtn4Click();
    const char* error = "boom";
    kit.onPump = [&](int) { throw std::runtime_error(error); };
    int nested = 0;
    kit.onBox = [&](const Kit::Box&) {
        if (nested++ == 0) kit.PostTick(*form.Timer1);
    };
    kit.FireTimers();
    kit.FireTimers();  // the same error again: no second box
    EXPECT_EQ(kit.boxes.size(), 1u);
    EXPECT_TRUE(form.needtodelete);
    // A click while another error's box is open stops once it is closed.
    error = "other";
    kit.onBox = [&](const Kit::Box&) {
        Click();
        EXPECT_NE(form.jobs, nullptr);
        EXPECT_FALSE(Win().visible);
    };
    kit.FireTimers();
    kit.onBox = nullptr;
    EXPECT_EQ(kit.boxes.size(), 2u);
    EXPECT_TRUE(Idle());
}

TEST_F(Monitoring, FailedSettingsSaveAtStartLeavesMonitoringStoppable) {
    AddRow(tree.Path());
    form.FormStorage1->RestoreFormPlacement();  // a save needs a restore first
    kit.settings.refusedNames.insert(u"FormVersion");
    kit.onBox = [&](const Kit::Box&) { Click(); };
    form.BitBtn4Click();
    kit.onBox = nullptr;
    ASSERT_EQ(kit.boxes.size(), 1u);
    EXPECT_FALSE(Win().visible);
    EXPECT_EQ(kit.trayIcons.size(), 1u);
    EXPECT_TRUE(Timer().enabled);
    Click();
    kit.ProcessMessages();
    EXPECT_TRUE(Idle());
}

// The restore at the stop can fail with a box that runs messages; a start
// made from it keeps its own jobs.
TEST_F(Monitoring, StartFromTheRestoreBoxOfAStopKeepsItsJobs) {
    AddRow(tree.Path());
    form.FormStorage1->RestoreFormPlacement();  // a save needs a restore first
    form.BitBtn4Click();
    for (auto& [key, values] : kit.settings.keys)
        for (auto& [name, value] : values) value.kind = gui::SettingsStore::Kind::Other;
    int started = 0;
    kit.onBox = [&](const Kit::Box&) {
        if (started++ == 0) form.BitBtn4Click();
    };
    Click();
    kit.ProcessMessages();
    kit.onBox = nullptr;
    ASSERT_EQ(started, 1);
    EXPECT_TRUE(form.needtodelete);
    ASSERT_NE(form.jobs, nullptr);
    EXPECT_EQ(form.jobs->count, 1u);
    form.EndIt();  // the sanitizers see the jobs of either start leak or go twice
}

}  // namespace
