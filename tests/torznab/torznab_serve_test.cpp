// tessaro-cli serve as a child process on an ephemeral loopback port, over a
// home refreshed from the fifteen plug-ins' fixture sites on one local
// server, asked as an indexer client asks: caps, searches, the newest rows,
// downloads through every way a plug-in reaches a file, and hostile input.
#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_sites.h"
#include "cli_home.h"
#include "fixture_server.h"
#include "global_config.h"
#include "heron/heron_site.h"
#include "ini_file.h"
#include "plugins/wren_pages.h"
#include "serve_process.h"
#include "site_replies.h"
#include "sites/heron_pages.h"
#include "sites/lark_pages.h"
#include "sites/osprey_pages.h"
#include "sites/wren_pages.h"

namespace {

using testing_support::FillSearch;
using testing_support::FixtureReply;
using testing_support::FixtureRequest;
using testing_support::FixtureServer;
using testing_support::Lines;
using testing_support::Torrent;

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
            FixtureReply missing;
            missing.status = 404;
            return missing;
        });
    }
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    void Serve(const std::string& method, const std::string& target, const std::string& body,
               FixtureReply reply) {
        std::lock_guard lock(m_mutex);
        m_pages[refresh_bench::RequestKey(method, target, body)] = std::move(reply);
    }
    void Get(const std::string& address, std::string body) {
        const std::string root = m_server.Url("");
        Serve("GET", address.rfind(root, 0) == 0 ? address.substr(root.size()) : address, "",
              testing_support::GbkPage(std::move(body)));
    }
    size_t RequestCount() const { return m_server.Requests().size(); }

  private:
    std::mutex m_mutex;
    std::unordered_map<std::string, FixtureReply> m_pages;
    FixtureServer m_server;
};

struct Item {
    std::string title, guid, link, enclosure, pubDate, comments, category;
    std::map<std::string, std::vector<std::string>> attrs;

    std::vector<std::string> Attr(const std::string& name) const {
        const auto it = attrs.find(name);
        return it == attrs.end() ? std::vector<std::string>() : it->second;
    }
};

class TorznabServe : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_sites = std::make_unique<SiteServer>();
        s_home = std::make_unique<cli_test::CliHome>();
        const auto catalogue =
            refresh_bench::BuildCatalogue(s_sites->Url(""), std::time(nullptr), {1, 3});
        for (const refresh_bench::ServedPage& page : catalogue.pages) {
            s_sites->Serve(page.request.method, page.request.target, page.request.body,
                           testing_support::GbkPage(page.content));
        }
        ASSERT_EQ(s_home->Run({"init"}).exitCode, 0);
        CIniFile registry(s_home->Path() + "kernel/dllmgr.ini");
        for (const auto& [registryName, base] : catalogue.bases) {
            ASSERT_TRUE(registry.WriteString("Site_" + registryName, "Base", base));
        }
        ASSERT_TRUE(registry.WriteString("Site_heron.so", "Search", s_sites->Url("/heronsvc/")));
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(registry.WriteString("Site_heron.so", "Mirror" + std::to_string(i),
                                             s_sites->Url("/heronm" + std::to_string(i) + "/")));
        }
        const auto refresh = s_home->Run({"refresh", "all", "--poll-ms", "20"});
        ASSERT_EQ(refresh.exitCode, 0) << refresh.err;
        AddKnownRows();

        s_serve = std::make_unique<ServeProcess>(std::vector<std::string>{
            TESSARO_CLI_PATH, "--home", s_home->Path(), "serve", "--listen", "127.0.0.1:0"});
        const auto api = s_serve->WaitForLine("serving the indexer API at http://127.0.0.1:",
                                              std::chrono::seconds(60));
        const auto key = s_serve->WaitForLine("api key ", std::chrono::seconds(10));
        ASSERT_TRUE(api && key);
        s_port = std::stoi(*api);
        s_key = *key;
    }
    static void TearDownTestSuite() {
        if (s_serve) {
            EXPECT_EQ(s_serve->Stop(), 0);
        }
        s_serve.reset();
        s_home.reset();
        s_sites.reset();
    }

    // Rows whose every field is known, dated in the future so they are the
    // newest: (name, size text, seeds, peers, hour of 2030-01-02).
    static void AddKnownRows() {
        CTorrentTable::SetDatabasePath(s_home->Path() + "kernel/websdata.db");
        CGlobalConfig config(s_home->Path() + "kernel/global.ini");
        const struct {
            const char* name;
            const char* size;
            int seeds, peers, hour;
        } rows[] = {
            {"Known.Film.One", "1.2GB", 10, 5, 9},
            {"Known.Film.Two", "700 MB", 3, -1, 8},
            {"Known.Film.Three", "345KB", -1, -1, 7},
        };
        TorrentRecordArray records;
        for (const auto& row : rows) {
            TorrentRecord record;
            record.Name = row.name;
            record.Size = row.size;
            record.Seeds = row.seeds;
            record.Peers = row.peers;
            record.Addr0 = std::string("http://example.invalid/") + row.name;
            record.WebAddr = std::string("http://example.invalid/page/") + row.name;
            record.AddDate = OleDate::FromFields(2030, 1, 2, row.hour, 30, 0);
            records.push_back(record);
        }
        // Films: category 2, leaf 1 of the installed tree.
        ASSERT_TRUE(config.GetRoot().GetChild(2)->GetChild(1)->m_Table.InsertBatch(records));
    }

    static httplib::Result Get(const std::string& target) {
        httplib::Client client("127.0.0.1", s_port);
        client.set_read_timeout(60);
        return client.Get(target.c_str());
    }

    static std::string Api(const std::string& query, bool withKey = true) {
        const auto result = Get("/api?" + query + (withKey ? "&apikey=" + s_key : ""));
        EXPECT_TRUE(result) << query;
        return result ? result->body : "";
    }

    // The error code of an error answer, 0 for anything else.
    static int ErrorCode(const std::string& body) {
        pugi::xml_document document;
        document.load_string(body.c_str());
        return document.child("error").attribute("code").as_int();
    }

    static std::vector<Item> Items(const std::string& body) {
        pugi::xml_document document;
        EXPECT_TRUE(document.load_string(body.c_str())) << body;
        std::vector<Item> items;
        for (pugi::xml_node node : document.child("rss").child("channel").children("item")) {
            Item item;
            item.title = node.child_value("title");
            item.guid = node.child_value("guid");
            item.link = node.child_value("link");
            item.enclosure = node.child("enclosure").attribute("url").value();
            item.pubDate = node.child_value("pubDate");
            item.comments = node.child_value("comments");
            item.category = node.child_value("category");
            for (pugi::xml_node attr : node.children("torznab:attr")) {
                item.attrs[attr.attribute("name").value()].push_back(
                    attr.attribute("value").value());
            }
            items.push_back(item);
        }
        return items;
    }

    // A stored row of the site's plug-in, from `list --json` over every leaf.
    static nlohmann::json StoredRow(const std::string& tag) {
        for (int category = 1; category <= 5; ++category) {
            const auto list =
                s_home->Run({"list", std::to_string(category), "--json", "--limit", "100000"});
            for (const std::string& line : Lines(list.out)) {
                const nlohmann::json row = nlohmann::json::parse(line);
                if (row["Name"].get<std::string>().rfind("[" + tag + "]", 0) == 0) {
                    return row;
                }
            }
        }
        ADD_FAILURE() << "no stored row of " << tag;
        return nlohmann::json::object();
    }

    // The download address the API gives for the stored row.
    static std::string DownloadPath(const nlohmann::json& row) {
        const std::string guid =
            std::to_string(row["DllID"].get<int>()) + ":" + row["Addr0"].get<std::string>();
        for (const Item& item :
             Items(Api("t=search&limit=100&q=" +
                       httplib::detail::encode_query_param(row["Name"].get<std::string>())))) {
            if (item.guid == guid) {
                EXPECT_EQ(item.link, item.enclosure);
                return item.link.substr(item.link.find("/dl/"));
            }
        }
        ADD_FAILURE() << "no item for " << guid;
        return "/dl/00";
    }

    static std::unique_ptr<SiteServer> s_sites;
    static std::unique_ptr<cli_test::CliHome> s_home;
    static std::unique_ptr<ServeProcess> s_serve;
    static int s_port;
    static std::string s_key;
};

std::unique_ptr<SiteServer> TorznabServe::s_sites;
std::unique_ptr<cli_test::CliHome> TorznabServe::s_home;
std::unique_ptr<ServeProcess> TorznabServe::s_serve;
int TorznabServe::s_port = 0;
std::string TorznabServe::s_key;

TEST_F(TorznabServe, CapsListsEveryLeafUnderItsStandardCategory) {
    pugi::xml_document caps;
    ASSERT_TRUE(caps.load_string(Api("t=caps").c_str()));
    const pugi::xml_node root = caps.child("caps");
    EXPECT_STREQ(root.child("limits").attribute("max").value(), "100");
    EXPECT_STREQ(root.child("searching").child("tv-search").attribute("supportedParams").value(),
                 "q");
    std::map<std::string, std::string> parentOfLeaf;
    for (pugi::xml_node category : root.child("categories").children("category")) {
        for (pugi::xml_node sub : category.children("subcat")) {
            if (sub.attribute("id").as_int() >= 100000) {
                parentOfLeaf[sub.attribute("name").value()] = category.attribute("id").value();
            }
        }
    }
    const std::map<std::string, std::string> expected = {
        {"PC Games", "4000"},      {"Console Games", "1000"}, {"Game Extras", "4000"},
        {"Films", "2000"},         {"TV Series", "5000"},     {"Variety Shows", "5000"},
        {"Documentaries", "5000"}, {"Other Video", "8000"},   {"Animation", "5000"},
        {"Comics", "7000"},        {"Pop Music", "3000"},     {"Music Videos", "3000"},
        {"Classical", "3000"},     {"Concerts", "3000"},      {"Soundtracks", "3000"},
        {"Music", "3000"},         {"Books", "7000"},         {"Other", "8000"},
        {"Software", "4000"},
    };
    EXPECT_EQ(parentOfLeaf, expected);
}

TEST_F(TorznabServe, SearchAnswersTheCatalogueMatchesWithTheirFields) {
    const std::vector<Item> items = Items(Api("t=movie&q=known%20film&cat=2000"));
    ASSERT_EQ(items.size(), 3u);
    const struct {
        const char* title;
        const char* pubDate;
        const char* size;
        std::vector<std::string> seeders, peers;
    } expected[] = {
        {"Known.Film.One", "Wed, 02 Jan 2030 09:30:00 +0800", "1288490189", {"10"}, {"15"}},
        {"Known.Film.Two", "Wed, 02 Jan 2030 08:30:00 +0800", "734003200", {"3"}, {}},
        {"Known.Film.Three", "Wed, 02 Jan 2030 07:30:00 +0800", "353280", {}, {}},
    };
    for (size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        EXPECT_EQ(item.title, expected[i].title);
        EXPECT_EQ(item.pubDate, expected[i].pubDate);
        EXPECT_EQ(item.attrs.at("size"), std::vector<std::string>{expected[i].size});
        EXPECT_EQ(item.Attr("seeders"), expected[i].seeders);
        EXPECT_EQ(item.Attr("peers"), expected[i].peers);
        EXPECT_EQ(item.attrs.at("category"), (std::vector<std::string>{"2000", "100201"}));
        EXPECT_EQ(item.category, "2000");
        EXPECT_EQ(item.comments, std::string("http://example.invalid/page/") + expected[i].title);
        EXPECT_EQ(item.guid, std::string("0:http://example.invalid/") + expected[i].title);
    }
    EXPECT_TRUE(Items(Api("t=search&q=known%20film&cat=5000")).empty());
    EXPECT_EQ(Items(Api("t=search&q=known&limit=1&offset=2"))[0].title, "Known.Film.Three");
}

TEST_F(TorznabServe, WithoutAKeywordTheNewestRowsComeFirst) {
    const std::vector<Item> items = Items(Api("t=search&limit=4"));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].title, "Known.Film.One");
    EXPECT_EQ(items[2].title, "Known.Film.Three");
    EXPECT_EQ(items[3].title.front(), '[');  // the newest row a site listed
}

TEST_F(TorznabServe, HostileInputGivesItsErrorAndTheServerGoesOn) {
    const struct {
        std::string query;
        bool withKey;
        int code;
    } cases[] = {
        {"t=caps", false, 100},
        {"t=search&apikey=wrong", false, 100},
        {"t=nothing", true, 202},
        {"q=x", true, 200},
        {"t=search&limit=0", true, 201},
        {"t=search&limit=101", true, 201},
        {"t=search&q=" + std::string(257, 'a'), true, 201},
        {"t=search&cat=2000;drop", true, 201},
        {"t=search&q=%FF%FE", true, 201},
        {"t=search&q=%27%22%3C%25", true, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorCode(Api(c.query, c.withKey)), c.code) << c.query;
    }
    for (const std::string& target : {"/dl/00?apikey=" + s_key, "/dl/zz?apikey=" + s_key,
                                      "/dl/" + std::string(9000, 'a') + "?apikey=" + s_key}) {
        const auto result = Get(target);
        ASSERT_TRUE(result);
        EXPECT_NE(result->status, 200) << target.substr(0, 40);
    }
    const auto noKey = Get("/dl/00");
    ASSERT_TRUE(noKey);
    EXPECT_EQ(ErrorCode(noKey->body), 100);
    EXPECT_EQ(Items(Api("t=search&q=known")).size(), 3u);
}

TEST_F(TorznabServe, DownloadsAreByteExactThroughEveryWayToTheFile) {
    // finch: the row's link is the file.
    const nlohmann::json finch = StoredRow("finch");
    const std::string finchTorrent = Torrent("finch");
    s_sites->Get(finch["Addr0"].get<std::string>(), finchTorrent);
    // lark: the row's detail page links the file.
    const nlohmann::json lark = StoredRow("lark");
    const std::string larkTorrent = Torrent("lark");
    s_sites->Get(lark["Addr0"].get<std::string>(),
                 lark_pages::DetailPage("show/Down.asp?id=9&t=1"));
    s_sites->Get(s_sites->Url("/lark/show/Down.asp?id=9&t=1"), larkTorrent);
    // wren: the link answers with a form whose post gives the file.
    const nlohmann::json wren = StoredRow("wren");
    const std::string wrenTorrent = Torrent("wren");
    s_sites->Get(wren["Addr0"].get<std::string>(),
                 wren_site_pages::FormPage("download.php?do=post", "c0ffee"));
    s_sites->Serve("POST", "/wren/download.php?do=post", "checksum=c0ffee",
                   testing_support::GbkPage(wrenTorrent));
    // osprey: numbered links, of which the first is busy.
    const nlohmann::json osprey = StoredRow("osprey");
    const std::string ospreyTorrent = Torrent("osprey");
    s_sites->Get(osprey["Addr0"].get<std::string>(), osprey_pages::DetailPage("77"));
    s_sites->Get(s_sites->Url("/osprey/down.asp?id=77&no=1"), "<html>busy</html>");
    s_sites->Get(s_sites->Url("/osprey/down.asp?id=77&no=2"), ospreyTorrent);

    const std::pair<nlohmann::json, std::string> cases[] = {
        {finch, finchTorrent}, {lark, larkTorrent}, {wren, wrenTorrent}, {osprey, ospreyTorrent}};
    for (const auto& [row, torrent] : cases) {
        const std::string path = DownloadPath(row);
        const auto first = Get(path);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->status, 200) << row["Name"] << first->body;
        EXPECT_EQ(first->body, torrent) << row["Name"];
        EXPECT_EQ(first->get_header_value("Content-Type"), "application/x-bittorrent");
        // The second time the file comes from torrents/, asking no site.
        const size_t asked = s_sites->RequestCount();
        const auto again = Get(path);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->body, torrent);
        EXPECT_EQ(s_sites->RequestCount(), asked);
    }
}

TEST_F(TorznabServe, ExtendedSearchAddsSiteResultsThatDownloadFromTheirMirrors) {
    const std::string keyword = "mirror";
    s_sites->Serve(
        "GET", "/heronsvc/" + FillSearch(heron::kSite.searchPath, keyword), "",
        testing_support::GbkPage(heron_pages::SearchAnswer(
            {{"7002", "2024/06", "2048", std::time(nullptr) - 3600, 1, 1, "镜像", ""}})));
    const std::string path = "download.php?s=2024/06&attachmentid=7002";
    const std::string torrent = Torrent("heron");
    s_sites->Get(s_sites->Url("/heronm1/" + path), "<html>busy</html>");
    s_sites->Get(s_sites->Url("/heronm2/" + path), torrent);

    EXPECT_TRUE(Items(Api("t=search&q=mirror")).empty());
    const std::vector<Item> items = Items(Api("t=search&q=mirror&extended=1"));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].title, "[heron]镜像");
    EXPECT_EQ(items[0].attrs.at("size"), std::vector<std::string>{"2048"});
    EXPECT_EQ(items[0].attrs.at("category"), std::vector<std::string>{"8000"});
    const auto file = Get(items[0].link.substr(items[0].link.find("/dl/")));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->body, torrent);
}

TEST_F(TorznabServe, TheDaemonRefreshesAndServesFromOneProcess) {
    ServeProcess daemon({TESSARO_CLI_PATH, "--home", s_home->Path(), "daemon", "--cycle", "1000",
                         "--serve", "127.0.0.1:0"});
    const auto api = daemon.WaitForLine("serving the indexer API at http://127.0.0.1:",
                                        std::chrono::seconds(60));
    ASSERT_TRUE(api);
    httplib::Client client("127.0.0.1", std::stoi(*api));
    client.set_read_timeout(60);
    const auto result = client.Get(("/api?t=search&q=known&apikey=" + s_key).c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(Items(result->body).size(), 3u);
    EXPECT_EQ(daemon.Stop(), 0);
}

}  // namespace
