#include "refresh_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "plugin_home.h"

namespace {

// One scripted plug-in and the tree: root; category 3 with leaves (3,1)
// (3,2) (3,3); category 4 without leaves; category 5, at position 3, with
// leaves (5,1) (5,2).
class RefreshEngineTest : public ::testing::Test {
  protected:
    RefreshEngineTest() {
        home.ListPlugins(1);
        std::string strError;
        const std::string strDb = home.Kernel() + "websdata.db";
        EXPECT_TRUE(CreateCatalogue(strDb, {"t31", "t32", "t33", "t51", "t52"}, strError));
        CTorrentTable::SetDatabasePath(strDb);
        root.AppendChild(CCategoryNode::MakeSentinel());
        cat = AddCategory(3, 3);
        empty = AddCategory(4, 0);
        other = AddCategory(5, 2);
        host.GetPluginCount();
        p0 = home.Script("p0.so");
        engine.SetIconChangedCallback([this](CCategoryNode& node) { icons.push_back(&node); });
        engine.SetSelectedCompletedCallback(
            [this](CCategoryNode& node) { reloads.push_back(&node); });
    }

    CCategoryNode* AddCategory(uint8_t id, uint8_t leaves) {
        auto* category = root.AppendChild(std::make_unique<CCategoryNode>(id, 0, leaves, "c"));
        category->AppendChild(CCategoryNode::MakeSentinel());
        for (uint8_t i = 1; i <= leaves; ++i) {
            const std::string table = "t" + std::to_string(id) + std::to_string(i);
            category->AppendChild(std::make_unique<CCategoryNode>(id, i, 1, "l", table));
        }
        return category;
    }
    CCategoryNode* Leaf(int i) { return cat->GetChild(i); }
    void Status(int group, int index, int status) { p0->pageStatus[group * 8 + index] = status; }
    int Count(const std::string& call) {
        return static_cast<int>(std::count(p0->calls.begin(), p0->calls.end(), call));
    }

    PluginHome home;
    PluginHost host{home.Dir()};
    CCategoryNode root{0, 0, 3, "root"};
    CCategoryNode *cat, *empty, *other;
    CRefreshEngine engine{host, &root};
    PluginScript* p0;
    std::vector<CCategoryNode*> icons, reloads;
};

TEST_F(RefreshEngineTest, CategoryRunsItsLeavesOneAfterAnother) {
    Leaf(3)->m_nRefreshPercent = 100;  // from an earlier refresh
    Status(3, 1, 50);
    ASSERT_TRUE(engine.StartRefresh(cat, true));
    EXPECT_EQ(p0->calls, std::vector<std::string>{"StartDownPage 3 1"});
    EXPECT_TRUE(cat->m_bRefreshing && Leaf(1)->m_bRefreshing && !Leaf(2)->m_bRefreshing);
    EXPECT_EQ(Leaf(3)->m_nRefreshPercent, 0);
    EXPECT_EQ(CRefreshEngine::GetNodeIcon(*cat), CRefreshEngine::kIconRefreshing);
    engine.Poll();
    EXPECT_EQ(cat->m_nRefreshPercent, 16);

    // Leaf 2 starts in the tick in which leaf 1 reaches 100.
    Status(3, 1, 100);
    Status(3, 2, 50);
    engine.Poll();
    EXPECT_TRUE(!Leaf(1)->m_bRefreshing && Leaf(2)->m_bRefreshing);
    EXPECT_EQ(Count("StopDownPage 3 1") + Count("StartDownPage 3 2"), 2);
    engine.Poll();
    EXPECT_EQ(cat->m_nRefreshPercent, 50);

    // The category completes in the tick in which its last leaf does.
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_TRUE(cat->m_bRefreshing);
    engine.Poll();
    EXPECT_FALSE(cat->m_bRefreshing || engine.HasActiveRefresh());
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
    EXPECT_EQ(Count("StartDownPage 3 3") + Count("StopDownPage 3 3"), 2);
    EXPECT_EQ(CRefreshEngine::GetNodeIcon(*cat), CRefreshEngine::kIconFolder);
    EXPECT_EQ(CRefreshEngine::GetNodeIcon(*Leaf(3)), CRefreshEngine::kIconItem);
    EXPECT_EQ(std::count(icons.begin(), icons.end(), Leaf(2)), 2);
    EXPECT_EQ(icons.back(), cat);
}

TEST_F(RefreshEngineTest, RepeatedRequestsAndSingleLeaves) {
    Status(3, 2, 40);
    EXPECT_TRUE(engine.StartRefresh(Leaf(2), true));
    EXPECT_FALSE(engine.StartRefresh(Leaf(2), true));
    EXPECT_FALSE(engine.StartRefresh(&root, true));
    EXPECT_FALSE(engine.StartRefresh(root.GetChild(0), true));
    EXPECT_EQ(engine.GetActiveList(), std::vector<CCategoryNode*>{Leaf(2)});
    EXPECT_EQ(Count("StartDownPage 3 2"), 1);

    // A single leaf leaves its category alone.
    engine.Poll();
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_FALSE(cat->m_bRefreshing);
    EXPECT_EQ(std::count(icons.begin(), icons.end(), cat), 0);
    EXPECT_EQ(Count("StartDownPage 3 1") + Count("StartDownPage 3 3"), 0);
}

TEST_F(RefreshEngineTest, ShownNodeIsReloadedOnceWhenItCompletes) {
    engine.SetSelectedNode(Leaf(2));
    Status(3, 2, 30);
    ASSERT_TRUE(engine.StartRefresh(cat, true));
    engine.Poll();  // leaf 1 completes while leaf 2 is on show
    engine.Poll();
    EXPECT_TRUE(reloads.empty());
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_EQ(reloads, std::vector<CCategoryNode*>{Leaf(2)});
    engine.Poll();
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(reloads.size(), 1u);

    reloads.clear();
    engine.SetSelectedNode(cat);
    ASSERT_TRUE(engine.StartRefresh(cat, true));
    engine.Poll();
    engine.Poll();
    EXPECT_TRUE(reloads.empty());
    engine.Poll();
    EXPECT_EQ(reloads, std::vector<CCategoryNode*>{cat});
}

TEST_F(RefreshEngineTest, RefreshesThatCanFetchNothingStillEnd) {
    // No plug-in answers for the slot: finished, and the slot is stopped.
    Status(3, 1, -1);
    Status(3, 2, 250);
    ASSERT_TRUE(engine.StartRefresh(Leaf(1), true));
    ASSERT_TRUE(engine.StartRefresh(Leaf(2), true));
    engine.Poll();
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(Leaf(1)->m_nRefreshPercent, 100);
    EXPECT_EQ(Leaf(2)->m_nRefreshPercent, 100);
    EXPECT_EQ(Count("StopDownPage 3 1"), 1);

    // A category without leaves completes at once.
    empty->m_nRefreshPercent = 20;
    EXPECT_TRUE(engine.StartRefresh(empty, true));
    EXPECT_FALSE(empty->m_bRefreshing || engine.HasActiveRefresh());
    EXPECT_EQ(empty->m_nRefreshPercent, 100);

    // No plug-ins at all.
    home.WriteRegistry("[DLL]\ncount=0\n");
    PluginHost bare(home.Dir());
    CRefreshEngine lone(bare, &root);
    ASSERT_TRUE(lone.StartRefresh(cat, true));
    for (int tick = 0; tick < 3; ++tick) {
        lone.Poll();
    }
    EXPECT_FALSE(lone.HasActiveRefresh() || cat->m_bRefreshing);
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
}

TEST_F(RefreshEngineTest, CategoryGoesOnAfterALeafCompletedByItsOwnRefresh) {
    for (int i = 1; i <= 3; ++i) {
        Status(3, i, 20);
    }
    // Leaves 1 and 3 are refreshed by themselves too; the category finds
    // leaf 1 running and leaves it as it is.
    ASSERT_TRUE(engine.StartRefresh(Leaf(1), true));
    ASSERT_TRUE(engine.StartRefresh(cat, true));
    ASSERT_TRUE(engine.StartRefresh(Leaf(3), true));
    Status(3, 3, 100);
    engine.Poll();
    EXPECT_FALSE(Leaf(3)->m_bRefreshing);

    // Leaf 1's own request completes it before the category's walk polls it.
    Status(3, 1, 100);
    engine.Poll();
    EXPECT_TRUE(Leaf(2)->m_bRefreshing);
    EXPECT_EQ(engine.GetActiveList(), std::vector<CCategoryNode*>{cat});

    // Leaf 3 is done already: the category completes after leaf 2.
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_FALSE(cat->m_bRefreshing || engine.HasActiveRefresh());
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
    EXPECT_EQ(Count("StartDownPage 3 1") + Count("StartDownPage 3 3"), 2);
}

TEST_F(RefreshEngineTest, StoredEntriesAreSkippedAndAFailedWriteForgetsTheSlot) {
    home.WriteRegistry("[DLL]\ncount=3\n0=p0.so\n1=p1.so\n2=gone.so\n");
    home.AddPlugin("p1.so");
    PluginHost sites(home.Dir());
    sites.GetPluginCount();
    CRefreshEngine refresher(sites, &root);
    std::vector<CRefreshEngine::LeafReport> reports;
    refresher.SetLeafFinishedCallback(
        [&](const CRefreshEngine::LeafReport& report) { reports.push_back(report); });
    PluginScript* p1 = home.Script("p1.so");
    const auto row = [](const char* pszAddr0, int nDllID) {
        TorrentRecord record;
        record.AddDate = OleDate::FromFields(2024, 5, 1, 12, 0, 0);
        record.Addr0 = pszAddr0;
        record.DllID = nDllID;
        return record;
    };

    // An interrupted run stored a and b; the next run hands them over again
    // with c. The same entry from another site is a row of its own.
    ASSERT_TRUE(Leaf(1)->m_Table.InsertBatch({row("a", 0), row("b", 0)}));
    p0->pageRows[25] = {row("a", -1), row("b", -1), row("c", -1), row("c", -1)};
    p1->pageRows[25] = {row("a", -1)};
    ASSERT_TRUE(refresher.StartRefresh(cat, true));
    refresher.Poll();
    EXPECT_EQ(Leaf(1)->m_Table.Count(), 4);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rowsByPlugin, (std::vector<int64_t>{1, 1, 0}));
    ASSERT_EQ(reports[0].siteFailures.size(), 1u);
    EXPECT_EQ(reports[0].siteFailures[0].nDllID, 2);
    EXPECT_FALSE(reports[0].bWriteFailed);

    // Leaf 2's table is gone: its run ends at once as failed, the plug-ins
    // forget the slot's date, and the category goes on with leaf 3.
    Leaf(2)->m_Table.SetTableName("vanished");
    Status(3, 2, 40);
    p0->pageRows[26] = {row("d", -1)};
    refresher.Poll();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[1].bWriteFailed && reports[1].Failed());
    EXPECT_NE(reports[1].strWriteError.find("vanished"), std::string::npos);
    EXPECT_EQ(reports[1].RowsStored(), 0);
    const std::string forget = "ClearPageRecord 3 2 " + std::to_string(OleDate::LocalEpoch().m_dt);
    EXPECT_EQ(Count("StopDownPage 3 2") + Count(forget), 2);
    EXPECT_TRUE(!Leaf(2)->m_bRefreshing && Leaf(3)->m_bRefreshing);
}

TEST_F(RefreshEngineTest, ProgressDisplayFollowsTheShownNode) {
    engine.SetSelectedNode(&root);
    CRefreshEngine::ProgressDisplay display = engine.GetProgressDisplay();
    EXPECT_FALSE(display.bProgressVisible || display.bRefreshEnabled);
    EXPECT_FALSE(engine.RefreshSelectedNode());

    // A leaf not yet started shows its category's refresh; the category is
    // found in the tree, not by its id.
    CCategoryNode* leaf51 = other->GetChild(1);
    CCategoryNode* leaf52 = other->GetChild(2);
    engine.SetSelectedNode(leaf52);
    EXPECT_TRUE(engine.GetProgressDisplay().bRefreshEnabled);
    Status(5, 1, 50);
    engine.SetSelectedNode(other);
    EXPECT_TRUE(engine.RefreshSelectedNode());
    engine.Poll();
    EXPECT_EQ(engine.GetProgressDisplay().strText, "Updating...25%");
    engine.SetSelectedNode(leaf52);
    display = engine.GetProgressDisplay();
    EXPECT_TRUE(display.bProgressVisible && !display.bRefreshEnabled);
    EXPECT_EQ(display.strText, "Updating...0%");
    engine.SetSelectedNode(leaf51);
    EXPECT_EQ(engine.GetProgressDisplay().nPercent, 50);
    EXPECT_FALSE(engine.IsNodeRefreshing(*Leaf(1)));

    // Without the tree, the category is found among the requests.
    CRefreshEngine treeless(host);
    ASSERT_TRUE(treeless.StartRefresh(cat, true));
    EXPECT_TRUE(treeless.IsNodeRefreshing(*Leaf(3)) && !treeless.IsNodeRefreshing(*leaf52));

    Status(5, 1, 100);
    engine.Poll();
    engine.Poll();
    display = engine.GetProgressDisplay();
    EXPECT_TRUE(!display.bProgressVisible && display.bRefreshEnabled);
}

}  // namespace
