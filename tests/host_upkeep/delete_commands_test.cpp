// The delete commands: cut-off days on the local calendar and the pruning
// they ask for.
#include "delete_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "upkeep_home.h"

namespace {

using upkeep_test::BerlinTime;
using upkeep_test::LocalSeconds;
using upkeep_test::UpkeepHome;
using Kind = CDeleteCommands::Kind;

CDeleteCommands::Command Days(Kind kind, int nDays) {
    return {kind, nDays, {}};
}
CDeleteCommands::Command Picked(Kind kind, int month, int day) {
    return {kind, 0, OleDate::FromFields(2024, month, day, 15, 30)};
}

class DeleteDays : public BerlinTime {};

TEST_F(DeleteDays, CutOffsAreLocalMidnightsCountedInCalendarDays) {
    struct Case {
        int64_t now;
        CDeleteCommands::Command command;
        OleDate expected;
    };
    const Case cases[] = {
        {LocalSeconds(2024, 6, 15, 13, 5), Days(Kind::kBeforeDays, 1),
         OleDate::FromFields(2024, 6, 15)},
        {LocalSeconds(2024, 3, 1, 23, 59), Days(Kind::kRecentDays, 10),
         OleDate::FromFields(2024, 2, 21)},
        // Just after the 23-hour day: 24 hours back is 2024-03-30, 23:30.
        {LocalSeconds(2024, 4, 1, 0, 30), Days(Kind::kBeforeDays, 2),
         OleDate::FromFields(2024, 3, 31)},
        {LocalSeconds(2024, 10, 28, 23, 30), Days(Kind::kRecentDays, 2),
         OleDate::FromFields(2024, 10, 27)},
        {LocalSeconds(2024, 6, 15, 13, 5), Picked(Kind::kAfterDate, 6, 15),
         OleDate::FromFields(2024, 6, 15)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CDeleteCommands::CutOff(c.command, c.now).Format(), c.expected.Format());
    }
}

TEST_F(DeleteDays, PruningTakesTheCommandsDaysAndDirection) {
    const int64_t now = LocalSeconds(2024, 4, 1, 0, 30);
    struct Case {
        CDeleteCommands::Command command;
        int nDays;  // -1: nothing pruned
        bool bRecent;
    };
    const Case cases[] = {
        {Days(Kind::kClearData, 0), 0, false},
        {Days(Kind::kBeforeDays, 3), 3, false},
        {Days(Kind::kRecentDays, 1), 1, true},
        {Picked(Kind::kBeforeDate, 4, 1), 0, false},
        // Three calendar days back, though only 71.5 hours ago.
        {Picked(Kind::kBeforeDate, 3, 29), 3, false},
        {Picked(Kind::kBeforeDate, 4, 5), 0, false},
        {Picked(Kind::kAfterDate, 3, 29), 3, true},
        {Picked(Kind::kAfterDate, 4, 2), -1, false},
    };
    for (const Case& c : cases) {
        const auto prune = CDeleteCommands::GetPruneArguments(c.command, now);
        SCOPED_TRACE(c.command.dtPicked.Format());
        ASSERT_EQ(prune.has_value(), c.nDays >= 0);
        if (prune) {
            EXPECT_EQ(prune->nDays, c.nDays);
            EXPECT_EQ(prune->bRecent, c.bRecent);
        }
    }
}

// Rows, plug-in dates and files are checked end to end through tessaro-cli.
TEST_F(DeleteDays, WithoutANodeOnlyTheFilesArePruned) {
    UpkeepHome home;
    PluginHost host(home.Dir());
    std::vector<int> pruned;
    CDeleteCommands commands(
        host,
        [&](int nDays, bool) {
            pruned.push_back(nDays);
            return 2;
        },
        Clock());
    const auto result = commands.Run(nullptr, Days(Kind::kBeforeDays, 4));
    EXPECT_TRUE(result.leaves.empty());
    EXPECT_EQ(result.nFilesPruned, 2);
    EXPECT_EQ(pruned, std::vector<int>{4});
}

}  // namespace
