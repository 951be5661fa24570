// tessaro-cli delete and sites end to end: the confirmation, the rows each
// command removes, the dates wren.so is set back to and the torrent files
// pruned.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <ctime>

#include "child_process.h"
#include "upkeep_cli_home.h"

namespace {

using cli_upkeep::ChildProcess;
using cli_upkeep::IniDate;
using cli_upkeep::Midnight;
using testing_support::Lines;
using namespace std::chrono_literals;

constexpr char kAnime[] = "anime_animation";

TEST(CliDelete, AsksOnATerminalOnlyAndThenDeletesPrunesAndSetsWrenBack) {
    cli_upkeep::UpkeepCliHome home("http://127.0.0.1:9/");
    // Today just after midnight and now, yesterday just before midnight, and
    // ten days ago.
    home.AddRows(kAnime, {Midnight(0, 1), std::time(nullptr), Midnight(0, -1), Midnight(10)});
    home.AddRows("anime_comics", {std::time(nullptr)});
    // Files age in whole periods of 86,400 s, whatever the time of day.
    home.AddTorrentFile("two-days.torrent", std::time(nullptr) - 2 * 86400 - 3600);
    home.AddTorrentFile("three-days.torrent", std::time(nullptr) - 3 * 86400 - 3600);
    home.AddTorrentFile("today.torrent", std::time(nullptr));

    testing_support::ProcessOptions piped;
    piped.input = "y\n";
    const auto refused = home.Run({"delete", "3", "--recent-days", "1"}, piped);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              "tessaro-cli: not deleting without --yes: standard input is not a terminal\n");
    ChildProcess no(home.Command({"delete", "3", "--recent-days", "1"}));
    ASSERT_TRUE(no.WaitFor("Do you want to delete the data? [y/N] ", 30s)) << no.Output();
    no.Write("n\n");
    EXPECT_EQ(no.Wait(30s), 1) << no.Output();
    EXPECT_EQ(home.Count(kAnime), 4);
    EXPECT_TRUE(home.HasTorrentFile("today.torrent"));
    EXPECT_EQ(home.RefreshDate(3, 1), "");

    ChildProcess yes(home.Command({"delete", "3", "--before-days", "3"}));
    ASSERT_TRUE(yes.WaitFor("[y/N] ", 30s)) << yes.Output();
    yes.Write("y\n");
    EXPECT_EQ(yes.Wait(30s), 0) << yes.Output();
    EXPECT_NE(yes.Output().find("3,1\t1\r\n3,2\t0\r\nfiles\t1\r\n"), std::string::npos)
        << yes.Output();
    EXPECT_FALSE(home.HasTorrentFile("three-days.torrent"));
    EXPECT_TRUE(home.HasTorrentFile("two-days.torrent"));

    // Before 1 day keeps today's rows; in 1 day lately deletes exactly them.
    const auto before = home.Run({"delete", "3,1", "--before-days", "1", "--yes"});
    EXPECT_EQ(Lines(before.out), (std::vector<std::string>{"3,1\t1", "files\t1"})) << before.err;
    EXPECT_EQ(home.Count(kAnime), 2);
    EXPECT_TRUE(home.HasTorrentFile("today.torrent"));
    EXPECT_EQ(home.RefreshDate(3, 1), "");
    const auto recent = home.Run({"delete", "3", "--recent-days", "1", "--yes"});
    EXPECT_EQ(Lines(recent.out), (std::vector<std::string>{"3,1\t2", "3,2\t1", "files\t1"}))
        << recent.err;
    EXPECT_EQ(home.Count(kAnime), 0);
    EXPECT_FALSE(home.HasTorrentFile("today.torrent"));
    EXPECT_EQ(home.RefreshDate(3, 1), IniDate(OleDate::FromUnixTime(Midnight(0))));
    EXPECT_EQ(home.RefreshDate(3, 2), IniDate(OleDate::FromUnixTime(Midnight(0))));
    const std::string setBack = home.RefreshDate(3, 1);

    // While another process holds the catalogue's write lock the clear
    // fails, and wren must not be set back over rows that are still there:
    // the next refresh would append a second copy of each.
    home.AddRows(kAnime, {std::time(nullptr)});
    home.AddTorrentFile("fresh.torrent", std::time(nullptr));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((home.Path() + "kernel/websdata.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto locked = home.Run({"delete", "3,1", "--clear", "--yes"});
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_EQ(Lines(locked.out), (std::vector<std::string>{"3,1\tfailed", "files\t1"}));
    EXPECT_FALSE(home.HasTorrentFile("fresh.torrent"));
    // Compared with the date as it stood: the wait for the lock may cross
    // local midnight.
    EXPECT_EQ(home.RefreshDate(3, 1), setBack);

    const auto clear = home.Run({"delete", "0", "--clear", "--yes"});
    const auto lines = Lines(clear.out);
    ASSERT_GT(lines.size(), 3u) << clear.err;
    EXPECT_EQ(lines.front(), "1,1\t0");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "3,1\t1"), lines.end());
    EXPECT_EQ(lines.back(), "files\t0");
    EXPECT_EQ(home.Count(kAnime), 0);
    EXPECT_EQ(home.RefreshDate(3, 1), IniDate(OleDate::LocalEpoch()));

    EXPECT_EQ(home.Run({"delete", "3", "--after-date", "2024-02-30", "--yes"}).exitCode, 2);
    EXPECT_EQ(home.Run({"delete", "3", "--clear", "--before-days", "2", "--yes"}).exitCode, 2);
}

// Key 1 is missing; the damaged count must not make it walk every key.
TEST(CliSites, PrintsTheNonEmptyEntriesInKeyOrder) {
    cli_upkeep::UpkeepCliHome home("http://127.0.0.1:9/");
    std::ofstream(home.Path() + "kernel/dllmgr.ini", std::ios::app)
        << "\n[PublishSites]\ncount=9000000000000\n0=Heron|http://heron/\n2=Wren|http://wren/|x\n";
    const auto sites = home.Run({"sites"});
    EXPECT_EQ(sites.out, "Heron\thttp://heron/\nWren\thttp://wren/\n") << sites.err;
}

}  // namespace
