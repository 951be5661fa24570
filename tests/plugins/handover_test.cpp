// A hand-over from a second thread while the first polls and parses.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "plugin_manager.h"
#include "run_helpers.h"
#include "test_home.h"
#include "wren_site.h"

namespace {

using namespace run_helpers;

TEST(HandOver, FromAnotherThreadWhileThePollParses) {
    testing_support::FixtureServer server;
    TestHome home;
    home.WriteSite(server.Url("/"));
    std::vector<int> expected;
    for (int page = 1; page <= 22; ++page) {
        std::vector<wren_pages::Row> rows;
        for (int i = 0; i < 5; ++i) {
            const int minute = 1439 - (page - 1) * 5 - i;
            rows.push_back(MakeRow(page * 10 + i, 6, 14, minute / 60, minute % 60));
            expected.push_back(page * 10 + i);
        }
        ServePage(server, 1, page, rows);
    }
    g_now = LocalSeconds(2024, 6, 15, 12, 0);
    PluginManager manager(wren::kSite, home.Location(), &FakeNow);

    // Starting creates the task; the manager's table itself is not shared.
    manager.StartDownPage(3, 1);
    std::atomic<bool> done{false};
    TorrentRecordArray handed;
    std::thread collector([&] {
        while (!done.load()) {
            manager.GetDownPageData(3, 1, &handed);
            std::this_thread::yield();
        }
        manager.GetDownPageData(3, 1, &handed);
    });
    const RunResult run =
        PollUntilDone([&] { return manager.GetDownPageStatus(3, 1); }, [](TorrentRecordArray*) {});
    done = true;
    collector.join();
    manager.StopDownPage(3, 1);

    EXPECT_EQ(run.statuses.back(), 100);
    std::vector<int> ids;
    for (const auto& row : handed) {
        ids.push_back(std::stoi(row.Addr0.substr(row.Addr0.find("id=") + 3)));
    }
    EXPECT_EQ(ids, expected) << "every row exactly once, in page order";
}

}  // namespace
