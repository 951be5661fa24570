// tessaro-cli daemon end to end against a wren fixture site: two complete
// update cycles, one refresher per home, and a clean stop on SIGTERM in the
// middle of a leaf.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "child_process.h"
#include "fixture_server.h"
#include "upkeep_cli_home.h"
#include "wren_pages.h"

namespace {

using cli_upkeep::ChildProcess;
using cli_upkeep::UpkeepCliHome;
using testing_support::FixtureReply;
using testing_support::FixtureServer;
using namespace std::chrono_literals;

constexpr char kAnime[] = "anime_animation";
constexpr char kComics[] = "anime_comics";

// A row added `minutesAgo` minutes before yesterday noon, so the year the
// site leaves out is always inferred right.
wren_pages::Row RowAgo(int id, int minutesAgo) {
    const time_t when = std::time(nullptr) - 24 * 3600 - minutesAgo * 60;
    std::tm local{};
    localtime_r(&when, &local);
    wren_pages::Row row;
    row.month = local.tm_mon + 1;
    row.day = local.tm_mday;
    row.hour = local.tm_hour;
    row.minute = local.tm_min;
    row.id = id;
    row.title = "row " + std::to_string(id);
    return row;
}

std::string Listing(int cateId, int page) {
    return "/index.php?cateId=" + std::to_string(cateId) + "&page=" + std::to_string(page) +
           "&order=default&by=DESC";
}

class CliDaemon : public ::testing::Test {
  protected:
    void SetUp() override {
        m_base = m_server.Url("/");
        m_home.Init(m_base);
        FixtureReply ping;
        ping.body = "<html>up</html>";
        m_server.Route("/ping", ping);
    }

    void ServePage(int cateId, int page, const std::vector<wren_pages::Row>& rows) {
        FixtureReply reply;
        reply.body = wren_pages::Page(m_base, rows);
        m_server.Route(Listing(cateId, page), reply);
    }

    std::vector<std::string> Daemon(const std::string& cycleHours) const {
        return m_home.Command({"daemon", "--cycle", cycleHours, "--tick-ms", "50", "--poll-ms",
                               "20", "--test-url", m_server.Url("/ping")});
    }

    FixtureServer m_server;
    std::string m_base;
    UpkeepCliHome m_home;
};

TEST_F(CliDaemon, RefreshesEveryCycleAndOnlyOneRefresherHoldsTheHome) {
    ServePage(1, 1, {RowAgo(11, 0), RowAgo(12, 10), RowAgo(13, 20)});
    ServePage(2, 1, {RowAgo(21, 5), RowAgo(22, 15)});

    // A cycle of 3.6 seconds.
    ChildProcess daemon(Daemon("0.001"));
    ASSERT_TRUE(daemon.Started());
    ASSERT_TRUE(daemon.WaitFor("update finished", 60s)) << daemon.Output();
    EXPECT_NE(daemon.Output().find("refreshed 3,0 Animation: 5 new rows"), std::string::npos)
        << daemon.Output();
    EXPECT_EQ(m_home.Count(kAnime), 3);
    EXPECT_EQ(m_home.Count(kComics), 2);

    const auto second = m_home.Run({"daemon", "--cycle", "1"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.err,
              "tessaro-cli: another Tessaro is already refreshing " + m_home.Path() + "\n");
    const auto clear = m_home.Run({"delete", "3", "--clear", "--yes"});
    EXPECT_EQ(clear.exitCode, 1);
    EXPECT_EQ(m_home.Count(kAnime), 3);

    ServePage(1, 1, {RowAgo(14, -30), RowAgo(11, 0), RowAgo(12, 10), RowAgo(13, 20)});
    ASSERT_TRUE(daemon.WaitFor("update finished", 60s, 2)) << daemon.Output();
    EXPECT_NE(daemon.Output().find("refreshed 3,0 Animation: 1 new rows"), std::string::npos)
        << daemon.Output();
    EXPECT_EQ(m_home.Count(kAnime), 4);
    // The connection is tested once per run.
    size_t tests = 0;
    for (const auto& request : m_server.Targets()) {
        tests += request == "/ping";
    }
    EXPECT_EQ(tests, 1u);

    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(30s), 0) << daemon.Output();
    EXPECT_NE(daemon.Output().find("\tstopped\n"), std::string::npos) << daemon.Output();
}

TEST_F(CliDaemon, ASigtermInTheMiddleOfALeafAdvancesNoRefreshDate) {
    const std::vector<wren_pages::Row> first = {RowAgo(31, 0), RowAgo(32, 10), RowAgo(33, 20)};
    ServePage(1, 1, first);
    FixtureReply hung;
    hung.body = wren_pages::Page(m_base, {RowAgo(34, 30)});
    hung.stallAfterBytes = 0;
    m_server.Route(Listing(1, 2), hung);

    ChildProcess daemon(Daemon("1"));
    ASSERT_TRUE(daemon.WaitFor("refreshing 3,0 Animation", 60s)) << daemon.Output();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    auto asked = [&] {
        const auto targets = m_server.Targets();
        return std::find(targets.begin(), targets.end(), Listing(1, 2)) != targets.end();
    };
    while (!asked() && std::chrono::steady_clock::now() < deadline) {
        daemon.WaitFor("never printed", 10ms);
    }
    ASSERT_TRUE(asked()) << daemon.Output();

    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(30s), 0) << daemon.Output();
    EXPECT_NE(daemon.Output().find("left unfinished: 3,0 Animation"), std::string::npos)
        << daemon.Output();
    // The first page's rows are stored; wren still stands before them, so
    // the next refresh fetches the unfinished slot again.
    EXPECT_EQ(m_home.Count(kAnime), 3);
    const std::string date = m_home.RefreshDate(3, 1);
    if (!date.empty()) {
        EXPECT_LT(std::stod(date), OleDate::FromFields(2000, 1, 1).m_dt) << date;
    }

    // --cycle is this run's own: the user's settings stay; the start time
    // of the update is saved.
    CIniFile global(m_home.Path() + "kernel/global.ini");
    EXPECT_EQ(global.GetInt64("UpdateData", "Cycle", 1), 1);
    EXPECT_EQ(global.GetInt64("UpdateData", "Auto", 0), 0);
    EXPECT_GT(global.GetInt64("UpdateData", "RefreshTm", 0), 0);
}

}  // namespace
