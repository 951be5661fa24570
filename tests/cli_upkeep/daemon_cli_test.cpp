// tessaro-cli daemon end to end against a wren fixture site: two complete
// update cycles, one refresher per home, and a clean stop on SIGTERM in the
// middle of a leaf in the third.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "child_process.h"
#include "fixture_server.h"
#include "upkeep_cli_home.h"
#include "wren_pages.h"

namespace {

using cli_upkeep::ChildProcess;
using cli_upkeep::Listing;
using cli_upkeep::Row;
using cli_upkeep::RowAgo;
using testing_support::FixtureReply;
using namespace std::chrono_literals;

constexpr char kAnime[] = "anime_animation";

TEST(CliDaemon, RefreshesEveryCycleHoldsTheHomeAndStopsCleanlyMidLeaf) {
    testing_support::FixtureServer server;
    const std::string base = server.Url("/");
    cli_upkeep::UpkeepCliHome home(base);
    auto serve = [&](int cateId, int page, const std::vector<Row>& rows, bool hang = false) {
        FixtureReply reply;
        std::vector<wren_pages::Row> plain;
        for (const Row& row : rows) {
            plain.push_back(row.row);
        }
        reply.body = wren_pages::Page(base, plain);
        reply.stallAfterBytes = hang ? 0 : -1;
        server.Route(Listing(cateId, page), reply);
    };
    FixtureReply ping;
    ping.body = "up";
    server.Route("/ping", ping);
    std::vector<Row> anime = {RowAgo(11, 0), RowAgo(12, 10), RowAgo(13, 20)};
    serve(1, 1, anime);
    serve(2, 1, {RowAgo(21, 5), RowAgo(22, 15)});

    // A cycle of 3.6 seconds.
    ChildProcess daemon(home.Command({"daemon", "--cycle", "0.001", "--tick-ms", "50", "--poll-ms",
                                      "20", "--test-url", server.Url("/ping")}));
    ASSERT_TRUE(daemon.WaitFor("update finished", 60s)) << daemon.Output();
    EXPECT_NE(daemon.Output().find("refreshed 3,0 Animation: 5 new rows"), std::string::npos)
        << daemon.Output();

    const auto second = home.Run({"daemon", "--cycle", "1"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.err, "tessaro-cli: another Tessaro (process " + std::to_string(daemon.Pid()) +
                              ") is already refreshing " + home.Path() + "\n");
    EXPECT_EQ(home.Run({"delete", "3", "--clear", "--yes"}).exitCode, 1);

    anime.insert(anime.begin(), RowAgo(14, -30));
    serve(1, 1, anime);
    ASSERT_TRUE(daemon.WaitFor("update finished", 60s, 2)) << daemon.Output();
    EXPECT_NE(daemon.Output().find("refreshed 3,0 Animation: 1 new rows"), std::string::npos)
        << daemon.Output();
    EXPECT_EQ(home.Count(kAnime), 4);

    // The third cycle hangs on page 2 after page 1 brought a new row.
    anime.insert(anime.begin(), RowAgo(15, -60));
    serve(1, 1, anime);
    serve(1, 2, {RowAgo(16, 100)}, true);
    // The second cycle asked for page 2 too, and was answered 404.
    auto pageTwoRequests = [&] {
        const auto targets = server.Targets();
        return std::count(targets.begin(), targets.end(), Listing(1, 2));
    };
    const auto before = pageTwoRequests();
    auto asked = [&] { return pageTwoRequests() > before; };
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!asked() && std::chrono::steady_clock::now() < deadline) {
        daemon.WaitFor("\n", 20ms, SIZE_MAX);
    }
    ASSERT_TRUE(asked()) << daemon.Output();
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(30s), 0) << daemon.Output();
    EXPECT_NE(daemon.Output().find("left unfinished: 3,0 Animation"), std::string::npos);
    EXPECT_NE(daemon.Output().find("\tstopped\r\n"), std::string::npos) << daemon.Output();
    // Page 1's new row is stored, but wren still stands at the second
    // cycle's newest row, so the unfinished slot is fetched again.
    EXPECT_EQ(home.Count(kAnime), 5);
    EXPECT_EQ(home.RefreshDate(3, 1), cli_upkeep::IniDate(anime[1].date));
    const auto targets = server.Targets();
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/ping"), 1);

    // --cycle belongs to this run: the user's settings stay; the start of
    // the last update is saved.
    CIniFile global(home.Path() + "kernel/global.ini");
    EXPECT_EQ(global.GetInt64("UpdateData", "Cycle", 1), 1);
    EXPECT_EQ(global.GetInt64("UpdateData", "Auto", 0), 0);
    EXPECT_GT(global.GetInt64("UpdateData", "RefreshTm", 0), std::time(nullptr) - 60);
}

}  // namespace
