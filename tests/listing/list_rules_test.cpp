#include "list_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "local_time.h"

// Each case names only the record field it is about; GCC 12 still warns
// about the members a designated initializer leaves to their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TorrentRecord WithSize(std::string size) {
    TorrentRecord record;
    record.Size = std::move(size);
    return record;
}

// Each pair is checked both ways round: a sort needs b against a to be the
// exact opposite of a against b.
TEST(ListRulesTest, SizesCompareByUnitThenNumber) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"1.5 GB", "700MB", 1},
        {"700 MB", "7 0 0MB", 0},
        {"2GB", "10GB", -1},
        {"", "1K", -1},
        {"", "", 0},
        {"B", "", 1},
        {"1000", "512", 1},
        {"1K", "999", 1},
        {"900KB", "1MB", -1},
        {"5T", "1G", -1},
        {"5T", "2X", -1},
        {"5T", "12", -1},
        {"1.37GB", "1.370G", 0},
        {"abcM", "1M", -1},
        {"12MBB", "3MB", -1},
    };
    for (const Case& c : cases) {
        const int forward = Sign(CompareRecords(WithSize(c.a), WithSize(c.b), kColumnSize));
        const int backward = Sign(CompareRecords(WithSize(c.b), WithSize(c.a), kColumnSize));
        EXPECT_EQ(forward, c.expected) << '"' << c.a << "\" vs \"" << c.b << '"';
        EXPECT_EQ(backward, -c.expected) << '"' << c.b << "\" vs \"" << c.a << '"';
    }
}

TEST(ListRulesTest, OtherColumnsCompareTheirField) {
    const OleDate march1 = OleDate::FromFields(2024, 3, 1);
    const OleDate march2 = OleDate::FromFields(2024, 3, 2);
    struct Case {
        int column;
        TorrentRecord a;
        TorrentRecord b;
        int expected;
    };
    const Case cases[] = {
        {kColumnAddDate, {.AddDate = march1}, {.AddDate = march2}, -1},
        {kColumnAddDate, {.AddDate = {5, OleDate::kInvalid}}, {.AddDate = march1}, -1},
        {kColumnRefreshDate, {.RefreshDate = march2}, {.RefreshDate = march1}, 1},
        {kColumnPercent, {.bCompleted = 100}, {.bCompleted = 99}, -1},
        {kColumnPercent, {.bCompleted = 0x100 | 100}, {.bCompleted = 101}, -1},
        {kColumnPercent, {.bCompleted = 5}, {.bCompleted = 255}, 0},
        {kColumnName, {.Name = "abc"}, {.Name = "Abd"}, 1},
        {kColumnName, {.Name = "[电影]"}, {.Name = "[z]"}, 1},
        {kColumnSeeds, {.Seeds = -1}, {.Seeds = 0}, -1},
        {kColumnPeers, {.Peers = 20}, {.Peers = 3}, 1},
        {kColumnIndex, {.Name = "a"}, {.Name = "b"}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(CompareRecords(c.a, c.b, c.column)), c.expected) << "column " << c.column;
        EXPECT_EQ(Sign(CompareRecords(c.b, c.a, c.column)), -c.expected) << "column " << c.column;
    }
}

TEST(ListRulesTest, DayColourCountsWholeDaysToTheEndOfToday) {
    const int64_t now = testing_support::LocalSeconds(2024, 3, 10, 9, 30);
    struct Case {
        OleDate added;
        int expected;
    };
    const Case cases[] = {
        {OleDate::FromFields(2024, 3, 10, 0, 0, 0), 0},
        {OleDate::FromFields(2024, 3, 10, 23, 59, 59), 0},
        {OleDate::FromFields(2024, 3, 9, 23, 59, 59), 1},
        {OleDate::FromFields(2024, 3, 9, 0, 0, 0), 1},
        {OleDate::FromFields(2024, 3, 8, 0, 0, 1), 2},
        {OleDate::FromFields(2024, 3, 7, 23, 59, 59), 3},
        {OleDate::FromFields(2023, 3, 10, 12, 0, 0), 3},
        // Later than today: under a day ahead still truncates to 0.
        {OleDate::FromFields(2024, 3, 11, 12, 0, 0), 0},
        {OleDate::FromFields(2024, 3, 12, 12, 0, 0), 3},
        {OleDate{45000.5, OleDate::kInvalid}, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DayColourIndex(c.added, now), c.expected) << c.added.Format();
    }
}

TEST(ListRulesTest, TipOpensLeftOfTheNameCellAndStaysOnScreen) {
    EXPECT_TRUE(TipTriggered(299, 300));
    EXPECT_FALSE(TipTriggered(300, 300));

    struct Case {
        int x, y, w, h, top, bottom;
        TipPosition expected;
    };
    const Case cases[] = {
        {500, 300, 300, 400, 0, 1080, {350, 295}},
        {100, 900, 301, 400, 0, 1080, {-50, 680}},
        {100, 900, 300, 2000, 0, 1080, {-50, 0}},
        {100, 1900, 300, 400, 1080, 2160, {-50, 1760}},
        {100, 1100, 300, 2000, 1080, 2160, {-50, 1080}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceTip(c.x, c.y, c.w, c.h, c.top, c.bottom), c.expected)
            << c.x << "," << c.y << " " << c.w << "x" << c.h;
    }
}

}  // namespace
