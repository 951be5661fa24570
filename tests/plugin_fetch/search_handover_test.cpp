// A search hand-over from a second thread while the poll parses.
#include <atomic>
#include <thread>

#include "fetch_support.h"
#include "fixture_server.h"

namespace {

constexpr uint16_t kGroups[] = {kTitle};

TEST(SearchHandOver, FromAnotherThreadWhileThePollParses) {
    testing_support::FixtureServer server;
    fetch_support::Home home("Base=" + server.Url("/") + "\n");
    std::string page = "<html>";
    for (int i = 0; i < 2000; ++i) {
        page += "<r>" + std::to_string(i) + "</r>\n";
    }
    testing_support::FixtureReply reply;
    reply.body = page + "</html>";
    server.Route("/s?k=%61", reply);

    SiteData site;
    site.tag = "t";
    site.defaultCharset = "GBK";
    site.searchRequest = SearchRequest::kGet;
    site.searchPath = "s?k=%s";
    site.search = {.text = "<r>({.*?})</r>", .groups = kGroups};
    PluginManager manager(site, home.Location(), &fetch_support::FakeNow);
    const SearchHandle handle = manager.StartSearch("a");
    ASSERT_NE(handle, kNoSearch);

    std::atomic<bool> done{false};
    TorrentRecordArray handed;
    std::thread collector([&] {
        while (!done.load()) {
            manager.GetSearchData(handle, &handed);
            std::this_thread::yield();
        }
        manager.GetSearchData(handle, &handed);
    });
    const int status = fetch_support::PollUntil([&] { return manager.GetSearchStatus(handle); },
                                                [](int answer) { return answer == 100; });
    done = true;
    collector.join();
    EXPECT_EQ(status, 100);
    ASSERT_EQ(handed.size(), 2000u) << "every row exactly once";
    for (size_t i = 0; i < handed.size(); ++i) {
        ASSERT_EQ(handed[i].Name, "[t]" + std::to_string(i));
    }
}

}  // namespace
