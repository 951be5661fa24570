// Site search: the request, the result page, failures and independent tasks.
#include "fetch_support.h"
#include "fixture_server.h"
#include "search_task.h"

namespace {

using fetch_support::g_now;
using fetch_support::Home;
using fetch_support::PollUntil;
using testing_support::FixtureReply;
using testing_support::FixtureServer;

constexpr uint16_t kGroups[] = {kDate, kDate, kDate, kAddr0 | kWithBase, kTitle};

FixtureReply Html(std::string body) {
    FixtureReply reply;
    reply.body = std::move(body);
    return reply;
}

std::string ResultPage(int rows) {
    std::string page = "<html><body><table>\n";
    for (int i = 1; i <= rows; ++i) {
        const std::string n = std::to_string(i);
        page += "<r d=\"2024-05-0" + n + "\" a=\"t/" + n + ".torrent\">title " + n + "</r>\n";
    }
    return page + "</table></body></html>\n";
}

class Searches : public ::testing::Test {
  protected:
    void Load(SearchRequest request, const std::string& siteKeys = "") {
        home_ = std::make_unique<Home>("Base=" + server_.Url("/") + "\n" + siteKeys);
        site_.tag = "test";
        site_.defaultCharset = "GBK";
        site_.searchRequest = request;
        site_.searchPath = "find?k=%s";
        site_.searchBody = "key=%s&D=30";
        site_.search = {.text = R"pat(<r d="({\d+}-{\d+}-{\d+})" a="({.*?})">({.*?})</r>)pat",
                        .groups = kGroups,
                        .date = DateRoutine::kYearMonthDay};
        manager_ =
            std::make_unique<PluginManager>(site_, home_->Location(), &fetch_support::FakeNow);
    }
    TorrentRecordArray RunToEnd(SearchHandle handle) {
        TorrentRecordArray rows;
        const int status = PollUntil(
            [&] {
                const int answer = manager_->GetSearchStatus(handle);
                manager_->GetSearchData(handle, &rows);
                return answer;
            },
            [](int answer) { return answer == 100; });
        EXPECT_EQ(status, 100);
        return rows;
    }

    FixtureServer server_;
    std::unique_ptr<Home> home_;
    SiteData site_;
    std::unique_ptr<PluginManager> manager_;
};

TEST(SearchRequestText, EveryByteOfTheKeywordIsEscapedInTheSitesCharset) {
    EXPECT_EQ(EncodeKeyword("ab"), "%61%62");
    EXPECT_EQ(EncodeKeyword("A z%\xff"), "%41%20%7A%25%FF");

    FixtureServer unused;
    Home home("Base=http://site.example/\nSearch=http://service.example/\n");
    SiteData site;
    site.defaultCharset = "GBK";
    site.searchRequest = SearchRequest::kPost;
    site.searchPath = "search.asp";
    site.searchBody = "searchKey=%s&x=%%CB%%D1";
    const SiteContext context(site, home.Location());
    SearchRequestText request = BuildSearchRequest(context, "电影");
    EXPECT_EQ(request.url, "http://site.example/search.asp");
    EXPECT_EQ(request.body, "searchKey=%B5%E7%D3%B0&x=%CB%D1");
    EXPECT_EQ(request.referer, "http://site.example/");

    site.searchRequest = SearchRequest::kGet;
    site.searchPath = "q.php?keyword=%s&page=1";
    site.searchOnService = true;
    site.searchRefererIsAddress = true;
    const SiteContext service(site, home.Location());
    request = BuildSearchRequest(service, "ab");
    EXPECT_EQ(request.url, "http://service.example/q.php?keyword=%61%62&page=1");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.referer, request.url);
}

TEST_F(Searches, FailuresAndStallsEndWithoutRows) {
    server_.Route("/find?k=%61", Html(ResultPage(1)));
    FixtureReply hanging = Html(ResultPage(1));
    hanging.stallAfterBytes = 0;
    server_.Route("/find?k=%62", hanging);
    Load(SearchRequest::kGet);

    const SearchHandle missing = manager_->StartSearch("x");  // 404
    EXPECT_TRUE(RunToEnd(missing).empty());

    const SearchHandle stalled = manager_->StartSearch("b");
    EXPECT_EQ(manager_->GetSearchStatus(stalled), 0);
    g_now += 30;
    EXPECT_EQ(manager_->GetSearchStatus(stalled), 0);
    g_now += 1;
    EXPECT_EQ(manager_->GetSearchStatus(stalled), 100);
    TorrentRecordArray rows;
    EXPECT_EQ(manager_->GetSearchData(stalled, &rows), 1);
    EXPECT_TRUE(rows.empty());

    // Bytes trickled are no progress, though each moves the percentage.
    FixtureReply trickling = Html(ResultPage(40));
    trickling.omitLength = true;
    trickling.trickleMs = 20;
    server_.Route("/find?k=%63", trickling);
    const SearchHandle trickled = manager_->StartSearch("c");
    ASSERT_TRUE(server_.WaitTrickled(1));
    manager_->GetSearchStatus(trickled);
    ASSERT_TRUE(server_.WaitTrickled(server_.TrickledBytes() + 2));
    g_now += 31;
    EXPECT_EQ(manager_->GetSearchStatus(trickled), 100);
    EXPECT_EQ(manager_->GetSearchData(trickled, &rows), 1);
    EXPECT_TRUE(rows.empty());

    // Two searches are two tasks; stopping one leaves the other.
    const SearchHandle first = manager_->StartSearch("a");
    const SearchHandle second = manager_->StartSearch("a");
    EXPECT_NE(first, second);
    manager_->StopSearch(first);
    EXPECT_EQ(manager_->GetSearchData(first, &rows), 0);
    EXPECT_EQ(manager_->GetSearchStatus(first), 100);
    EXPECT_EQ(RunToEnd(second).size(), 1u);
}

TEST_F(Searches, ARefusedRequestStartsNothingAndAnInertSiteAsksNothing) {
    Load(SearchRequest::kGet, "");
    home_ = std::make_unique<Home>("Base=ftp://127.0.0.1/\n");
    manager_ = std::make_unique<PluginManager>(site_, home_->Location(), &fetch_support::FakeNow);
    EXPECT_EQ(manager_->StartSearch("ab"), kNoSearch);

    Load(SearchRequest::kInert);
    const SearchHandle handle = manager_->StartSearch("ab");
    EXPECT_NE(handle, kNoSearch);
    EXPECT_EQ(manager_->GetSearchStatus(handle), 100);
    TorrentRecordArray rows(1);
    EXPECT_EQ(manager_->GetSearchData(handle, &rows), 1);
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_TRUE(server_.Requests().empty());
}

}  // namespace
