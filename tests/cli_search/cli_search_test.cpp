// tessaro-cli search and fetch, run as a child process against a temporary
// home whose plug-ins follow a script and fetch their torrent files from a
// fixture server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "fixture_server.h"
#include "global_config.h"
#include "run_process.h"
#include "task_home.h"

namespace {

using testing_support::FixtureReply;
using testing_support::FixtureServer;
using testing_support::Lines;
using testing_support::ProcessResult;
using testing_support::RunProcess;

std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

FixtureReply TorrentReply(const std::string& strBody) {
    FixtureReply reply;
    reply.body = strBody;
    reply.contentType = "application/x-bittorrent";
    return reply;
}

class CliSearchTest : public ::testing::Test {
  protected:
    explicit CliSearchTest(int nMaxDownTasks = 2) : home(2, nMaxDownTasks) {
        server.Route("/t/one.torrent", TorrentReply("d3:onei1ee"));
        server.Route("/t/two.torrent", TorrentReply("d3:twoi2ee"));
        home.WriteScript(0, {{"searchBatches",
                              {{SiteRow("[p0] ubuntu one", "/t/one.torrent")},
                               {SiteRow("[p0] ubuntu missing", "/t/missing.torrent")}}}});
        home.WriteScript(1, {{"searchBatches", {{SiteRow("[p1] UBUNTU two", "/t/two.torrent")}}}});
    }

    nlohmann::json SiteRow(const std::string& strName, const std::string& strPath) const {
        return {{"Name", strName}, {"Addr0", server.Url(strPath)}, {"Size", "2GB"}};
    }

    // Rows stored in leaf (nCategory, nLeaf) as a refresh would store them;
    // answers their row ids in order.
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

    TorrentRecord Entry(const std::string& strName, const std::string& strPath, int32_t nType) {
        TorrentRecord record = MakeEntry(strName, server.Url(strPath), nType);
        record.DllID = 0;
        return record;
    }

    ProcessResult RunCli(std::vector<std::string> args,
                         std::vector<std::pair<std::string, std::string>> environment = {}) {
        args.insert(args.begin(), {TESSARO_CLI_PATH, "--home", home.Dir()});
        testing_support::ProcessOptions options;
        options.environment = std::move(environment);
        return RunProcess(args, options);
    }

    std::vector<std::string> History() {
        std::vector<std::string> history;
        CGlobalConfig(home.GlobalIni()).LoadSearchList(history);
        return history;
    }

    FixtureServer server;
    TaskHome home;
};

TEST_F(CliSearchTest, SearchPrintsLocalMatchesFirstThenSiteResultsAndKeepsTheHistory) {
    Store(1, 2, {MakeEntry("alpha two ubuntu", "local:2", 0x0102)});
    Store(1, 1,
          {MakeEntry("Ubuntu alpha one", "local:1", 0x0101), MakeEntry("debian", "x", 0x101)});

    ProcessResult result = RunCli({"search", "  ubuntu ", "--poll-ms", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{"0\tlocal\t0\t2024-03-01 12:00:00\tUbuntu alpha one",
                                        "1\tlocal\t0\t2024-03-01 12:00:00\talpha two ubuntu",
                                        "2\tsite\t0\t2024-01-01 00:00:00\t[p0] ubuntu one",
                                        "3\tsite\t1\t2024-01-01 00:00:00\t[p1] UBUNTU two",
                                        "4\tsite\t0\t2024-01-01 00:00:00\t[p0] ubuntu missing"}));
    EXPECT_NE(result.err.find("search\t100%"), std::string::npos) << result.err;

    result = RunCli({"search", "debian", "--local", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(Lines(result.out).size(), 1u) << result.out;
    const nlohmann::json local = nlohmann::json::parse(Lines(result.out)[0]);
    EXPECT_EQ(local["source"], "local");
    EXPECT_EQ(local["table"], "alpha_one");
    EXPECT_EQ(local["Type"], 0x0101);
    for (const char* field :
         {"AddDate", "Name", "Addr0", "Addr1", "Addr2", "Addr3", "WebAddr", "Size", "RefreshDate",
          "Seeds", "Peers", "Comment", "bCompleted", "FileName", "DownHd", "DllID", "number"}) {
        EXPECT_TRUE(local.contains(field)) << field;
    }

    result = RunCli({"search", "UBUNTU", "--sites", "--json", "--poll-ms", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::pair<std::string, int>> sites;
    for (const std::string& strLine : Lines(result.out)) {
        const nlohmann::json row = nlohmann::json::parse(strLine);
        EXPECT_EQ(row["source"], "site");
        EXPECT_EQ(row["number"], sites.size());
        sites.emplace_back(row["Name"], row["DllID"]);
    }
    EXPECT_EQ(sites,
              (std::vector<std::pair<std::string, int>>{
                  {"[p0] ubuntu one", 0}, {"[p1] UBUNTU two", 1}, {"[p0] ubuntu missing", 0}}));

    EXPECT_EQ(History(), (std::vector<std::string>{"UBUNTU", "debian"}));

    result = RunCli({"search", " \t"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Please input keyword"), std::string::npos) << result.err;
    EXPECT_EQ(History(), (std::vector<std::string>{"UBUNTU", "debian"}));
}

TEST_F(CliSearchTest, SearchFetchesTheResultsNamedByNumber) {
    const ProcessResult result =
        RunCli({"search", "ubuntu", "--sites", "--fetch", "0", "2", "1", "9", "--poll-ms", "5"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 7u) << result.out;
    EXPECT_EQ(lines[3], "0\t" + home.Torrents() + "[p0] ubuntu one.torrent");
    EXPECT_EQ(lines[4], "2\tfailed");
    EXPECT_EQ(lines[5], "1\t" + home.Torrents() + "[p1] UBUNTU two.torrent");
    EXPECT_EQ(lines[6], "9\tfailed");
    EXPECT_EQ(ReadFile(home.Torrents() + "[p0] ubuntu one.torrent"), "d3:onei1ee");
    EXPECT_EQ(ReadFile(home.Torrents() + "[p1] UBUNTU two.torrent"), "d3:twoi2ee");
    EXPECT_FALSE(std::filesystem::exists(home.Torrents() + "[p0] ubuntu missing.tmp"));
}

class CliFetchTest : public CliSearchTest {
  protected:
    CliFetchTest() : CliSearchTest(1) {}

    std::vector<std::string> StoredFileNames(size_t nCategory, size_t nLeaf) {
        CGlobalConfig config(home.GlobalIni());
        CTorrentTable& table = config.GetRoot().GetChild(nCategory)->GetChild(nLeaf)->m_Table;
        std::map<int64_t, std::string> byRowId;
        TorrentRecord record;
        for (bool bRead = table.MoveFirst(); bRead && table.ReadNext(record);) {
            byRowId[record.Bookmark.nRowId] = record.FileName;
        }
        std::vector<std::string> names;
        for (const auto& [nRowId, strFileName] : byRowId) {
            names.push_back(strFileName);
        }
        return names;
    }
};

TEST_F(CliFetchTest, FetchRecordsTheFileNamesInTheRowsOneDownloadAtATime) {
    const std::vector<int64_t> ids = Store(
        1, 1,
        {Entry("[p0] One", "/t/one.torrent", 0x0101), Entry("[p0] Two", "/t/two.torrent", 0x0101),
         Entry("[p0] Gone", "/t/gone.torrent", 0x0101)});
    ASSERT_EQ(ids.size(), 3u);
    const std::string strOne = std::to_string(ids[0]);
    const std::string strTwo = std::to_string(ids[1]);
    const std::string strGone = std::to_string(ids[2]);

    ProcessResult result =
        RunCli({"fetch", "1,1", strOne, strTwo, strGone, "999", "x1", "--poll-ms", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{strOne + "\t" + home.Torrents() + "[p0] One.torrent",
                                        strTwo + "\t" + home.Torrents() + "[p0] Two.torrent",
                                        strGone + "\tfailed", "999\tfailed", "x1\tfailed"}));
    EXPECT_NE(result.err.find("no row 999"), std::string::npos) << result.err;
    EXPECT_EQ(ReadFile(home.Torrents() + "[p0] Two.torrent"), "d3:twoi2ee");
    EXPECT_EQ(StoredFileNames(1, 1), (std::vector<std::string>{"[p0] One", "[p0] Two", ""}));

    // A file already fetched is not fetched again; the category finds the
    // row in its leaf.
    server.ClearRequests();
    result = RunCli({"fetch", "1", strOne, "--poll-ms", "5"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out),
              std::vector<std::string>{strOne + "\t" + home.Torrents() + "[p0] One.torrent"});
    EXPECT_TRUE(server.Targets().empty());

    // The same row id in two leaves of the category is ambiguous.
    Store(1, 2, {Entry("[p0] Other", "/t/two.torrent", 0x0102)});
    result = RunCli({"fetch", "1", strOne, "--poll-ms", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("several leaves (1,1, 1,2)"), std::string::npos) << result.err;
}

TEST_F(CliFetchTest, OpenHandsEachFileToTheDesktopOpenerAsOneArgument) {
    const std::vector<int64_t> ids =
        Store(2, 1, {Entry("it's $HOME; ls", "/t/one.torrent", 0x0201)});
    const std::string strBin = home.Dir() + "bin/";
    std::filesystem::create_directories(strBin);
    const std::string strLog = home.Dir() + "opened.log";
    std::ofstream(strBin + "xdg-open") << "#!/bin/sh\nprintf '%s|%s\\n' \"$PWD\" \"$1\" >> '"
                                       << strLog << "'\nexit \"$OPENER_EXIT\"\n";
    std::filesystem::permissions(strBin + "xdg-open", std::filesystem::perms::owner_all);
    const std::string strPath = strBin + ":" + std::getenv("PATH");
    const std::string strId = std::to_string(ids[0]);
    const std::string strFile = home.Torrents() + "it's $HOME; ls.torrent";

    ProcessResult result = RunCli({"fetch", "2,1", strId, "--open", "--poll-ms", "5"},
                                  {{"PATH", strPath}, {"OPENER_EXIT", "0"}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Lines(result.out), std::vector<std::string>{strId + "\t" + strFile});
    const std::string strTorrents = home.Torrents().substr(0, home.Torrents().size() - 1);
    EXPECT_EQ(ReadFile(strLog), strTorrents + "|" + strFile + "\n");

    // An opener that fails is reported with the hint about a torrent client.
    result = RunCli({"fetch", "2,1", strId, "--open"}, {{"PATH", strPath}, {"OPENER_EXIT", "3"}});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(Lines(result.out), std::vector<std::string>{strId + "\t" + strFile});
    EXPECT_NE(result.err.find("Can not open torrent file! Maybe"), std::string::npos) << result.err;
}

}  // namespace
