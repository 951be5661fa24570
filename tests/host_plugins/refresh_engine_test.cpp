#include "refresh_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "plugin_home.h"

namespace {

// Two scripted plug-ins and the tree
//   root
//     category 3: leaves (3,1) (3,2) (3,3)
//     category 4: no leaves
//     category 5 (at position 3): leaves (5,1) (5,2)
class RefreshEngineTest : public ::testing::Test {
  protected:
    RefreshEngineTest() {
        home.ListPlugins(2);
        std::string strError;
        const std::string strDb = home.Kernel() + "/websdata.db";
        EXPECT_TRUE(CreateCatalogue(strDb, {"t31", "t32", "t33", "t51", "t52"}, strError))
            << strError;
        CTorrentTable::SetDatabasePath(strDb);

        root.AppendChild(CCategoryNode::MakeSentinel());
        cat = AddCategory(3, 3);
        empty = AddCategory(4, 0);
        other = AddCategory(5, 2);
        host.GetPluginCount();
        p0 = home.Script("p0.so");
        p1 = home.Script("p1.so");
        engine.SetIconChangedCallback(
            [this](CCategoryNode& node) { iconChanges.push_back(&node); });
        engine.SetSelectedCompletedCallback(
            [this](CCategoryNode& node) { reloads.push_back(&node); });
    }

    CCategoryNode* AddCategory(uint8_t id, uint8_t leaves) {
        CCategoryNode* category =
            root.AppendChild(std::make_unique<CCategoryNode>(id, 0, leaves, "category"));
        category->AppendChild(CCategoryNode::MakeSentinel());
        for (uint8_t i = 1; i <= leaves; ++i) {
            const std::string table = "t" + std::to_string(id) + std::to_string(i);
            category->AppendChild(std::make_unique<CCategoryNode>(id, i, 1, "leaf", table));
        }
        return category;
    }

    CCategoryNode* Leaf(int i) { return cat->GetChild(i); }

    // Both plug-ins answer `status` for the slot.
    void Status(int group, int index, int status) {
        p0->pageStatus[group * 8 + index] = status;
        p1->pageStatus[group * 8 + index] = status;
    }

    int Calls(PluginScript* script, const std::string& call) {
        return static_cast<int>(std::count(script->calls.begin(), script->calls.end(), call));
    }

    PluginHome home;
    PluginHost host{home.Dir()};
    CCategoryNode root{0, 0, 3, "root"};
    CCategoryNode* cat = nullptr;
    CCategoryNode* empty = nullptr;
    CCategoryNode* other = nullptr;
    CRefreshEngine engine{host, &root};
    PluginScript* p0 = nullptr;
    PluginScript* p1 = nullptr;
    std::vector<CCategoryNode*> iconChanges;
    std::vector<CCategoryNode*> reloads;
};

TEST_F(RefreshEngineTest, CategoryRunsItsLeavesOneAfterAnother) {
    Leaf(3)->m_nRefreshPercent = 100;  // from an earlier refresh
    Status(3, 1, 0);
    ASSERT_TRUE(engine.StartRefresh(cat, true));
    EXPECT_EQ(p0->calls, std::vector<std::string>{"StartDownPage 3 1"});
    EXPECT_TRUE(cat->m_bRefreshing && Leaf(1)->m_bRefreshing);
    EXPECT_FALSE(Leaf(2)->m_bRefreshing || Leaf(3)->m_bRefreshing);
    EXPECT_EQ(Leaf(3)->m_nRefreshPercent, 0);
    EXPECT_EQ(engine.GetActiveList(), std::vector<CCategoryNode*>{cat});
    EXPECT_EQ(CRefreshEngine::GetNodeIcon(*cat), CRefreshEngine::kIconRefreshing);

    Status(3, 1, 50);
    engine.Poll();
    EXPECT_EQ(Leaf(1)->m_nRefreshPercent, 50);
    EXPECT_EQ(cat->m_nRefreshPercent, 16);

    // Leaf 2 starts in the tick in which leaf 1 reaches 100.
    Status(3, 1, 100);
    Status(3, 2, 0);
    engine.Poll();
    EXPECT_FALSE(Leaf(1)->m_bRefreshing);
    EXPECT_TRUE(Leaf(2)->m_bRefreshing);
    EXPECT_EQ(Calls(p1, "StopDownPage 3 1"), 1);
    EXPECT_EQ(Calls(p1, "StartDownPage 3 2"), 1);
    EXPECT_EQ(cat->m_nRefreshPercent, 33);

    Status(3, 2, 50);
    engine.Poll();
    EXPECT_EQ(cat->m_nRefreshPercent, 50);

    Status(3, 2, 100);
    Status(3, 3, 70);
    engine.Poll();
    engine.Poll();
    EXPECT_EQ(cat->m_nRefreshPercent, 90);
    EXPECT_TRUE(cat->m_bRefreshing);

    // The category completes in the tick in which its last leaf does.
    Status(3, 3, 100);
    engine.Poll();
    EXPECT_FALSE(cat->m_bRefreshing);
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(CRefreshEngine::GetNodeIcon(*cat), CRefreshEngine::kIconFolder);
    EXPECT_EQ(CRefreshEngine::GetNodeIcon(*Leaf(3)), CRefreshEngine::kIconItem);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(Calls(p0, "StartDownPage 3 " + std::to_string(i)), 1);
        EXPECT_EQ(Calls(p0, "StopDownPage 3 " + std::to_string(i)), 1);
    }
    // Every flag change was drawn; the category's last.
    ASSERT_FALSE(iconChanges.empty());
    EXPECT_EQ(iconChanges.back(), cat);
    EXPECT_EQ(std::count(iconChanges.begin(), iconChanges.end(), Leaf(2)), 2);
}

TEST_F(RefreshEngineTest, EntriesReachTheLeafTableBeforeTheStop) {
    TorrentRecord row;
    row.Name = "[wren] first";
    row.AddDate = OleDate::FromFields(2024, 5, 1, 12, 0);
    row.RefreshDate = row.AddDate;
    row.Type = 3 * 256 + 2;
    p1->pageRows[3 * 8 + 2] = {row, row};
    Status(3, 2, 100);

    engine.StartRefresh(Leaf(2), true);
    engine.Poll();
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(Leaf(2)->m_Table.Count(), 2);
    TorrentRecord stored;
    ASSERT_TRUE(Leaf(2)->m_Table.MoveFirst());
    ASSERT_TRUE(Leaf(2)->m_Table.ReadNext(stored));
    EXPECT_EQ(stored.Name, row.Name);
    EXPECT_EQ(stored.DllID, 1);
    // The hand-over came before the stop, which discards what is left.
    const auto data = std::find(p1->calls.begin(), p1->calls.end(), "GetDownPageData 3 2");
    const auto stop = std::find(p1->calls.begin(), p1->calls.end(), "StopDownPage 3 2");
    EXPECT_LT(data, stop);
    EXPECT_NE(stop, p1->calls.end());
    EXPECT_EQ(Leaf(1)->m_Table.Count(), 0);
}

TEST_F(RefreshEngineTest, RepeatedRequestsChangeNothing) {
    Status(3, 1, 10);
    EXPECT_TRUE(engine.StartRefresh(Leaf(1), true));
    EXPECT_FALSE(engine.StartRefresh(Leaf(1), true));
    EXPECT_TRUE(engine.StartRefresh(cat, true));
    EXPECT_FALSE(engine.StartRefresh(cat, true));
    EXPECT_EQ(engine.GetActiveList(), (std::vector<CCategoryNode*>{Leaf(1), cat}));
    EXPECT_EQ(Calls(p0, "StartDownPage 3 1"), 1);

    // The root, a sentinel and nothing are never refreshed.
    EXPECT_FALSE(engine.StartRefresh(&root, true));
    EXPECT_FALSE(engine.StartRefresh(root.GetChild(0), true));
    EXPECT_FALSE(engine.StartRefresh(nullptr, true));
    EXPECT_EQ(engine.GetActiveList().size(), 2u);
}

TEST_F(RefreshEngineTest, SingleLeafLeavesItsCategoryAlone) {
    cat->m_nRefreshPercent = 100;
    Status(3, 2, 40);
    engine.StartRefresh(Leaf(2), true);
    engine.Poll();
    EXPECT_EQ(Leaf(2)->m_nRefreshPercent, 40);
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_FALSE(cat->m_bRefreshing);
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
    EXPECT_EQ(std::count(iconChanges.begin(), iconChanges.end(), cat), 0);
    EXPECT_EQ(Calls(p0, "StartDownPage 3 1") + Calls(p0, "StartDownPage 3 3"), 0);
}

TEST_F(RefreshEngineTest, SelectedNodeIsReloadedOnceWhenItCompletes) {
    engine.SetSelectedNode(Leaf(2));
    Status(3, 1, 100);
    Status(3, 2, 30);
    Status(3, 3, 100);
    engine.StartRefresh(cat, true);
    // Leaf 1 completes while leaf 2 is on show: no reload.
    engine.Poll();
    EXPECT_TRUE(reloads.empty());
    engine.Poll();
    EXPECT_TRUE(reloads.empty());
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_EQ(reloads, std::vector<CCategoryNode*>{Leaf(2)});
    engine.Poll();
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(reloads.size(), 1u);

    // The category on show reloads when its last leaf completes.
    reloads.clear();
    engine.SetSelectedNode(cat);
    Status(3, 2, 30);
    engine.StartRefresh(cat, true);
    engine.Poll();
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_TRUE(reloads.empty());
    engine.Poll();
    EXPECT_EQ(reloads, std::vector<CCategoryNode*>{cat});
}

TEST_F(RefreshEngineTest, NoAnswerFromAnyPluginCountsAsFinished) {
    Status(3, 1, -1);
    engine.SetSelectedNode(Leaf(1));
    engine.StartRefresh(Leaf(1), true);
    engine.Poll();
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(Leaf(1)->m_nRefreshPercent, 100);
    EXPECT_EQ(Calls(p0, "StopDownPage 3 1"), 1);
    EXPECT_EQ(reloads.size(), 1u);

    // Out-of-range answers are held to 0..100.
    Status(3, 2, 250);
    engine.StartRefresh(Leaf(2), true);
    engine.Poll();
    EXPECT_EQ(Leaf(2)->m_nRefreshPercent, 100);
    EXPECT_FALSE(engine.HasActiveRefresh());
}

TEST_F(RefreshEngineTest, NoPluginsAtAllStillEndsTheRefresh) {
    home.WriteRegistry("[DLL]\ncount=0\n");
    PluginHost bare(home.Dir());
    CRefreshEngine lone(bare, &root);
    lone.StartRefresh(cat, true);
    for (int tick = 0; tick < 3; ++tick) {
        lone.Poll();
    }
    EXPECT_FALSE(lone.HasActiveRefresh());
    EXPECT_FALSE(cat->m_bRefreshing);
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
}

TEST_F(RefreshEngineTest, CategoryWithoutLeavesCompletesAtOnce) {
    empty->m_nRefreshPercent = 20;
    EXPECT_TRUE(engine.StartRefresh(empty, true));
    EXPECT_FALSE(empty->m_bRefreshing);
    EXPECT_EQ(empty->m_nRefreshPercent, 100);
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(CRefreshEngine::GetNodeIcon(*empty), CRefreshEngine::kIconItem);
}

TEST_F(RefreshEngineTest, CategoryGoesOnAfterALeafCompletedByItsOwnRefresh) {
    // Leaf 1 is refreshed by itself first; its category then finds it running.
    Status(3, 1, 20);
    Status(3, 2, 20);
    Status(3, 3, 20);
    engine.StartRefresh(Leaf(1), true);
    engine.StartRefresh(cat, true);
    // Leaf 3 by itself as well.
    engine.StartRefresh(Leaf(3), true);
    Status(3, 3, 100);
    engine.Poll();
    EXPECT_FALSE(Leaf(3)->m_bRefreshing);

    // Leaf 1's own element completes it before the category's walk polls it.
    Status(3, 1, 100);
    engine.Poll();
    EXPECT_FALSE(Leaf(1)->m_bRefreshing);
    EXPECT_TRUE(Leaf(2)->m_bRefreshing);
    EXPECT_EQ(engine.GetActiveList(), std::vector<CCategoryNode*>{cat});

    // Leaf 3 completed already: the category completes after leaf 2.
    Status(3, 2, 100);
    engine.Poll();
    EXPECT_FALSE(cat->m_bRefreshing);
    EXPECT_FALSE(engine.HasActiveRefresh());
    EXPECT_EQ(cat->m_nRefreshPercent, 100);
    EXPECT_EQ(Calls(p0, "StartDownPage 3 3"), 1);
    EXPECT_EQ(Calls(p0, "StartDownPage 3 1"), 1);
}

TEST_F(RefreshEngineTest, ProgressDisplayFollowsTheSelectedNode) {
    engine.SetSelectedNode(&root);
    CRefreshEngine::ProgressDisplay display = engine.GetProgressDisplay();
    EXPECT_FALSE(display.bProgressVisible || display.bRefreshEnabled);
    EXPECT_FALSE(engine.RefreshSelectedNode());

    // A leaf counts as refreshing while its category does; its category is
    // found in the tree, whatever its id.
    CCategoryNode* leaf51 = other->GetChild(1);
    CCategoryNode* leaf52 = other->GetChild(2);
    engine.SetSelectedNode(leaf52);
    EXPECT_TRUE(engine.GetProgressDisplay().bRefreshEnabled);
    Status(5, 1, 50);
    engine.SetSelectedNode(other);
    EXPECT_TRUE(engine.RefreshSelectedNode());
    engine.Poll();
    display = engine.GetProgressDisplay();
    EXPECT_EQ(display.strText, "Updating...25%");
    engine.SetSelectedNode(leaf52);
    EXPECT_TRUE(engine.IsSelectedNodeRefreshing());
    display = engine.GetProgressDisplay();
    EXPECT_TRUE(display.bProgressVisible);
    EXPECT_FALSE(display.bRefreshEnabled);
    EXPECT_EQ(display.strText, "Updating...0%");
    engine.SetSelectedNode(leaf51);
    display = engine.GetProgressDisplay();
    EXPECT_EQ(display.nPercent, 50);
    EXPECT_EQ(display.strText, "Updating...50%");
    EXPECT_FALSE(engine.IsNodeRefreshing(*Leaf(1)));

    // Without the tree the engine finds the category among its requests.
    CRefreshEngine treeless(host);
    treeless.StartRefresh(cat, true);
    EXPECT_TRUE(treeless.IsNodeRefreshing(*Leaf(3)));
    EXPECT_FALSE(treeless.IsNodeRefreshing(*leaf52));

    Status(5, 1, 100);
    engine.Poll();
    EXPECT_TRUE(engine.GetProgressDisplay().bProgressVisible);
    engine.Poll();
    display = engine.GetProgressDisplay();
    EXPECT_FALSE(display.bProgressVisible);
    EXPECT_TRUE(display.bRefreshEnabled);
}

}  // namespace
