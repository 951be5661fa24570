// tessaro-cli search and fetch, run as a child process against a temporary
// home whose plug-ins follow a script.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "global_config.h"
#include "run_process.h"
#include "task_home.h"

namespace {

using Lines = std::vector<std::string>;
using testing_support::ProcessResult;

class CliSearchTest : public ::testing::Test {
  protected:
    // One download at a time.
    CliSearchTest() : home(2, 1) {
        home.WriteScript(0, R"({"searchBatches": [
            [{"Name": "p0 one", "Addr0": "polls:1#one"}],
            [{"Name": "p0 gone", "Addr0": "polls:0#gone:fail"}]]})");
        home.WriteScript(1, R"({"searchBatches": [[{"Name": "p1 one", "Addr0": "polls:0#p1"}]]})");
    }

    // Stores the rows in leaf (nCategory, nLeaf); answers their row ids.
    std::vector<int64_t> Store(size_t nCategory, size_t nLeaf, const TorrentRecordArray& rows) {
        CGlobalConfig config(home.GlobalIni());
        CTorrentTable& table = config.GetRoot().GetChild(nCategory)->GetChild(nLeaf)->m_Table;
        EXPECT_TRUE(table.InsertBatch(rows));
        std::vector<int64_t> ids;
        TorrentRecord record;
        for (bool bRead = table.MoveFirst(); bRead && table.ReadNext(record);) {
            ids.push_back(record.Bookmark.nRowId);
        }
        std::sort(ids.begin(), ids.end());
        return {ids.end() - static_cast<std::ptrdiff_t>(rows.size()), ids.end()};
    }

    ProcessResult RunCli(std::vector<std::string> args,
                         std::vector<std::pair<std::string, std::string>> environment = {}) {
        args.insert(args.begin(), {TESSARO_CLI_PATH, "--home", home.Dir()});
        args.insert(args.end(), {"--poll-ms", "5"});
        testing_support::ProcessOptions options;
        options.environment = std::move(environment);
        return testing_support::RunProcess(args, options);
    }

    TaskHome home;
};

TEST_F(CliSearchTest, SearchPrintsLocalMatchesFirstThenSiteResultsAndKeepsTheHistory) {
    Store(1, 2, {MakeEntry("two one", "local:2", 0x0102)});
    Store(1, 1, {MakeEntry("One", "local:1", 0x0101), MakeEntry("other", "x", 0x101)});

    ProcessResult result = RunCli({"search", "  one "});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(
        testing_support::Lines(result.out),
        (Lines{"0\tlocal\t0\t2024-03-01 12:00:00\tOne", "1\tlocal\t0\t2024-03-01 12:00:00\ttwo one",
               "2\tsite\t0\t2024-01-01 00:00:00\tp0 one", "3\tsite\t1\t2024-01-01 00:00:00\tp1 one",
               "4\tsite\t0\t2024-01-01 00:00:00\tp0 gone"}));
    EXPECT_NE(result.err.find("search\t100%"), std::string::npos) << result.err;

    result = RunCli({"search", "other", "--local", "--json"});
    ASSERT_EQ(testing_support::Lines(result.out).size(), 1u) << result.out << result.err;
    const nlohmann::json row = nlohmann::json::parse(result.out);
    EXPECT_EQ(row["source"], "local");
    EXPECT_EQ(row["table"], "alpha_one");
    for (const char* field : {"AddDate", "Name", "Addr0", "Addr1", "Addr2", "Addr3", "WebAddr",
                              "Type", "Size", "RefreshDate", "Seeds", "Peers", "Comment",
                              "bCompleted", "FileName", "DownHd", "DllID", "number"}) {
        EXPECT_TRUE(row.contains(field)) << field;
    }

    result = RunCli({"search", "ONE", "--sites", "--fetch", "0", "2", "7"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(
        testing_support::Lines(result.out),
        (Lines{"0\tsite\t0\t2024-01-01 00:00:00\tp0 one", "1\tsite\t1\t2024-01-01 00:00:00\tp1 one",
               "2\tsite\t0\t2024-01-01 00:00:00\tp0 gone",
               "0\t" + home.Torrents() + "p0 one.torrent", "2\tfailed", "7\tfailed"}));

    result = RunCli({"search", " "});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Please input keyword"), std::string::npos) << result.err;
    std::vector<std::string> history;
    CGlobalConfig(home.GlobalIni()).LoadSearchList(history);
    EXPECT_EQ(history, (Lines{"ONE", "other"}));
}

TEST_F(CliSearchTest, FetchRecordsFileNamesInTheRowsAndOpensWithoutAShell) {
    std::vector<int64_t> ids = Store(
        1, 1,
        {MakeEntry("[p0] One", "polls:1", 0x0101), MakeEntry("it's $HOME; ls", "polls:0", 0x0101),
         MakeEntry("[p0] Gone", "polls:0:fail", 0x0101)});
    std::vector<std::string> args = {"fetch", "1,1"};
    for (int64_t nId : ids) {
        args.push_back(std::to_string(nId));
    }
    args.insert(args.end(), {"999", "x"});
    const std::string strOne = home.Torrents() + "[p0] One.torrent";
    const std::string strOdd = home.Torrents() + "it's $HOME; ls.torrent";

    ProcessResult result = RunCli(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(testing_support::Lines(result.out),
              (Lines{args[2] + "\t" + strOne, args[3] + "\t" + strOdd, args[4] + "\tfailed",
                     "999\tfailed", "x\tfailed"}));
    EXPECT_NE(result.err.find("no row 999 under node 1,1"), std::string::npos) << result.err;
    {
        CGlobalConfig config(home.GlobalIni());
        CTorrentTable& table = config.GetRoot().GetChild(1)->GetChild(1)->m_Table;
        TorrentRecord record;
        std::vector<std::string> names;
        for (bool bRead = table.MoveFirst(); bRead && table.ReadNext(record);) {
            names.push_back(record.FileName);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (Lines{"", "[p0] One", "it's $HOME; ls"}));
    }

    // A file already there is handed to the opener, as one argument, from
    // the torrents folder; a failing opener is reported.
    const std::string strBin = home.Dir() + "bin/";
    std::filesystem::create_directories(strBin);
    std::ofstream(strBin + "xdg-open") << "#!/bin/sh\nprintf '%s|%s\\n' \"$PWD\" \"$1\" >> "
                                       << home.Dir() << "opened.log\nexit \"$OPENER_EXIT\"\n";
    std::filesystem::permissions(strBin + "xdg-open", std::filesystem::perms::owner_all);
    const std::string strPath = strBin + ":" + std::getenv("PATH");
    result = RunCli({"fetch", "1", args[3], "--open"}, {{"PATH", strPath}, {"OPENER_EXIT", "0"}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(testing_support::Lines(result.out), Lines{args[3] + "\t" + strOdd});
    std::ifstream log(home.Dir() + "opened.log");
    std::string strLogged;
    std::getline(log, strLogged);
    EXPECT_EQ(strLogged, home.Torrents().substr(0, home.Torrents().size() - 1) + "|" + strOdd);
    result = RunCli({"fetch", "1", args[3], "--open"}, {{"PATH", strPath}, {"OPENER_EXIT", "3"}});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Maybe you still have not install BT client"), std::string::npos);

    // A row id that two leaves of the category hold is ambiguous.
    Store(1, 2, {MakeEntry("other", "polls:0#other", 0x0102)});
    result = RunCli({"fetch", "1", "1"});
    EXPECT_NE(result.err.find("row 1 is in several leaves (1,1, 1,2)"), std::string::npos)
        << result.err;
}

// A site's title reaches the terminal with its control characters escaped and
// the file name without them.
TEST_F(CliSearchTest, ControlCharactersReachNeitherTheTerminalNorFileNames) {
    const std::string strName = "bad\x1b[2J\r\ttitle\n\x7f\u009b end \xff";
    const std::string strShown = "bad\\x1b[2J\\r\\ttitle\\n\\x7f\\u009b end \\xff";
    const std::string strId =
        std::to_string(Store(1, 1, {MakeEntry(strName, "polls:0", 0x0101)})[0]);

    ProcessResult result =
        testing_support::RunProcess({TESSARO_CLI_PATH, "--home", home.Dir(), "list", "1,1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Lines listed = testing_support::Lines(result.out);
    ASSERT_EQ(listed.size(), 2u) << result.out;
    EXPECT_TRUE(listed[1].ends_with("  " + strShown)) << listed[1];

    result = RunCli({"search", "title", "--local"});
    EXPECT_EQ(testing_support::Lines(result.out),
              Lines{"0\tlocal\t0\t2024-03-01 12:00:00\t" + strShown});

    result = RunCli({"fetch", "1,1", strId});
    EXPECT_EQ(testing_support::Lines(result.out),
              Lines{strId + "\t" + home.Torrents() + "bad[2Jtitle end \\xff.torrent"});
}

}  // namespace
