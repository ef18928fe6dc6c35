#include <gtest/gtest.h>

#include <cstring>

#include "monitor/dyna_array.h"
#include "platform/memory.h"

namespace {

struct Rec16 {
    uint64_t a, b;
};

bool AllZero(const void* p, size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return false;
    return true;
}

void Fill(TDynaArray& array, int n) {
    for (int i = 0; i < n; ++i) static_cast<Rec16*>(array.Add())->a = static_cast<uint64_t>(i) + 1;
}

TEST(DynaArray, CreateLeavesCallersVariableAndHasNoBlock) {
    Rec16 marker{};
    Rec16* cursor = &marker;
    TDynaArray array(16, &cursor);
    EXPECT_EQ(cursor, &marker);
    EXPECT_EQ(array.poi, nullptr);
    EXPECT_EQ(array.amemsize, 0u);
    EXPECT_EQ(array.aobjnr, -1);
    EXPECT_EQ(array.buffersize, 100u);
    array.First();  // empty: nothing moves
    EXPECT_EQ(cursor, &marker);
    EXPECT_FALSE(array.WhileNext());
    EXPECT_FALSE(array.Next());
}

TEST(DynaArray, GrowsInStepsOfHundredAndKeepsRecords) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    auto* first = static_cast<Rec16*>(array.Add());
    EXPECT_EQ(array.amemsize, 1600u);
    EXPECT_EQ(array.count, 1u);
    EXPECT_EQ(array.aobjnr, 0);
    EXPECT_EQ(cursor, first);
    EXPECT_TRUE(AllZero(first, 16));
    Fill(array, 99);
    EXPECT_EQ(array.amemsize, 1600u);
    auto* hundredth = static_cast<Rec16*>(array.Add());
    EXPECT_EQ(array.amemsize, 3200u);
    EXPECT_TRUE(AllZero(hundredth, 16));
    EXPECT_EQ(cursor, hundredth);
    EXPECT_EQ(array.aobjnr, 100);
    for (uint32_t i = 1; i < 100; ++i) EXPECT_EQ(static_cast<Rec16*>(array.GetObject(i))->a, i);
}

TEST(DynaArray, ShrinksAtStepBoundaryAndFreesWithLastRecord) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    Fill(array, 101);
    array.Delete(0);
    EXPECT_EQ(array.count, 100u);
    EXPECT_EQ(array.amemsize, 1600u);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(array.aobjnr, -1);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(0))->a, 2u);  // the rest moved down
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(99))->a, 101u);
    while (array.count > 1) array.Delete(static_cast<int32_t>(array.count) - 1);
    array.GetObject(0);
    array.Delete(0);
    EXPECT_EQ(array.poi, nullptr);
    EXPECT_EQ(array.amemsize, 0u);
    EXPECT_EQ(cursor, nullptr);
}

TEST(DynaArray, AddAfterDeleteInSameBlockGivesZeroRecord) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    Fill(array, 3);
    array.Delete(2);
    auto* again = array.Add();
    EXPECT_TRUE(AllZero(again, 16));
}

TEST(DynaArray, InsertAppendsOrShiftsAndRefusesOutsideIndexes) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    Fill(array, 2);
    auto* appended = static_cast<Rec16*>(array.Insert(2));
    ASSERT_NE(appended, nullptr);
    EXPECT_EQ(array.count, 3u);
    EXPECT_TRUE(AllZero(appended, 16));
    appended->a = 9;
    auto* front = array.Insert(0);
    EXPECT_TRUE(AllZero(front, 16));
    EXPECT_EQ(cursor, front);
    EXPECT_EQ(array.aobjnr, 0);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(1))->a, 1u);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(3))->a, 9u);

    array.GetObject(2);
    Rec16* before = cursor;
    EXPECT_EQ(array.Insert(-1), nullptr);
    EXPECT_EQ(array.Insert(static_cast<int32_t>(array.count) + 1), nullptr);
    EXPECT_EQ(array.count, 4u);
    EXPECT_EQ(cursor, before);
    EXPECT_EQ(array.aobjnr, 2);
}

TEST(DynaArray, RefusedDeleteAndChangeLeaveEverything) {
    Rec16* cursor = nullptr;
    TDynaArray empty(16, &cursor);
    empty.Delete(0);
    empty.Change(0, 0);
    EXPECT_EQ(empty.count, 0u);

    TDynaArray array(16, &cursor);
    Fill(array, 3);
    array.GetObject(1);
    for (int32_t bad : {-1, 3, 100}) {
        array.Delete(bad);
        array.Change(bad, 0);
        array.Change(0, bad);
    }
    EXPECT_EQ(array.count, 3u);
    EXPECT_EQ(array.aobjnr, 1);
    EXPECT_EQ(cursor->a, 2u);
}

TEST(DynaArray, ChangeSwapsAndEndsOnSecond) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    Fill(array, 3);
    array.Change(0, 2);
    EXPECT_EQ(array.aobjnr, 2);
    EXPECT_EQ(cursor->a, 1u);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(0))->a, 3u);
    array.Change(1, 1);
    EXPECT_EQ(array.aobjnr, 1);
    EXPECT_EQ(cursor->a, 2u);
}

TEST(DynaArray, WhileNextWalkLeavesIndexPastTheEnd) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    Fill(array, 3);
    std::vector<uint64_t> seen;
    array.First();
    while (array.WhileNext()) {
        seen.push_back(cursor->a);
        EXPECT_EQ(array.aobjnr, static_cast<int32_t>(seen.size()));  // one ahead inside the body
    }
    EXPECT_EQ(seen, (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(array.aobjnr, 3);
    EXPECT_FALSE(array.WhileNext());
    EXPECT_EQ(cursor->a, 3u);
}

TEST(DynaArray, NextStopsOnLastAndStartsAfterClearedCursor) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    Fill(array, 3);
    array.GetObject(2);
    EXPECT_FALSE(array.Next());
    EXPECT_EQ(array.aobjnr, 2);
    array.Delete(2);
    EXPECT_TRUE(array.Next());
    EXPECT_EQ(array.aobjnr, 0);
    EXPECT_EQ(cursor->a, 1u);
}

TEST(DynaArray, ArraysSharingOneCursorShowWhicheverMovedLast) {
    Rec16* cursor = nullptr;
    TDynaArray a(16, &cursor), b(16, &cursor);
    Fill(a, 2);
    Fill(b, 2);
    a.First();
    EXPECT_EQ(cursor, a.poi);
    b.GetObject(1);
    EXPECT_EQ(cursor, static_cast<Rec16*>(b.poi) + 1);
    b.Clear();
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(b.poi, nullptr);
}

TEST(DynaArray, NullCursorVariablePublishesNowhere) {
    TDynaArray array(16, nullptr);
    Fill(array, 2);
    array.First();
    EXPECT_TRUE(array.WhileNext());
    EXPECT_EQ(array.aobj, array.poi);
}

TEST(DynaArray, AllocationFailuresAreReportedAndChangeNothing) {
    Rec16* cursor = nullptr;
    TDynaArray array(16, &cursor);
    platform::TakeOutOfMemoryText();
    platform::FailNextBlockAllocs(1);
    EXPECT_EQ(array.Add(), nullptr);
    EXPECT_STREQ(platform::TakeOutOfMemoryText(),
                 "Error 1 while trying to allocate 1600 bytes of RAM. Not enough memory.");
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(array.poi, nullptr);

    Fill(array, 100);
    array.GetObject(5);
    platform::FailNextBlockAllocs(1);
    EXPECT_EQ(array.Add(), nullptr);
    EXPECT_STREQ(platform::TakeOutOfMemoryText(),
                 "Error 2 while trying to allocate 3200 bytes of RAM. Not enough memory.");
    EXPECT_EQ(array.count, 100u);
    EXPECT_EQ(array.aobjnr, 5);
    EXPECT_EQ(array.amemsize, 1600u);

    Fill(array, 1);
    platform::FailNextBlockAllocs(1);
    array.Delete(0);  // a failed shrink keeps the larger block, records intact
    EXPECT_STREQ(platform::TakeOutOfMemoryText(),
                 "Error 3 while trying to allocate 1600 bytes of RAM. Not enough memory.");
    EXPECT_EQ(array.count, 100u);
    EXPECT_EQ(array.amemsize, 3200u);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(0))->a, 2u);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(99))->a, 1u);
    // The next shrink moves only what fits into the smaller block.
    array.Delete(0);
    EXPECT_EQ(array.amemsize, 1600u);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(0))->a, 3u);
    EXPECT_EQ(static_cast<Rec16*>(array.GetObject(98))->a, 1u);
}

TEST(DynaArray, AddManyLeavesWhatSingleAddsLeave) {
    for (uint32_t before : {0u, 1u, 99u, 100u, 150u}) {
        for (uint32_t n : {1u, 50u, 100u, 101u, 250u}) {
            Rec16* c1 = nullptr;
            Rec16* c2 = nullptr;
            TDynaArray one(16, &c1), many(16, &c2);
            Fill(one, static_cast<int>(before));
            Fill(many, static_cast<int>(before));
            // Leave deleted bytes behind the last record to prove they get zeroed.
            Fill(one, 1), one.Delete(static_cast<int32_t>(one.count) - 1);
            Fill(many, 1), many.Delete(static_cast<int32_t>(many.count) - 1);
            for (uint32_t i = 0; i < n; ++i) one.Add();
            auto* first = static_cast<Rec16*>(many.AddMany(n));
            ASSERT_EQ(first, static_cast<Rec16*>(many.poi) + before);
            EXPECT_EQ(many.count, one.count);
            EXPECT_EQ(many.amemsize, one.amemsize);
            EXPECT_EQ(many.aobjnr, one.aobjnr);
            EXPECT_EQ(c2, static_cast<Rec16*>(many.poi) + many.count - 1);
            EXPECT_EQ(0, std::memcmp(one.poi, many.poi, one.amemsize));
        }
    }
}

}  // namespace
