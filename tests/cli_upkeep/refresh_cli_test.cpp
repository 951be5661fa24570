// tessaro-cli refresh against a wren fixture site when things go wrong: a
// Ctrl-C in the middle of a leaf, a catalogue table that cannot be written,
// a site that fails its pages, and a listed plug-in that cannot be loaded.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "child_process.h"
#include "fixture_server.h"
#include "upkeep_cli_home.h"

namespace {

using cli_upkeep::Listing;
using cli_upkeep::Row;
using cli_upkeep::RowAgo;
using testing_support::FixtureReply;
using testing_support::Lines;
using namespace std::chrono_literals;

constexpr char kAnime[] = "anime_animation";

class CliRefresh : public ::testing::Test {
  protected:
    // Page `page` of wren's category 1 (the leaf 3,1); a hung page sends
    // nothing and never ends.
    void Serve(int page, const std::vector<Row>& rows, bool hang = false) {
        FixtureReply reply;
        std::vector<wren_pages::Row> plain;
        for (const Row& row : rows) {
            plain.push_back(row.row);
        }
        reply.body = wren_pages::Page(base_, plain);
        reply.stallAfterBytes = hang ? 0 : -1;
        server_.Route(Listing(1, page), reply);
    }
    void Sql(const std::string& sql) const {
        sqlite3* pDb = nullptr;
        ASSERT_EQ(sqlite3_open((home_.Path() + "kernel/websdata.db").c_str(), &pDb), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(pDb, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(pDb);
        sqlite3_close(pDb);
    }

    testing_support::FixtureServer server_;
    std::string base_ = server_.Url("/");
    cli_upkeep::UpkeepCliHome home_{base_};
    std::vector<Row> page1_ = {RowAgo(1, 0), RowAgo(2, 10), RowAgo(3, 20)};
    std::vector<Row> page2_ = {RowAgo(4, 30), RowAgo(5, 40)};
};

TEST_F(CliRefresh, CtrlCStopsCleanlyAndTheNextRunAddsOnlyWhatIsNew) {
    Serve(1, page1_);
    Serve(2, page2_, true);
    cli_upkeep::ChildProcess refresh(home_.Command({"refresh", "3,1", "--poll-ms", "20"}));
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    const auto asked = [&] {
        const auto targets = server_.Targets();
        return std::count(targets.begin(), targets.end(), Listing(1, 2)) > 0;
    };
    while (!asked() && std::chrono::steady_clock::now() < deadline) {
        refresh.WaitFor("\n", 20ms, SIZE_MAX);
    }
    ASSERT_TRUE(asked()) << refresh.Output();
    refresh.Signal(SIGINT);
    EXPECT_EQ(refresh.Wait(30s), 130) << refresh.Output();
    EXPECT_NE(refresh.Output().find("interrupted: 3,1"), std::string::npos) << refresh.Output();
    EXPECT_EQ(home_.Count(kAnime), 3);

    // The slot kept its date, so page 1 comes again: its rows are not
    // stored twice.
    Serve(2, page2_);
    const auto again = home_.Run({"refresh", "3,1", "--poll-ms", "20"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Lines(again.out), (std::vector<std::string>{"3,1\t2", "total\t2"}));
    EXPECT_EQ(home_.Count(kAnime), 5);
}

TEST_F(CliRefresh, RowsTheCatalogueRefusesAreFetchedAgain) {
    Serve(1, page1_);
    Sql("ALTER TABLE anime_animation RENAME TO set_aside");
    const auto failed = home_.Run({"refresh", "3,1", "--poll-ms", "20"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("3,1 Animation: rows not stored"), std::string::npos) << failed.err;
    EXPECT_NE(failed.err.find("anime_animation"), std::string::npos) << failed.err;
    EXPECT_EQ(home_.RefreshDate(3, 1), cli_upkeep::IniDate(OleDate::LocalEpoch()));

    Sql("ALTER TABLE set_aside RENAME TO anime_animation");
    const auto again = home_.Run({"refresh", "3,1", "--poll-ms", "20"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(home_.Count(kAnime), 3);
    EXPECT_EQ(home_.RefreshDate(3, 1), cli_upkeep::IniDate(page1_[0].date));
}

TEST_F(CliRefresh, SitesThatCannotTakePartAreReportedPerLeafAndRemembered) {
    Serve(1, page1_);
    FixtureReply empty;
    empty.body = wren_pages::Page(base_, {});
    server_.Route(Listing(2, 1), empty);
    std::ofstream(home_.Path() + "kernel/dllmgr.ini", std::ios::trunc)
        << "[DLL]\ncount=2\n0=wren.so\n1=gone.so\n\n[Site_wren.so]\nBase=" << base_ << "\n";
    const auto refresh = home_.Run({"refresh", "3,1", "3,2", "--poll-ms", "20", "--json"});
    EXPECT_EQ(refresh.exitCode, 3) << refresh.err;
    const auto lines = Lines(refresh.out);
    ASSERT_EQ(lines.size(), 3u) << refresh.out;
    const auto leaf = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(leaf["node"], "3,1");
    EXPECT_EQ(leaf["rows"], 3);
    EXPECT_EQ(leaf["stored"], true);
    ASSERT_EQ(leaf["failures"].size(), 1u);
    EXPECT_EQ(leaf["failures"][0]["site"], "gone.so");
    EXPECT_EQ(nlohmann::json::parse(lines[2])["total"], 3);
    size_t failureLines = 0;
    for (const std::string& line : Lines(refresh.err)) {
        failureLines += line.find(": gone.so: ") != std::string::npos;
    }
    EXPECT_EQ(failureLines, 2u) << refresh.err;

    const auto plugins = home_.Run({"plugins"});
    ASSERT_EQ(plugins.exitCode, 0) << plugins.err;
    const auto listed = Lines(plugins.out);
    ASSERT_EQ(listed.size(), 2u);
    const auto column = [](const std::string& line, size_t n) {
        size_t start = 0;
        for (size_t i = 0; i < n; ++i) {
            start = line.find('\t', start) + 1;
        }
        return line.substr(start, line.find('\t', start) - start);
    };
    EXPECT_NE(column(listed[0], 4), "never");
    EXPECT_EQ(column(listed[0], 5), "3");
    EXPECT_EQ(column(listed[0], 6), "-");
    EXPECT_EQ(column(listed[1], 5), "0");
    EXPECT_NE(column(listed[1], 6).find("gone.so"), std::string::npos) << listed[1];
}

// A failed site is not "nothing new": the page's address and the reason
// reach stderr, --json and the refresh log, and the exit status says so.
TEST_F(CliRefresh, FailedSitePagesAreToldApartFromNothingNew) {
    FixtureReply serverError;
    serverError.status = 500;
    server_.Route(Listing(1, 1), serverError);
    const auto refused = home_.Run({"refresh", "3,1", "--poll-ms", "20", "--json"});
    EXPECT_EQ(refused.exitCode, 3) << refused.err;
    const auto leaf = nlohmann::json::parse(Lines(refused.out).at(0));
    ASSERT_EQ(leaf["failures"].size(), 1u) << refused.out;
    EXPECT_EQ(leaf["failures"][0]["site"], "wren.so");
    EXPECT_NE(leaf["failures"][0]["reason"].get<std::string>().find(base_), std::string::npos);
    EXPECT_NE(refused.err.find("HTTP status 500"), std::string::npos) << refused.err;
    EXPECT_NE(home_.Run({"plugins"}).out.find("HTTP status 500"), std::string::npos);

    // The same leaf against a port nobody listens on.
    const std::string closed = base_;
    server_.Stop();
    const auto unreachable = home_.Run({"refresh", "3,1", "--poll-ms", "20"});
    EXPECT_EQ(unreachable.exitCode, 3) << unreachable.err;
    EXPECT_NE(unreachable.err.find("3,1 Animation: wren.so: " + closed), std::string::npos)
        << unreachable.err;
}

}  // namespace
