// tessaro-cli over the fifteen installed plug-ins, all of them pointed at one
// local server: "refresh all" stores the rows of every plug-in whose listing
// pages are fetched, a site search brings results from every site that has a
// search, and fetch writes the .torrent file through every way a plug-in
// reaches one (direct link, link page, form page, numbered links, mirrors).
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bench_sites.h"
#include "cli_home.h"
#include "egret/egret_site.h"
#include "finch/finch_site.h"
#include "fixture_server.h"
#include "gbk_text.h"
#include "heron/heron_site.h"
#include "ibis/ibis_site.h"
#include "ini_file.h"
#include "kite/kite_site.h"
#include "lark/lark_site.h"
#include "osprey/osprey_site.h"
#include "petrel/petrel_site.h"
#include "plugins/wren_pages.h"
#include "robin/robin_site.h"
#include "site_replies.h"
#include "sites/egret_pages.h"
#include "sites/finch_pages.h"
#include "sites/heron_pages.h"
#include "sites/ibis_pages.h"
#include "sites/kite_pages.h"
#include "sites/lark_pages.h"
#include "sites/osprey_pages.h"
#include "sites/petrel_pages.h"
#include "sites/robin_pages.h"
#include "sites/swift_pages.h"
#include "sites/wren_pages.h"
#include "swift/swift_site.h"
#include "wren/wren_site.h"

namespace {

using testing_support::FillSearch;
using testing_support::FixtureReply;
using testing_support::FixtureRequest;
using testing_support::FixtureServer;
using testing_support::Lines;
using testing_support::ProcessResult;
using testing_support::Torrent;

// Every site answers this keyword; only heron's search service answers the
// second one, so its result is the only one and is numbered 0.
const char kKeyword[] = "动画 1";
const char kHeronKeyword[] = "mirror";

// The title every search page shows, after the plug-in's "[tag]".
std::string SearchTitle(std::string_view tag) {
    return "搜索结果 " + std::string(tag);
}

std::tm Local(time_t when) {
    std::tm t{};
    localtime_r(&when, &t);
    return t;
}

std::string Ymd(time_t when) {
    const std::tm t = Local(when);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return text;
}

// The sites with a search: where each lives on the server and the result
// page it answers with, one row dated `when`.
struct SearchSite {
    const char* path;
    const SiteData& data;
    std::string (*page)(const std::string& base, const std::string& title, time_t when);
};

const SearchSite kSearchSites[] = {
    {"heron", heron::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         return heron_pages::SearchAnswer(
             {{"7001", "2024/05", "1073741824", when, 5, 1, title, "说明"}});
     }},
    {"wren", wren::kSite,
     [](const std::string& base, const std::string& title, time_t when) {
         const std::tm t = Local(when);
         char date[48];
         std::snprintf(date, sizeof date, "%02d-%02d %02d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_hour,
                       t.tm_min);
         return wren_site_pages::SearchPage(base, {{date, "8801", title, "简介", "350MB", 4, 1}});
     }},
    {"finch", finch::kSite,
     [](const std::string& base, const std::string& title, time_t when) {
         return finch_pages::Page({{Ymd(when), base + "down.php?id=8802", title, "700MB", 3, 1}});
     }},
    {"lark", lark::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         const std::tm t = Local(when);
         return lark_pages::Page(
             {{"show/show.asp?id=8803", title, t.tm_mon + 1, t.tm_mday, "1GB"}});
     }},
    {"robin", robin::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         const std::tm t = Local(when);
         return robin_pages::SearchPage({{.month = t.tm_mon + 1,
                                          .day = t.tm_mday,
                                          .hour = t.tm_hour,
                                          .minute = t.tm_min,
                                          .title = title,
                                          .recommended = false,
                                          .size = "1.2GB",
                                          .seeds = 3,
                                          .peers = 1,
                                          .id = 8804}});
     }},
    {"egret", egret::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         const std::tm t = Local(when);
         return egret_pages::Page("搜索", {{.month = t.tm_mon + 1,
                                            .day = t.tm_mday,
                                            .hour = t.tm_hour,
                                            .minute = t.tm_min,
                                            .title = title,
                                            .description = "简介",
                                            .size = "700MB",
                                            .seeds = 3,
                                            .peers = 1,
                                            .id = 8805}});
     }},
    {"swift", swift::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         return swift_pages::Page("搜索", {{when, "download.php?id=8806", title, "700MB", 3, 1}});
     }},
    {"petrel", petrel::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         return petrel_pages::Page({{when, "h8807", title, "700MB", 3, 1}});
     }},
    {"ibis", ibis::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         const std::tm t = Local(when);
         return ibis_pages::Page(0, {{.month = t.tm_mon + 1,
                                      .day = t.tm_mday,
                                      .hour = t.tm_hour,
                                      .minute = t.tm_min,
                                      .title = title,
                                      .color = "",
                                      .icons = 0,
                                      .size = "1.37GB",
                                      .seeds = 3,
                                      .peers = 1,
                                      .id = 8808}});
     }},
    {"kite", kite::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         const std::tm t = Local(when);
         return kite_pages::Page({{.month = t.tm_mon + 1,
                                   .day = t.tm_mday,
                                   .hour = t.tm_hour,
                                   .minute = t.tm_min,
                                   .title = title,
                                   .color = "",
                                   .description = "简介",
                                   .size = "233MB",
                                   .seeds = 3,
                                   .peers = 1,
                                   .id = 8809}});
     }},
    {"osprey", osprey::kSite,
     [](const std::string&, const std::string& title, time_t when) {
         return osprey_pages::SearchPage({{"html/8810.htm", title, Ymd(when), "2.1GB"}});
     }},
};

// Answers requests by method, target and body; fetch routes are added as
// the rows they serve become known.
class SiteServer {
  public:
    SiteServer() {
        m_server.SetHandler([this](const FixtureRequest& request) {
            std::lock_guard lock(m_mutex);
            const auto it = m_pages.find(
                refresh_bench::RequestKey(request.method, request.target, request.body));
            if (it != m_pages.end()) {
                return it->second;
            }
            m_unknown.push_back(request.method + " " + request.target + " [" + request.body + "]");
            FixtureReply missing;
            missing.status = 404;
            return missing;
        });
    }

    std::string Url(const std::string& path) const { return m_server.Url(path); }
    // The target a request for `address` on this server carries.
    std::string TargetOf(const std::string& address) const {
        const std::string root = m_server.Url("");
        return address.rfind(root, 0) == 0 ? address.substr(root.size()) : address;
    }

    void Serve(const std::string& method, const std::string& target, const std::string& body,
               FixtureReply reply) {
        std::lock_guard lock(m_mutex);
        m_pages[refresh_bench::RequestKey(method, target, body)] = std::move(reply);
    }
    void Get(const std::string& address, std::string body) {
        Serve("GET", TargetOf(address), "", testing_support::GbkPage(std::move(body)));
    }

    // Requests nothing was served for, and forgets them.
    std::vector<std::string> TakeUnknown() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_unknown, {});
    }

  private:
    std::mutex m_mutex;
    std::unordered_map<std::string, FixtureReply> m_pages;
    std::vector<std::string> m_unknown;
    FixtureServer m_server;  // last: its threads stop before the pages go
};

std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> values;
    for (const std::string& line : Lines(out)) {
        const nlohmann::json value = nlohmann::json::parse(line, nullptr, false);
        EXPECT_FALSE(value.is_discarded()) << line;
        if (!value.is_discarded()) {
            values.push_back(value);
        }
    }
    return values;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// One home refreshed once from the server; the tests read it, search and
// fetch from it.
class CliSites : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_server = std::make_unique<SiteServer>();
        s_home = std::make_unique<cli_test::CliHome>();
        s_now = std::time(nullptr);
        // One page of three rows per site section keeps the run short.
        s_catalogue = std::make_unique<refresh_bench::ServedCatalogue>(
            refresh_bench::BuildCatalogue(s_server->Url(""), s_now, {1, 3}));
        for (const refresh_bench::ServedPage& page : s_catalogue->pages) {
            s_server->Serve(page.request.method, page.request.target, page.request.body,
                            testing_support::GbkPage(page.content));
        }
        ServeSearches();

        const ProcessResult init = s_home->Run({"init"});
        ASSERT_EQ(init.exitCode, 0) << init.err;
        CIniFile registry(s_home->Path() + "kernel/dllmgr.ini");
        for (const auto& [registryName, base] : s_catalogue->bases) {
            ASSERT_TRUE(registry.WriteString("Site_" + registryName, "Base", base));
        }
        ASSERT_TRUE(registry.WriteString("Site_heron.so", "Search", s_server->Url("/heronsvc/")));
        for (int i = 0; i < 4; ++i) {
            const std::string n = std::to_string(i);
            ASSERT_TRUE(registry.WriteString("Site_heron.so", "Mirror" + n,
                                             s_server->Url("/heronm" + n + "/")));
        }

        const ProcessResult plugins = s_home->Run({"plugins"});
        ASSERT_EQ(plugins.exitCode, 0) << plugins.err;
        for (const std::string& line : Lines(plugins.out)) {
            int dllId = -1;
            char base[512] = {};
            if (std::sscanf(line.c_str(), "%d\t%*[^\t]\t%*[^\t]\t%511s", &dllId, base) == 2) {
                s_dllIdOfBase[base] = dllId;
            }
        }
        ASSERT_EQ(s_dllIdOfBase.size(), 15u) << plugins.out;

        s_refresh = s_home->Run({"refresh", "all", "--poll-ms", "20"});
    }

    static void TearDownTestSuite() {
        s_home.reset();
        s_server.reset();
        s_catalogue.reset();
    }

    // Every site's search answer for kKeyword, dated an hour ago.
    static void ServeSearches() {
        for (const SearchSite& site : kSearchSites) {
            const std::string base = s_server->Url("/" + std::string(site.path) + "/");
            const std::string searchBase =
                site.data.searchOnService ? s_server->Url("/heronsvc/") : base;
            const std::string target =
                s_server->TargetOf(searchBase) + FillSearch(site.data.searchPath, kKeyword);
            const bool post = site.data.searchRequest == SearchRequest::kPost;
            s_server->Serve(post ? "POST" : "GET", target,
                            post ? FillSearch(site.data.searchBody, kKeyword) : "",
                            testing_support::GbkPage(
                                site.page(base, SearchTitle(site.data.tag), s_now - 3600)));
        }
    }

    static int DllIdOf(const std::string& sitePath) {
        const auto it = s_dllIdOfBase.find(s_server->Url("/" + sitePath + "/"));
        return it == s_dllIdOfBase.end() ? -1 : it->second;
    }

    // Every row of every leaf, as list prints them, with the leaf they are in.
    static std::vector<nlohmann::json> StoredRows() {
        std::vector<nlohmann::json> rows;
        const ProcessResult tree = s_home->Run({"tree"});
        EXPECT_EQ(tree.exitCode, 0) << tree.err;
        for (const std::string& line : Lines(tree.out)) {
            int category = 0;
            int sub = 0;
            if (std::sscanf(line.c_str(), "%d,%d", &category, &sub) != 2 || sub == 0) {
                continue;
            }
            const std::string node = std::to_string(category) + "," + std::to_string(sub);
            const ProcessResult list = s_home->Run({"list", node, "--json", "--limit", "100000"});
            EXPECT_EQ(list.exitCode, 0) << list.err;
            for (nlohmann::json& row : JsonLines(list.out)) {
                row["node"] = node;
                rows.push_back(std::move(row));
            }
        }
        return rows;
    }

    // A stored row of the site, and the leaf it is in.
    static nlohmann::json RowOf(const std::vector<nlohmann::json>& rows,
                                const std::string& sitePath) {
        const int dllId = DllIdOf(sitePath);
        for (const nlohmann::json& row : rows) {
            if (row["DllID"] == dllId) {
                return row;
            }
        }
        ADD_FAILURE() << "no stored row of " << sitePath;
        return {};
    }

    // Fetches the row through `fetch NODE ROWID` and answers what the file
    // holds ("" when the fetch failed).
    static std::string FetchRow(const nlohmann::json& row) {
        const std::string rowid = std::to_string(row["rowid"].get<long long>());
        const ProcessResult fetch =
            s_home->Run({"fetch", row["node"].get<std::string>(), rowid, "--poll-ms", "10"});
        EXPECT_EQ(fetch.exitCode, 0) << fetch.out << fetch.err;
        const std::vector<std::string> lines = Lines(fetch.out);
        if (lines.size() != 1 || lines[0].rfind(rowid + "\t", 0) != 0) {
            ADD_FAILURE() << "fetch printed: " << fetch.out;
            return "";
        }
        const std::string path = lines[0].substr(rowid.size() + 1);
        EXPECT_EQ(path.rfind(s_home->Path() + "torrents/", 0), 0u) << path;
        return ReadFile(path);
    }

    static std::unique_ptr<SiteServer> s_server;
    static std::unique_ptr<cli_test::CliHome> s_home;
    static std::unique_ptr<refresh_bench::ServedCatalogue> s_catalogue;
    static std::map<std::string, int> s_dllIdOfBase;
    static time_t s_now;
    static ProcessResult s_refresh;
};

std::unique_ptr<SiteServer> CliSites::s_server;
std::unique_ptr<cli_test::CliHome> CliSites::s_home;
std::unique_ptr<refresh_bench::ServedCatalogue> CliSites::s_catalogue;
std::map<std::string, int> CliSites::s_dllIdOfBase;
time_t CliSites::s_now = 0;
ProcessResult CliSites::s_refresh;

TEST_F(CliSites, RefreshAllStoresEveryServedRowUnderItsPlugin) {
    ASSERT_EQ(s_refresh.exitCode, 0) << s_refresh.err;
    EXPECT_TRUE(s_server->TakeUnknown().empty());

    // Slot and Name of every row, per plug-in, as served and as stored.
    using Placed = std::multiset<std::string>;
    std::map<int, Placed> served;
    for (const refresh_bench::ServedPage& page : s_catalogue->pages) {
        const std::string node = std::to_string(page.group) + "," + std::to_string(page.index);
        for (const std::string& name : page.names) {
            const std::string tag = name.substr(1, name.find(']') - 1);
            served[DllIdOf(tag)].insert(node + " " + name);
        }
    }
    ASSERT_EQ(served.size(), 14u);
    EXPECT_EQ(served.count(DllIdOf("heron")), 0u);

    std::map<int, Placed> stored;
    for (const nlohmann::json& row : StoredRows()) {
        stored[row["DllID"].get<int>()].insert(row["node"].get<std::string>() + " " +
                                               row["Name"].get<std::string>());
    }
    for (const auto& [dllId, rows] : served) {
        EXPECT_EQ(stored[dllId].size(), rows.size()) << "DllID " << dllId;
        EXPECT_EQ(stored[dllId], rows) << "DllID " << dllId;
    }
    // heron's listing pages are never fetched: nothing may be stored for it.
    EXPECT_EQ(stored.size(), served.size());
}

TEST_F(CliSites, SiteSearchBringsResultsFromEverySiteWithASearch) {
    const ProcessResult search =
        s_home->Run({"search", kKeyword, "--sites", "--json", "--poll-ms", "20"});
    ASSERT_EQ(search.exitCode, 0) << search.err;
    EXPECT_TRUE(s_server->TakeUnknown().empty());

    std::map<int, std::vector<std::string>> found;
    for (const nlohmann::json& result : JsonLines(search.out)) {
        EXPECT_EQ(result["source"], "site");
        found[result["DllID"].get<int>()].push_back(result["Name"].get<std::string>());
    }
    std::map<int, std::vector<std::string>> expected;
    for (const SearchSite& site : kSearchSites) {
        expected[DllIdOf(site.path)] = {"[" + std::string(site.data.tag) + "]" +
                                        SearchTitle(site.data.tag)};
    }
    EXPECT_EQ(found, expected);
}

TEST_F(CliSites, FetchWritesTheTorrentThroughEveryWayToTheFile) {
    ASSERT_EQ(s_refresh.exitCode, 0) << s_refresh.err;

    // finch: the row's link is the file.
    const std::vector<nlohmann::json> rows = StoredRows();
    const nlohmann::json finch = RowOf(rows, "finch");
    const std::string finchTorrent = Torrent("finch");
    s_server->Get(finch["Addr0"].get<std::string>(), finchTorrent);

    // lark: the row's detail page links the file.
    const nlohmann::json lark = RowOf(rows, "lark");
    const std::string larkTorrent = Torrent("lark");
    const std::string larkId = std::to_string(lark["rowid"].get<long long>());
    s_server->Get(lark["Addr0"].get<std::string>(),
                  lark_pages::DetailPage("show/Down.asp?id=" + larkId + "&t=1"));
    s_server->Get(s_server->Url("/lark/show/Down.asp?id=" + larkId + "&t=1"), larkTorrent);

    // wren: the link answers with a form whose post gives the file.
    const nlohmann::json wren = RowOf(rows, "wren");
    const std::string wrenTorrent = Torrent("wren");
    s_server->Get(wren["Addr0"].get<std::string>(),
                  wren_site_pages::FormPage("download.php?do=post", "c0ffee"));
    s_server->Serve("POST", "/wren/download.php?do=post", "checksum=c0ffee",
                    testing_support::GbkPage(wrenTorrent));

    // osprey: the detail page's numbered links, of which the first is busy.
    const nlohmann::json osprey = RowOf(rows, "osprey");
    const std::string ospreyTorrent = Torrent("osprey");
    s_server->Get(osprey["Addr0"].get<std::string>(), osprey_pages::DetailPage("77"));
    s_server->Get(s_server->Url("/osprey/down.asp?id=77&no=1"), "<html>服务器忙</html>");
    s_server->Get(s_server->Url("/osprey/down.asp?id=77&no=2"), ospreyTorrent);

    EXPECT_EQ(FetchRow(finch), finchTorrent);
    EXPECT_EQ(FetchRow(lark), larkTorrent);
    EXPECT_EQ(FetchRow(wren), wrenTorrent);
    EXPECT_EQ(FetchRow(osprey), ospreyTorrent);
    EXPECT_TRUE(s_server->TakeUnknown().empty());
}

TEST_F(CliSites, ASearchResultIsFetchedFromTheFirstMirrorThatHasIt) {
    const std::string heron = "[heron]" + SearchTitle("heron");
    s_server->Serve(
        "GET", "/heronsvc/" + FillSearch(heron::kSite.searchPath, kHeronKeyword), "",
        testing_support::GbkPage(heron_pages::SearchAnswer(
            {{"7002", "2024/06", "2048", s_now - 3600, 1, 1, SearchTitle("heron"), ""}})));
    const std::string path = "download.php?s=2024/06&attachmentid=7002";
    const std::string torrent = Torrent("heron");
    s_server->Get(s_server->Url("/heronm1/" + path), "<html>busy</html>");
    s_server->Get(s_server->Url("/heronm2/" + path), torrent);

    const ProcessResult search = s_home->Run(
        {"search", kHeronKeyword, "--sites", "--json", "--fetch", "0", "--poll-ms", "20"});
    ASSERT_EQ(search.exitCode, 0) << search.out << search.err;
    const std::vector<nlohmann::json> lines = JsonLines(search.out);
    ASSERT_EQ(lines.size(), 2u) << search.out;
    EXPECT_EQ(lines[0]["Name"], heron);
    EXPECT_EQ(lines[0]["DllID"], DllIdOf("heron"));
    ASSERT_TRUE(lines[1]["path"].is_string()) << search.out;
    EXPECT_EQ(ReadFile(lines[1]["path"].get<std::string>()), torrent);

    // The first mirror lacks the file, the second answers with a page, and
    // none is asked after the one that had it. The other sites' searches
    // find nothing under this keyword.
    std::vector<std::string> mirrorsMissed;
    for (const std::string& request : s_server->TakeUnknown()) {
        if (request.find("/heronm") != std::string::npos) {
            mirrorsMissed.push_back(request);
        }
    }
    EXPECT_EQ(mirrorsMissed, std::vector<std::string>{"GET /heronm0/" + path + " []"});
}

}  // namespace
