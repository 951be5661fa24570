// CRefreshEngine: fills the catalogue from the plug-ins' page runs.
//
// A refresh request names a node of the category tree. A leaf (c, i) starts
// the page run of slot (c, i) on every plug-in; a category node runs its
// leaves one after another, starting the next when the previous completes.
// Poll() is the 500 ms timer tick: for every active request it asks the
// combined status, moves the entries parsed so far into the leaf's table and
// stops a slot whose status reached 100, which makes the plug-ins adopt the
// newest date they handed over.
//
// Before a batch goes to the store the engine drops the entries stored
// already (same plug-in, Addr0 and AddDate): a run cut short (a kill, a
// failed write) hands the rows of its first pages over again next time.
// A batch the store cannot write ends the leaf as failed, and every plug-in
// is told to forget the slot's date, so the next refresh takes the lost
// rows again (and the check above drops the ones stored meanwhile).
//
// When a leaf ends, the leaf-finished callback gets its report: the rows
// each plug-in brought, and why the leaf or a site failed as far as the
// host can tell (a write the store refused, a listed plug-in that cannot be
// loaded, no plug-in at all).
//
// Progress lives in the nodes themselves (m_bRefreshing, m_nRefreshPercent),
// so the tree and the list can draw it; the engine tells the view which node
// icons to redraw and when the node on show has completed, so the list can
// reload it.
//
// Single-threaded, no clock: the front end calls Poll() from its timer (GUI)
// or loop (CLI). Nodes belong to the configuration's tree and must outlive
// the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "category_node.h"
#include "plugin_host.h"

class CRefreshEngine {
  public:
    // Tree images of a node.
    enum NodeIcon : int {
        kIconFolder = 1,      // a node with children
        kIconItem = 2,        // a node without children
        kIconRefreshing = 3,  // while the node's refresh runs
    };

    // The bar under the torrent list: status text, progress bar and the
    // "RefreshData" button.
    struct ProgressDisplay {
        bool bProgressVisible = false;  // text and bar
        bool bRefreshEnabled = false;   // the button
        int nPercent = 0;
        std::string strText;
    };

    using NodeCallback = std::function<void(CCategoryNode&)>;

    struct SiteFailure {
        int nDllID = -1;
        std::string strReason;
    };
    // One leaf's run, from its start to its end.
    struct LeafReport {
        CCategoryNode* pLeaf = nullptr;
        std::vector<int64_t> rowsByPlugin;  // stored rows, by DllID
        std::vector<SiteFailure> siteFailures;
        // A batch the catalogue refused; the rows of this run that were not
        // stored come again with the next refresh.
        bool bWriteFailed = false;
        std::string strWriteError;

        int64_t RowsStored() const;
        bool Failed() const { return bWriteFailed || !siteFailures.empty(); }
    };
    using LeafReportCallback = std::function<void(const LeafReport&)>;

    // pRoot is the tree's root: it finds the category of a leaf when asking
    // whether a leaf is refreshing as part of its category.
    explicit CRefreshEngine(PluginHost& host, CCategoryNode* pRoot = nullptr);

    // Starts a refresh of a leaf or a category node; bAddToActive lists the
    // node for Poll(). A node that is already refreshing is left alone, so a
    // repeated request changes nothing. The root and sentinels are never
    // refreshed (false). A category node without leaves completes at once
    // with 100 and is not listed.
    [[nodiscard]] bool StartRefresh(CCategoryNode* pNode, bool bAddToActive);
    // StartRefresh of the selected node, listed.
    [[nodiscard]] bool RefreshSelectedNode();

    // The timer tick: polls every active request, then notifies the
    // selected-node callback when the node on show completed in this tick.
    void Poll();

    bool HasActiveRefresh() const { return !m_active.empty(); }
    const std::vector<CCategoryNode*>& GetActiveList() const { return m_active; }

    // False for the root; a category node by its own flag; a leaf by its own
    // flag or that of its category.
    bool IsNodeRefreshing(const CCategoryNode& node) const;
    bool IsSelectedNodeRefreshing() const;

    void SetSelectedNode(CCategoryNode* pNode) { m_pSelected = pNode; }
    CCategoryNode* GetSelectedNode() const { return m_pSelected; }

    // The bar's state for the selected node.
    ProgressDisplay GetProgressDisplay() const;
    static NodeIcon GetNodeIcon(const CCategoryNode& node);

    // Called whenever a node's refreshing flag changes, so its icon is redrawn.
    void SetIconChangedCallback(NodeCallback callback) { m_onIconChanged = std::move(callback); }
    // Called once when the selected node completes (the list reloads it).
    void SetSelectedCompletedCallback(NodeCallback callback) {
        m_onSelectedCompleted = std::move(callback);
    }
    // Called once for every leaf whose run ends, failed or not, in the tick
    // in which it ends.
    void SetLeafFinishedCallback(LeafReportCallback callback) {
        m_onLeafFinished = std::move(callback);
    }

  private:
    // One step of a slot's page run: combined status, hand-over into the
    // leaf's table, and the stop at 100. Answers the leaf's new percentage.
    int PollLeaf(CCategoryNode& leaf);
    void PollCategory(CCategoryNode& category);
    void PollActiveList();
    void StartLeaf(CCategoryNode& leaf);
    // Moves the collected entries that are not stored yet into the leaf's
    // table; false when the catalogue refused them.
    bool StoreEntries(CCategoryNode& leaf, TorrentRecordArray& records);
    void FinishLeaf(CCategoryNode& leaf);
    void Complete(CCategoryNode& node);
    void IconChanged(CCategoryNode& node);
    const CCategoryNode* FindCategoryOf(const CCategoryNode& leaf) const;

    PluginHost& m_host;
    CCategoryNode* m_pRoot;
    CCategoryNode* m_pSelected = nullptr;
    std::vector<CCategoryNode*> m_active;
    std::map<CCategoryNode*, LeafReport> m_runs;  // the leaves running now
    NodeCallback m_onIconChanged;
    NodeCallback m_onSelectedCompleted;
    LeafReportCallback m_onLeafFinished;
};
