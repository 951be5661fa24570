// tessaro-cli end to end: a home laid out by init, wren.so refreshing two
// leaves from a fixture site, and the catalogue read back with list.
#include <gtest/gtest.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "cli_home.h"
#include "fixture_server.h"
#include "wren_pages.h"

namespace {

using cli_test::CliHome;
using testing_support::FixtureReply;
using testing_support::FixtureServer;
using testing_support::Lines;

struct ServedRow {
    wren_pages::Row row;
    std::string date;  // as list prints it
};

// Rows dated `count` minutes apart going back from yesterday noon, so the
// year the site leaves out is inferred as the current one or the last.
std::vector<ServedRow> MakeRows(int firstId, int count, int startMinutesBack) {
    std::vector<ServedRow> rows;
    const time_t noonYesterday = std::time(nullptr) - 24 * 3600;
    for (int i = 0; i < count; ++i) {
        time_t when = noonYesterday - (startMinutesBack + i * 7) * 60;
        std::tm local{};
        localtime_r(&when, &local);
        ServedRow served;
        served.row.month = local.tm_mon + 1;
        served.row.day = local.tm_mday;
        served.row.hour = local.tm_hour;
        served.row.minute = local.tm_min;
        served.row.id = firstId + i;
        served.row.title = "动画第" + std::to_string(firstId + i) + "集 [简体]";
        served.row.comment = "字幕组 " + std::to_string(firstId + i);
        served.row.size = std::to_string(100 + i) + ".5MB";
        served.row.seeds = 10 + i;
        served.row.peers = i;
        char date[80];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:00", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
        served.date = date;
        rows.push_back(served);
    }
    return rows;
}

std::vector<wren_pages::Row> Plain(const std::vector<ServedRow>& rows) {
    std::vector<wren_pages::Row> plain;
    for (const auto& served : rows) {
        plain.push_back(served.row);
    }
    return plain;
}

class CliCatalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        base_ = server_.Url("/");
        home_.Init({{"wren.so", base_}});
    }

    // Serves `pages` for the wren category `cateId`; later pages answer 404,
    // which ends the run.
    void Serve(int cateId, const std::vector<std::vector<ServedRow>>& pages) {
        for (size_t page = 0; page < pages.size(); ++page) {
            FixtureReply reply;
            reply.body = wren_pages::Page(base_, Plain(pages[page]));
            server_.Route("/index.php?cateId=" + std::to_string(cateId) +
                              "&page=" + std::to_string(page + 1) + "&order=default&by=DESC",
                          reply);
        }
    }

    FixtureServer server_;
    std::string base_;
    CliHome home_;
};

TEST_F(CliCatalogue, RefreshStoresExactlyTheServedRowsAndASecondRefreshNothing) {
    const auto films1 = MakeRows(100, 20, 0);
    const auto films2 = MakeRows(200, 20, 20 * 7);
    const auto comics = MakeRows(300, 5, 3);
    Serve(1, {films1, films2});
    Serve(2, {comics});

    const auto tree = home_.Run({"tree"});
    ASSERT_EQ(tree.exitCode, 0) << tree.err;
    EXPECT_EQ(Lines(tree.out)[0], "0,0\tAll Sites\t0");

    const auto refresh = home_.Run({"refresh", "3", "--poll-ms", "20"});
    ASSERT_EQ(refresh.exitCode, 0) << refresh.err;
    EXPECT_EQ(Lines(refresh.out), (std::vector<std::string>{"3,1\t40", "3,2\t5", "total\t45"}))
        << refresh.err;

    const auto list = home_.Run({"list", "3,1", "--json", "--limit", "1000"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const auto lines = Lines(list.out);
    ASSERT_EQ(lines.size(), 40u);
    std::vector<ServedRow> expected = films1;
    expected.insert(expected.end(), films2.begin(), films2.end());
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const auto row = nlohmann::json::parse(lines[i]);
        const wren_pages::Row& served = expected[i].row;
        const std::string id = std::to_string(served.id);
        EXPECT_EQ(row["AddDate"], expected[i].date);
        EXPECT_EQ(row["RefreshDate"], expected[i].date);
        EXPECT_EQ(row["Name"], "[wren]" + served.title);
        EXPECT_EQ(row["Comment"], served.comment);
        EXPECT_EQ(row["Addr0"], base_ + "download.php?id=" + id);
        EXPECT_EQ(row["WebAddr"], base_ + "show.php?id=" + id);
        EXPECT_EQ(row["Size"], served.size);
        EXPECT_EQ(row["Seeds"], served.seeds);
        EXPECT_EQ(row["Peers"], served.peers);
        EXPECT_EQ(row["Type"], 3 * 256 + 1);
        EXPECT_EQ(row["DllID"], 0);
        EXPECT_EQ(row["table"], "anime_animation");
        EXPECT_GT(row["rowid"].get<int64_t>(), 0);
    }

    const auto again = home_.Run({"refresh", "3,1", "3,2", "--poll-ms", "20"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Lines(again.out), (std::vector<std::string>{"3,1\t0", "3,2\t0", "total\t0"}));

    const auto category = home_.Run({"list", "3", "--json", "--offset", "3", "--limit", "4"});
    ASSERT_EQ(category.exitCode, 0) << category.err;
    ASSERT_EQ(Lines(category.out).size(), 4u);

    const auto counts = home_.Run({"tree"});
    EXPECT_EQ(Lines(counts.out)[0], "0,0\tAll Sites\t45");
}

TEST_F(CliCatalogue, BadNodesAndMissingHomesFailWithOneLine) {
    const auto unknown = home_.Run({"list", "9,9"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(Lines(unknown.err).size(), 1u);

    const auto malformed = home_.Run({"refresh", "three"});
    EXPECT_EQ(malformed.exitCode, 1);

    const auto usage = home_.Run({"list"});
    EXPECT_EQ(usage.exitCode, 2);

    const auto noHome =
        testing_support::RunProcess({TESSARO_CLI_PATH, "--home", home_.Path() + "absent", "tree"});
    EXPECT_EQ(noHome.exitCode, 1);
    EXPECT_NE(noHome.err.find("init"), std::string::npos);
}

TEST(CliOptions, EveryBadValueIsAnsweredInWordsOnOneLine) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"list", "1", "--limit", "abc"}, "--limit wants a whole number from 1 to 1000000"},
        {{"list", "1", "--limit", "1.5"}, "--limit wants a whole number from 1 to 1000000"},
        {{"list", "1", "--limit", "1000001"}, "--limit wants a whole number from 1 to 1000000"},
        {{"list", "1", "--offset", "-1"}, "--offset wants a whole number, 0 or more"},
        {{"list", "1", "--offset", "99999999999999999999"},
         "--offset wants a whole number, 0 or more"},
        {{"refresh", "all", "--poll-ms", "0"}, "--poll-ms wants a whole number from 1 to 60000"},
        {{"delete", "0", "--before-days", "x"},
         "--before-days wants a whole number from 1 to 36500"},
        {{"daemon", "--cycle", "abc"}, "--cycle wants a number of hours from 0.0001 to 8760"},
        {{"daemon", "--tick-ms", "1e3"}, "--tick-ms wants a whole number from 1 to 600000"},
        {{"search", "x", "--fetch", "2", "a"}, "--fetch wants a whole number, 0 or more"},
        {{},
         "a command is wanted: init, tree, plugins, list, refresh, delete, daemon, sites, "
         "search or fetch"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {TESSARO_CLI_PATH, "--home", "/nonexistent/"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto run = testing_support::RunProcess(argv);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "tessaro-cli: " + c.message + " (see --help)\n");
    }
}

TEST_F(CliCatalogue, ReadingCommandsLeaveTheSettingsByteForByte) {
    const std::string path = home_.Path() + "kernel/global.ini";
    {
        // A due advertising pane and a damaged value: neither is the
        // command line's to write.
        std::ofstream config(path, std::ios::app);
        config << "\n[SysCfg]\nShowADTime=0\nMaxDownTasks=99\n";
    }
    const auto read = [&] {
        std::ifstream config(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(config)), {});
    };
    const std::string before = read();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"tree"}, {"list", "3,1"}, {"list", "3", "--offset", "2"}, {"plugins"}, {"sites"}}) {
        const auto run = home_.Run(args);
        EXPECT_EQ(run.exitCode, 0) << args[0] << ": " << run.err;
        EXPECT_EQ(read(), before) << args[0];
    }
}

TEST_F(CliCatalogue, AnUnreadableRegistryFailsTheCommandsThatNeedPlugins) {
    const std::string registry = home_.Path() + "kernel/dllmgr.ini";
    std::filesystem::remove(registry);
    std::filesystem::create_directory(registry);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"plugins"}, {"refresh", "3,1"}, {"search", "x", "--sites"}, {"fetch", "3,1", "1"}}) {
        const auto run = home_.Run(args);
        EXPECT_EQ(run.exitCode, 1) << args[0];
        EXPECT_EQ(Lines(run.err),
                  std::vector<std::string>{"tessaro-cli: the plug-in registry is unreadable: "
                                           "cannot read " +
                                           registry + ": not a regular file"})
            << args[0];
    }
    EXPECT_EQ(home_.Run({"list", "3,1"}).exitCode, 0);  // the catalogue needs no plug-in
}

TEST_F(CliCatalogue, InitIsIdempotentAndKeepsUserFiles) {
    {
        std::ofstream config(home_.Path() + "kernel/global.ini", std::ios::app);
        config << "\n[SysCfg]\nMaxDownTasks=7\n";
    }
    const auto again = home_.Run({"init"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out.find("created"), std::string::npos) << again.out;
    std::ifstream config(home_.Path() + "kernel/global.ini");
    const std::string text((std::istreambuf_iterator<char>(config)), {});
    EXPECT_NE(text.find("MaxDownTasks=7"), std::string::npos);
}

}  // namespace
