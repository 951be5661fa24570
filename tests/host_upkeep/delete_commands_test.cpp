// The delete commands: cut-off days in local calendar time, the rows each
// command removes, the dates the plug-ins are set back to, and the torrent
// folder pruning they ask for.
#include "delete_commands.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <vector>

#include "upkeep_home.h"

namespace {

using upkeep_test::BerlinTime;
using upkeep_test::IniDate;
using upkeep_test::LocalSeconds;
using upkeep_test::UpkeepHome;
using Kind = CDeleteCommands::Kind;

CDeleteCommands::Command Days(Kind kind, int nDays) {
    return {kind, nDays, {}};
}
CDeleteCommands::Command Picked(Kind kind, int year, int month, int day) {
    return {kind, 0, OleDate::FromFields(year, month, day, 15, 30)};
}

class DeleteCutOff : public BerlinTime {};

TEST_F(DeleteCutOff, DayCommandsCountCalendarDaysBackFromTodaysMidnight) {
    struct Case {
        int64_t now;
        CDeleteCommands::Command command;
        OleDate expected;
    };
    const Case cases[] = {
        {LocalSeconds(2024, 6, 15, 13, 5), Days(Kind::kBeforeDays, 1),
         OleDate::FromFields(2024, 6, 15)},
        {LocalSeconds(2024, 6, 15, 0, 0), Days(Kind::kRecentDays, 3),
         OleDate::FromFields(2024, 6, 13)},
        {LocalSeconds(2024, 3, 1, 23, 59), Days(Kind::kBeforeDays, 10),
         OleDate::FromFields(2024, 2, 21)},
        // Half an hour after the 23-hour day: 24 hours back would be the
        // evening of 2024-03-30.
        {LocalSeconds(2024, 4, 1, 0, 30), Days(Kind::kBeforeDays, 2),
         OleDate::FromFields(2024, 3, 31)},
        {LocalSeconds(2024, 10, 28, 23, 30), Days(Kind::kRecentDays, 2),
         OleDate::FromFields(2024, 10, 27)},
        // The date commands take the picked day without its time.
        {LocalSeconds(2024, 6, 15, 13, 5), Picked(Kind::kAfterDate, 2024, 6, 15),
         OleDate::FromFields(2024, 6, 15)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CDeleteCommands::CutOff(c.command, c.now).Format(), c.expected.Format())
            << OleDate::FromUnixTime(static_cast<time_t>(c.now)).Format();
    }
    EXPECT_FALSE(CDeleteCommands::CutOff(Days(Kind::kClearData, 0), 0).IsValid());
}

TEST_F(DeleteCutOff, PruneDaysAndDirectionFollowTheCommand) {
    const int64_t now = LocalSeconds(2024, 4, 1, 0, 30);
    struct Case {
        CDeleteCommands::Command command;
        bool bPrunes;
        int nDays;
        bool bRecent;
    };
    const Case cases[] = {
        {Days(Kind::kClearData, 0), true, 0, false},
        {Days(Kind::kBeforeDays, 3), true, 3, false},
        {Days(Kind::kRecentDays, 1), true, 1, true},
        {Picked(Kind::kBeforeDate, 2024, 4, 1), true, 0, false},
        // Three calendar days back across the change to summer time, which
        // is only 71.5 hours ago.
        {Picked(Kind::kBeforeDate, 2024, 3, 29), true, 3, false},
        {Picked(Kind::kBeforeDate, 2024, 4, 5), true, 0, false},
        {Picked(Kind::kAfterDate, 2024, 4, 1), true, 0, true},
        {Picked(Kind::kAfterDate, 2024, 3, 29), true, 3, true},
        {Picked(Kind::kAfterDate, 2024, 4, 2), false, 0, false},
    };
    for (const Case& c : cases) {
        const auto prune = CDeleteCommands::GetPruneArguments(c.command, now);
        const std::string context = "kind " + std::to_string(static_cast<int>(c.command.kind)) +
                                    " picked " + c.command.dtPicked.Format();
        ASSERT_EQ(prune.has_value(), c.bPrunes) << context;
        if (prune) {
            EXPECT_EQ(prune->nDays, c.nDays) << context;
            EXPECT_EQ(prune->bRecent, c.bRecent) << context;
        }
    }
}

TEST(DeleteCommandIds, MenuIdsMapToTheirCommands) {
    EXPECT_EQ(CDeleteCommands::FromCommandId(32772)->kind, Kind::kClearData);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32781)->nDays, 1);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32790)->nDays, 10);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32790)->kind, Kind::kBeforeDays);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32899)->nDays, 1);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32908)->kind, Kind::kRecentDays);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32908)->nDays, 10);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32929)->kind, Kind::kBeforeDate);
    EXPECT_EQ(CDeleteCommands::FromCommandId(32930)->kind, Kind::kAfterDate);
    for (int nId : {32780, 32791, 32898, 32909, 32928, 32931}) {
        EXPECT_FALSE(CDeleteCommands::FromCommandId(nId).has_value()) << nId;
    }
}

class DeleteRun : public BerlinTime {
  protected:
    void SetUp() override {
        BerlinTime::SetUp();
        m_now = LocalSeconds(2024, 6, 15, 13, 5);
        m_home.ListWren();
        m_pRoot = &m_home.BuildTree();
        m_pHost = std::make_unique<PluginHost>(m_home.Dir());
        ASSERT_EQ(m_pHost->GetUsablePluginCount(), 1)
            << ::testing::PrintToString(m_pHost->TakeLoadReports());
        m_pCommands = std::make_unique<CDeleteCommands>(
            *m_pHost,
            [this](int nDays, bool bRecent) {
                m_prunes.push_back({nDays, bRecent});
                return 7;
            },
            Clock());
    }
    void TearDown() override {
        m_pCommands.reset();
        m_pHost.reset();
        BerlinTime::TearDown();
    }

    // Rows added today at 00:00 and 12:00, yesterday at 23:59, and ten days
    // ago.
    void Fill(CCategoryNode& leaf) {
        TorrentRecordArray rows(4);
        rows[0].AddDate = OleDate::FromFields(2024, 6, 15, 0, 0);
        rows[1].AddDate = OleDate::FromFields(2024, 6, 15, 12, 0);
        rows[2].AddDate = OleDate::FromFields(2024, 6, 14, 23, 59);
        rows[3].AddDate = OleDate::FromFields(2024, 6, 5, 8, 0);
        for (size_t i = 0; i < rows.size(); ++i) {
            rows[i].Name = leaf.m_strTableName + std::to_string(i);
        }
        ASSERT_TRUE(leaf.m_Table.InsertBatch(rows));
    }
    std::vector<OleDate> Dates(CCategoryNode& leaf) {
        std::vector<OleDate> dates;
        TorrentRecord row;
        if (leaf.m_Table.MoveFirst()) {
            while (leaf.m_Table.ReadNext(row)) {
                dates.push_back(row.AddDate);
            }
        }
        return dates;
    }

    struct Prune {
        int nDays;
        bool bRecent;
        bool operator==(const Prune&) const = default;
    };

    UpkeepHome m_home;
    CCategoryNode* m_pRoot = nullptr;
    std::unique_ptr<PluginHost> m_pHost;
    std::unique_ptr<CDeleteCommands> m_pCommands;
    std::vector<Prune> m_prunes;
};

TEST_F(DeleteRun, BeforeOneDayKeepsTodayAndRecentOneDayDeletesExactlyToday) {
    CCategoryNode& anime = m_home.Leaf(3, 1);
    CCategoryNode& comic = m_home.Leaf(3, 2);
    Fill(anime);
    Fill(comic);

    const auto before = m_pCommands->Run(&anime, Days(Kind::kBeforeDays, 1));
    ASSERT_EQ(before.leaves.size(), 1u);
    EXPECT_EQ(before.leaves[0].pLeaf, &anime);
    EXPECT_TRUE(before.leaves[0].bOk);
    EXPECT_EQ(before.leaves[0].nRowsDeleted, 2);
    EXPECT_EQ(before.nFilesPruned, 7);
    EXPECT_EQ(Dates(anime), (std::vector<OleDate>{OleDate::FromFields(2024, 6, 15, 12, 0),
                                                  OleDate::FromFields(2024, 6, 15, 0, 0)}));
    // Old rows gone tell the plug-ins nothing.
    EXPECT_EQ(m_home.RefreshDate(3, 1), "");

    const auto recent = m_pCommands->Run(&comic, Days(Kind::kRecentDays, 1));
    EXPECT_EQ(recent.leaves[0].nRowsDeleted, 2);
    EXPECT_EQ(Dates(comic), (std::vector<OleDate>{OleDate::FromFields(2024, 6, 14, 23, 59),
                                                  OleDate::FromFields(2024, 6, 5, 8, 0)}));
    EXPECT_EQ(m_home.RefreshDate(3, 2), IniDate(OleDate::FromFields(2024, 6, 15)));
    EXPECT_EQ(m_home.RefreshDate(3, 1), "");
    EXPECT_EQ(m_prunes, (std::vector<Prune>{{1, false}, {1, true}}));
}

TEST_F(DeleteRun, DateCommandsIncludeThePickedDayInTheRecentSide) {
    CCategoryNode& anime = m_home.Leaf(3, 1);
    CCategoryNode& comic = m_home.Leaf(3, 2);
    Fill(anime);
    Fill(comic);

    EXPECT_EQ(
        m_pCommands->Run(&anime, Picked(Kind::kAfterDate, 2024, 6, 15)).leaves[0].nRowsDeleted, 2);
    EXPECT_EQ(Dates(anime).size(), 2u);
    EXPECT_EQ(m_home.RefreshDate(3, 1), IniDate(OleDate::FromFields(2024, 6, 15)));

    EXPECT_EQ(
        m_pCommands->Run(&comic, Picked(Kind::kBeforeDate, 2024, 6, 15)).leaves[0].nRowsDeleted, 2);
    EXPECT_EQ(Dates(comic), (std::vector<OleDate>{OleDate::FromFields(2024, 6, 15, 12, 0),
                                                  OleDate::FromFields(2024, 6, 15, 0, 0)}));
    EXPECT_EQ(m_prunes, (std::vector<Prune>{{0, true}, {0, false}}));
}

TEST_F(DeleteRun, ClearWalksTheNodesLeavesAndSetsThePlugInsBackToTheEpoch) {
    for (auto [c, i] : {std::pair{3, 1}, {3, 2}, {4, 1}}) {
        Fill(m_home.Leaf(c, i));
    }
    // A category clears its own leaves only.
    const auto category = m_pCommands->Run(m_pRoot->GetChild(2), Days(Kind::kClearData, 0));
    ASSERT_EQ(category.leaves.size(), 1u);
    EXPECT_EQ(category.leaves[0].pLeaf, &m_home.Leaf(4, 1));
    EXPECT_EQ(m_home.Leaf(3, 1).m_Table.Count(), 4);
    EXPECT_EQ(m_home.Leaf(4, 1).m_Table.Count(), 0);

    const auto root = m_pCommands->Run(m_pRoot, Days(Kind::kClearData, 0));
    ASSERT_EQ(root.leaves.size(), 3u);
    EXPECT_EQ(root.leaves[0].pLeaf, &m_home.Leaf(3, 1));
    EXPECT_EQ(root.leaves[0].nRowsDeleted, 4);
    EXPECT_EQ(root.leaves[1].nRowsDeleted, 4);
    EXPECT_EQ(root.leaves[2].nRowsDeleted, 0);
    EXPECT_EQ(m_home.Leaf(3, 2).m_Table.Count(), 0);
    // The epoch in local time: 01:00 on 1970-01-01 in Berlin.
    EXPECT_EQ(m_home.RefreshDate(3, 1), IniDate(OleDate::FromFields(1970, 1, 1, 1, 0)));
    EXPECT_EQ(m_home.RefreshDate(3, 2), IniDate(OleDate::FromFields(1970, 1, 1, 1, 0)));
    EXPECT_EQ(m_prunes, (std::vector<Prune>{{0, false}, {0, false}}));
}

TEST_F(DeleteRun, WithoutANodeOnlyTheFilesArePruned) {
    Fill(m_home.Leaf(3, 1));
    const auto result = m_pCommands->Run(nullptr, Days(Kind::kClearData, 0));
    EXPECT_TRUE(result.leaves.empty());
    EXPECT_EQ(result.nFilesPruned, 7);
    EXPECT_EQ(m_home.Leaf(3, 1).m_Table.Count(), 4);
    EXPECT_EQ(m_home.RefreshDate(3, 1), "");
    // An after-date in the future prunes nothing at all.
    m_pCommands->Run(nullptr, Picked(Kind::kAfterDate, 2024, 6, 16));
    EXPECT_EQ(m_prunes, (std::vector<Prune>{{0, false}}));
}

// The plug-ins must only fetch entries again when they are really gone, or
// the next refresh appends a second copy of every row left behind.
TEST_F(DeleteRun, AFailedDeleteLeavesThePlugInDatesAlone) {
    CCategoryNode& anime = m_home.Leaf(3, 1);
    Fill(anime);
    CCategoryNode& comic = m_home.Leaf(3, 2);
    comic.m_Table.SetTableName("no_such_table");

    const auto recent = m_pCommands->Run(&comic, Days(Kind::kRecentDays, 2));
    EXPECT_FALSE(recent.leaves[0].bOk);
    EXPECT_EQ(m_home.RefreshDate(3, 2), "");

    // Another process holds the write lock: the clear fails after the
    // catalogue's busy timeout and the rows stay.
    CTorrentTable::Connect();
    sqlite3* pDb = nullptr;
    ASSERT_EQ(sqlite3_open((m_home.Kernel() + "websdata.db").c_str(), &pDb), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(pDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto clear = m_pCommands->Run(&anime, Days(Kind::kClearData, 0));
    sqlite3_exec(pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(pDb);
    EXPECT_FALSE(clear.leaves[0].bOk);
    EXPECT_EQ(clear.leaves[0].nRowsDeleted, 0);
    EXPECT_EQ(anime.m_Table.Count(), 4);
    EXPECT_EQ(m_home.RefreshDate(3, 1), "");
}

}  // namespace
