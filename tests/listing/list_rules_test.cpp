#include "list_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "local_time.h"

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

TEST(ListRulesTest, SortingSizesGivesOneOrder) {
    const std::vector<std::string> expected = {"",     "3X",    "4096",   "12 KB", "900K",
                                               "1 MB", "700MB", "1.5 GB", "2G",    "10 GB"};
    std::vector<TorrentRecord> rows;
    for (auto it = expected.rbegin(); it != expected.rend(); ++it) {
        rows.push_back(WithSize(*it));
    }
    std::rotate(rows.begin(), rows.begin() + 4, rows.end());
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return CompareRecords(a, b, kColumnSize) < 0;
    });
    std::vector<std::string> sorted;
    for (const TorrentRecord& row : rows) {
        sorted.push_back(row.Size);
    }
    EXPECT_EQ(sorted, expected);
}

TEST(ListRulesTest, OtherColumnsCompareTheirField) {
    struct Case {
        int column;
        void (*makeA)(TorrentRecord&);
        void (*makeB)(TorrentRecord&);
        int expected;
    };
    const Case cases[] = {
        {kColumnAddDate, [](TorrentRecord& r) { r.AddDate = OleDate::FromFields(2024, 3, 1); },
         [](TorrentRecord& r) { r.AddDate = OleDate::FromFields(2024, 3, 2); }, -1},
        {kColumnAddDate,
         [](TorrentRecord& r) {
             r.AddDate = OleDate{5, OleDate::kInvalid};
         },
         [](TorrentRecord& r) { r.AddDate = OleDate::FromFields(1990, 1, 1); }, -1},
        {kColumnRefreshDate,
         [](TorrentRecord& r) { r.RefreshDate = OleDate::FromFields(2024, 3, 2, 10); },
         [](TorrentRecord& r) { r.RefreshDate = OleDate::FromFields(2024, 3, 2, 9); }, 1},
        {kColumnPercent, [](TorrentRecord& r) { r.bCompleted = 100; },
         [](TorrentRecord& r) { r.bCompleted = 99; }, -1},
        {kColumnPercent, [](TorrentRecord& r) { r.bCompleted = 0x100 | 100; },
         [](TorrentRecord& r) { r.bCompleted = 101; }, -1},
        {kColumnPercent, [](TorrentRecord& r) { r.bCompleted = 5; },
         [](TorrentRecord& r) { r.bCompleted = 255; }, 0},
        {kColumnName, [](TorrentRecord& r) { r.Name = "abc"; },
         [](TorrentRecord& r) { r.Name = "Abd"; }, 1},
        {kColumnName, [](TorrentRecord& r) { r.Name = "[电影]"; },
         [](TorrentRecord& r) { r.Name = "[z]"; }, 1},
        {kColumnSeeds, [](TorrentRecord& r) { r.Seeds = -1; },
         [](TorrentRecord& r) { r.Seeds = 0; }, -1},
        {kColumnPeers, [](TorrentRecord& r) { r.Peers = 20; },
         [](TorrentRecord& r) { r.Peers = 3; }, 1},
        {kColumnIndex, [](TorrentRecord& r) { r.Name = "a"; },
         [](TorrentRecord& r) { r.Name = "b"; }, 0},
        {8, [](TorrentRecord& r) { r.Name = "a"; }, [](TorrentRecord& r) { r.Name = "b"; }, 0},
    };
    for (const Case& c : cases) {
        TorrentRecord a;
        TorrentRecord b;
        c.makeA(a);
        c.makeB(b);
        EXPECT_EQ(Sign(CompareRecords(a, b, c.column)), c.expected) << "column " << c.column;
        EXPECT_EQ(Sign(CompareRecords(b, a, c.column)), -c.expected) << "column " << c.column;
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
        {100, 685, 300, 400, 0, 1080, {-50, 680}},
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
