// The real wren plug-in behind the host and the refresh engine: a category
// refresh against the fixture server lands in the catalogue, and the next
// refresh takes nothing twice.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "plugin_home.h"
#include "refresh_engine.h"
#include "run_helpers.h"

namespace {

using namespace run_helpers;

// Polls as the view's timer does until no refresh is left.
void RunToEnd(CRefreshEngine& engine) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (engine.HasActiveRefresh() && std::chrono::steady_clock::now() < deadline) {
        engine.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(engine.HasActiveRefresh()) << "the refresh did not end";
}

TEST(WrenRefresh, CategoryRefreshFillsTheCatalogueOnce) {
    g_now = LocalSeconds(2024, 6, 15, 12, 0);
    testing_support::FixtureServer server;
    PluginHome home;
    // wren is second in the list, so its rows carry DllID 1.
    home.AddPlugin("p0.so");
    std::filesystem::copy_file(WREN_PLUGIN_PATH, home.Kernel() + "wren.so");
    home.WriteRegistry("[DLL]\ncount=2\n0=p0.so\n1=wren.so\n[Site_wren.so]\nBase=" +
                       server.Url("/") + "\nCharset=GBK\n");
    ServePage(server, 1, 1, {MakeRow(11, 6, 15, 11, 30), MakeRow(12, 6, 14, 9, 0)});
    ServePage(server, 1, 2, {});
    ServePage(server, 2, 1, {MakeRow(21, 6, 13, 8, 0)});
    ServePage(server, 2, 2, {});

    std::string strError;
    const std::string strDb = home.Kernel() + "websdata.db";
    ASSERT_TRUE(CreateCatalogue(strDb, {"anime", "comic"}, strError)) << strError;
    CTorrentTable::SetDatabasePath(strDb);
    CCategoryNode root(0, 0, 1, "root");
    root.AppendChild(CCategoryNode::MakeSentinel());
    CCategoryNode* cat = root.AppendChild(std::make_unique<CCategoryNode>(3, 0, 2, "c"));
    cat->AppendChild(CCategoryNode::MakeSentinel());
    CCategoryNode* anime = cat->AppendChild(std::make_unique<CCategoryNode>(3, 1, 1, "a", "anime"));
    CCategoryNode* comic = cat->AppendChild(std::make_unique<CCategoryNode>(3, 2, 1, "b", "comic"));

    PluginHost host(home.Dir());
    ASSERT_EQ(host.GetUsablePluginCount(), 2) << ::testing::PrintToString(host.TakeLoadReports());
    void* pWren = dlopen((home.Kernel() + "wren.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(pWren, nullptr);
    using PFN_SetPluginClock = void (*)(int64_t(*)());
    reinterpret_cast<PFN_SetPluginClock>(dlsym(pWren, "SetPluginClock"))(&FakeNow);
    dlclose(pWren);

    CRefreshEngine engine(host, &root);
    ASSERT_TRUE(engine.StartRefresh(cat, true));
    RunToEnd(engine);
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
    ASSERT_EQ(anime->m_Table.Count(), 2);
    ASSERT_EQ(comic->m_Table.Count(), 1);

    TorrentRecord row;
    ASSERT_TRUE(anime->m_Table.MoveFirst() && anime->m_Table.ReadNext(row));
    EXPECT_EQ(row.Name, "[wren][字幕组] 动画 11");
    EXPECT_EQ(row.AddDate, OleDate::FromFields(2024, 6, 15, 11, 30));
    EXPECT_EQ(row.Type, 3 * 256 + 1);
    EXPECT_EQ(row.DllID, 1);
    ASSERT_TRUE(comic->m_Table.MoveFirst() && comic->m_Table.ReadNext(row));
    EXPECT_EQ(row.Addr0, server.Url("/download.php?id=21"));
    EXPECT_EQ(row.DllID, 1);

    // The plug-in remembers what it handed over.
    ASSERT_TRUE(engine.StartRefresh(cat, true));
    RunToEnd(engine);
    EXPECT_EQ(anime->m_Table.Count(), 2);
    EXPECT_EQ(comic->m_Table.Count(), 1);
}

}  // namespace
