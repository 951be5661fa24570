// A hand-over from a second thread while the first polls and parses.
#include <gtest/gtest.h>

#include <atomic>

#include "plugin_manager.h"
#include "run_helpers.h"
#include "test_home.h"
#include "wren_site.h"

namespace {

using namespace run_helpers;

TEST(HandOver, FromAnotherThreadWhileThePollParses) {
    testing_support::FixtureServer server;
    TestHome home;
    home.WriteIni("[Site_wren.so]\nBase=" + server.Url("/") + "\n");
    std::vector<int> expected;
    for (int page = 1; page <= 22; ++page) {
        ServePage(server, 1, page, Rows(page * 10, 5, 1440 - (page - 1) * 5));
        for (int i = 0; i < 5; ++i) {
            expected.push_back(page * 10 + i);
        }
    }
    g_now = LocalSeconds(2024, 6, 15, 12, 0);
    PluginManager manager(wren::kSite, home.Location(), &FakeNow);
    manager.StartDownPage(3, 1);  // creates the task: the manager's table is not shared

    std::atomic<bool> done{false};
    TorrentRecordArray handed;
    std::thread collector([&] {
        while (!done.load()) {
            manager.GetDownPageData(3, 1, &handed);
            std::this_thread::yield();
        }
        manager.GetDownPageData(3, 1, &handed);
    });
    PollUntilDone([&] { return manager.GetDownPageStatus(3, 1); }, [](TorrentRecordArray*) {});
    done = true;
    collector.join();

    std::vector<int> ids;
    for (const auto& row : handed) {
        ids.push_back(IdOf(row));
    }
    EXPECT_EQ(ids, expected) << "every row exactly once, in page order";
}

}  // namespace
