// tessaro-cli delete and sites end to end: the confirmation, the rows each
// command removes, the dates wren.so is set back to and the torrent files
// pruned.
#include <gtest/gtest.h>

#include <ctime>

#include "child_process.h"
#include "upkeep_cli_home.h"

namespace {

using cli_upkeep::ChildProcess;
using cli_upkeep::IniDate;
using cli_upkeep::Midnight;
using cli_upkeep::UpkeepCliHome;
using testing_support::Lines;
using namespace std::chrono_literals;

constexpr char kAnime[] = "anime_animation";
constexpr char kComics[] = "anime_comics";

class CliDelete : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home.Init("http://127.0.0.1:9/");
        // Today just after midnight and now, yesterday just before midnight,
        // and ten days ago.
        m_home.AddRows(kAnime, {Midnight(0, 1), std::time(nullptr), Midnight(0, -1), Midnight(10)});
    }

    UpkeepCliHome m_home;
};

TEST_F(CliDelete, NothingChangesWithoutYesOffATerminalOrWhenTheAnswerIsNo) {
    m_home.AddTorrentFile("old.torrent", Midnight(3, 3600));

    testing_support::ProcessOptions piped;
    piped.input = "y\n";
    const auto refused = m_home.Run({"delete", "3,1", "--recent-days", "1"}, piped);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              "tessaro-cli: not deleting without --yes: standard input is not a terminal\n");

    ChildProcess no(m_home.Command({"delete", "3,1", "--recent-days", "1"}), true);
    ASSERT_TRUE(no.WaitFor("Do you want to delete the data? [y/N] ", 30s)) << no.Output();
    no.Write("n\n");
    EXPECT_EQ(no.Wait(30s), 1) << no.Output();
    EXPECT_EQ(m_home.Count(kAnime), 4);
    EXPECT_TRUE(m_home.HasTorrentFile("old.torrent"));
    EXPECT_EQ(m_home.RefreshDate(3, 1), "");

    ChildProcess yes(m_home.Command({"delete", "3,1", "--before-days", "1"}), true);
    ASSERT_TRUE(yes.WaitFor("[y/N] ", 30s)) << yes.Output();
    yes.Write("y\n");
    EXPECT_EQ(yes.Wait(30s), 0) << yes.Output();
    EXPECT_NE(yes.Output().find("3,1\t2\r\nfiles\t1\r\n"), std::string::npos) << yes.Output();
    EXPECT_EQ(m_home.Count(kAnime), 2);
    EXPECT_FALSE(m_home.HasTorrentFile("old.torrent"));
}

TEST_F(CliDelete, CommandsRemoveTheirRowsSetWrenBackAndPruneTheFolder) {
    m_home.AddRows(kComics, {std::time(nullptr)});
    m_home.AddTorrentFile("two-days.torrent", Midnight(2, 12 * 3600));
    m_home.AddTorrentFile("three-days.torrent", Midnight(3, 12 * 3600));
    m_home.AddTorrentFile("today.torrent", std::time(nullptr));

    const auto before = m_home.Run({"delete", "3", "--before-days", "3", "--yes"});
    ASSERT_EQ(before.exitCode, 0) << before.err;
    EXPECT_EQ(Lines(before.out), (std::vector<std::string>{"3,1\t1", "3,2\t0", "files\t1"}));
    EXPECT_FALSE(m_home.HasTorrentFile("three-days.torrent"));
    EXPECT_TRUE(m_home.HasTorrentFile("two-days.torrent"));
    EXPECT_EQ(m_home.RefreshDate(3, 1), "");

    const auto recent = m_home.Run({"delete", "3", "--recent-days", "1", "--yes"});
    ASSERT_EQ(recent.exitCode, 0) << recent.err;
    EXPECT_EQ(Lines(recent.out), (std::vector<std::string>{"3,1\t2", "3,2\t1", "files\t1"}));
    EXPECT_FALSE(m_home.HasTorrentFile("today.torrent"));
    EXPECT_TRUE(m_home.HasTorrentFile("two-days.torrent"));
    const std::string today = IniDate(OleDate::FromUnixTime(Midnight(0)));
    EXPECT_EQ(m_home.RefreshDate(3, 1), today);
    EXPECT_EQ(m_home.RefreshDate(3, 2), today);

    const auto clear = m_home.Run({"delete", "0", "--clear", "--yes"});
    ASSERT_EQ(clear.exitCode, 0) << clear.err;
    const auto lines = Lines(clear.out);
    ASSERT_GT(lines.size(), 3u);
    EXPECT_EQ(lines[0], "1,1\t0");
    EXPECT_EQ(lines.back(), "files\t1");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "3,1\t1"), lines.end());
    EXPECT_EQ(m_home.Count(kAnime), 0);
    EXPECT_FALSE(m_home.HasTorrentFile("two-days.torrent"));
    EXPECT_EQ(m_home.RefreshDate(3, 1), IniDate(OleDate::LocalEpoch()));

    const auto badDay = m_home.Run({"delete", "3", "--after-date", "2024-02-30", "--yes"});
    EXPECT_EQ(badDay.exitCode, 2);
    const auto twoCommands = m_home.Run({"delete", "3", "--clear", "--before-days", "2", "--yes"});
    EXPECT_EQ(twoCommands.exitCode, 2);
}

TEST(CliSites, PrintsTheNonEmptyEntriesInKeyOrder) {
    UpkeepCliHome home;
    home.Init("http://127.0.0.1:9/");
    std::ofstream(home.Registry(), std::ios::app)
        << "\n[PublishSites]\ncount=3\n0=Heron|http://heron.example/\n2=Wren|http://wren/|x\n";
    const auto sites = home.Run({"sites"});
    ASSERT_EQ(sites.exitCode, 0) << sites.err;
    EXPECT_EQ(sites.out, "Heron\thttp://heron.example/\nWren\thttp://wren/\n");

    std::filesystem::remove(home.Registry());
    const auto missing = home.Run({"sites"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("no plug-in registry at " + home.Registry()), std::string::npos);
}

}  // namespace
