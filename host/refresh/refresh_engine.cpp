#include "refresh_engine.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "texts.h"

namespace {

constexpr int kComplete = 100;

// -1 means no plug-in could answer for the slot: nothing will ever arrive,
// so it counts as finished instead of leaving the refresh running forever.
int ToPercent(int nStatus) {
    return nStatus == -1 ? kComplete : std::clamp(nStatus, 0, kComplete);
}

size_t LeafCount(const CCategoryNode& category) {
    // Child 0 is the sentinel.
    return category.GetChildCount() > 0 ? category.GetChildCount() - 1 : 0;
}

}  // namespace

CRefreshEngine::CRefreshEngine(PluginHost& host, CCategoryNode* pRoot)
    : m_host(host), m_pRoot(pRoot) {}

void CRefreshEngine::IconChanged(CCategoryNode& node) {
    if (m_onIconChanged) {
        m_onIconChanged(node);
    }
}

int64_t CRefreshEngine::LeafReport::RowsStored() const {
    return std::accumulate(rowsByPlugin.begin(), rowsByPlugin.end(), int64_t{0});
}

void CRefreshEngine::StartLeaf(CCategoryNode& leaf) {
    LeafReport& run = m_runs[&leaf] = LeafReport{};
    run.pLeaf = &leaf;
    const std::vector<PluginHost::PluginInfo>& plugins = m_host.GetPluginInfo();
    run.rowsByPlugin.assign(plugins.size(), 0);
    for (const PluginHost::PluginInfo& plugin : plugins) {
        if (plugin.state != PluginHost::PluginState::kLoaded) {
            run.siteFailures.push_back({plugin.nDllID, plugin.strReason});
        }
    }
    if (plugins.empty()) {
        run.siteFailures.push_back({-1, "no plug-in is listed in " + m_host.GetHome() +
                                            "kernel/dllmgr.ini, or the file cannot be read"});
    }
    m_host.StartDownPage(leaf.m_nCategoryId, leaf.m_nSubIndex);
    leaf.m_nRefreshPercent = 0;
    leaf.m_bRefreshing = 1;
    IconChanged(leaf);
}

bool CRefreshEngine::StartRefresh(CCategoryNode* pNode, bool bAddToActive) {
    if (!pNode || pNode->IsSentinel() || pNode->IsRoot() || pNode->m_bRefreshing) {
        return false;
    }
    CCategoryNode& node = *pNode;
    if (node.IsLeaf()) {
        StartLeaf(node);
    } else {
        const size_t nLeaves = LeafCount(node);
        if (nLeaves == 0) {
            node.m_nRefreshPercent = kComplete;
            return true;
        }
        // Only the first leaf starts now; the poll starts each next one when
        // the previous completes.
        CCategoryNode* pFirst = node.GetChild(1);
        if (!pFirst->m_bRefreshing) {
            StartLeaf(*pFirst);
        }
        for (size_t k = 2; k <= nLeaves; ++k) {
            CCategoryNode* pLeaf = node.GetChild(k);
            if (!pLeaf->m_bRefreshing) {
                pLeaf->m_nRefreshPercent = 0;
            }
        }
        node.m_nRefreshPercent = 0;
        node.m_bRefreshing = 1;
        IconChanged(node);
    }
    if (bAddToActive) {
        m_active.push_back(&node);
    }
    return true;
}

bool CRefreshEngine::RefreshSelectedNode() {
    return StartRefresh(m_pSelected, true);
}

bool CRefreshEngine::StoreEntries(CCategoryNode& leaf, TorrentRecordArray& records) {
    if (records.empty()) {
        return true;
    }
    if (!leaf.m_Table.DropStoredEntries(records) || !leaf.m_Table.InsertBatch(records)) {
        return false;
    }
    LeafReport& run = m_runs[&leaf];
    for (const TorrentRecord& record : records) {
        if (record.DllID >= 0) {
            if (static_cast<size_t>(record.DllID) >= run.rowsByPlugin.size()) {
                run.rowsByPlugin.resize(static_cast<size_t>(record.DllID) + 1, 0);
            }
            ++run.rowsByPlugin[static_cast<size_t>(record.DllID)];
        }
    }
    return true;
}

int CRefreshEngine::PollLeaf(CCategoryNode& leaf) {
    const int nGroup = leaf.m_nCategoryId;
    const int nIndex = leaf.m_nSubIndex;
    int nPercent = ToPercent(m_host.GetDownPageStatus(nGroup, nIndex));
    // The hand-over comes before the stop: a stop discards what the plug-ins
    // still hold.
    TorrentRecordArray records;
    m_host.GetDownPageData(nGroup, nIndex, records);
    const bool bStored = StoreEntries(leaf, records);
    const auto run = m_runs.find(&leaf);
    if ((!bStored || nPercent == kComplete) && run != m_runs.end()) {
        // Asked before the stop, while the plug-ins still hold the run.
        for (PluginHost::PageFailure& failure : m_host.GetDownPageFailures(nGroup, nIndex)) {
            run->second.siteFailures.push_back({failure.nDllID, std::move(failure.strReason)});
        }
    }
    if (!bStored) {
        LeafReport& run = m_runs[&leaf];
        run.bWriteFailed = true;
        run.strWriteError = CTorrentTable::LastError();
        // The stop alone would let a plug-in whose run had ended adopt the
        // dates of rows that never reached the table. Forgetting the date
        // makes the next run take them again.
        m_host.StopDownPage(nGroup, nIndex);
        m_host.ClearPageRecord(nGroup, nIndex, OleDate::LocalEpoch());
        nPercent = kComplete;
    } else if (nPercent == kComplete) {
        m_host.StopDownPage(nGroup, nIndex);
    }
    leaf.m_nRefreshPercent = static_cast<uint8_t>(nPercent);
    if (nPercent == kComplete) {
        leaf.m_bRefreshing = 0;
        FinishLeaf(leaf);
    }
    return nPercent;
}

void CRefreshEngine::FinishLeaf(CCategoryNode& leaf) {
    const auto found = m_runs.find(&leaf);
    if (found == m_runs.end()) {
        return;
    }
    const LeafReport report = std::move(found->second);
    m_runs.erase(found);
    if (m_onLeafFinished) {
        m_onLeafFinished(report);
    }
}

void CRefreshEngine::Complete(CCategoryNode& node) {
    node.m_nRefreshPercent = kComplete;
    node.m_bRefreshing = 0;
}

void CRefreshEngine::PollCategory(CCategoryNode& category) {
    const size_t nLeaves = LeafCount(category);
    if (nLeaves == 0) {
        Complete(category);
        return;
    }
    int nSum = 0;
    CCategoryNode* pCurrent = nullptr;
    for (size_t k = 1; k <= nLeaves; ++k) {
        CCategoryNode* pLeaf = category.GetChild(k);
        if (pLeaf->m_bRefreshing) {
            pCurrent = pLeaf;
            break;
        }
        nSum += pLeaf->m_nRefreshPercent;
    }

    // Without a current leaf, a leaf's own refresh has completed it before
    // the walk got there: the walk goes on as if that leaf had just completed.
    bool bAdvance = pCurrent == nullptr;
    if (pCurrent) {
        nSum += PollLeaf(*pCurrent);
        if (!pCurrent->m_bRefreshing) {
            IconChanged(*pCurrent);
            bAdvance = true;
        }
    }
    category.m_nRefreshPercent = static_cast<uint8_t>(nSum / static_cast<int>(nLeaves));
    if (!bAdvance) {
        return;
    }

    // The next leaf that has not completed in this refresh: every leaf not
    // yet reached was set to 0 when the category started. One that is
    // refreshing by itself is not started twice; the walk takes it over.
    for (size_t k = 1; k <= nLeaves; ++k) {
        CCategoryNode* pLeaf = category.GetChild(k);
        if (pLeaf->m_nRefreshPercent != kComplete) {
            // False for a leaf refreshing by itself: the walk takes it over.
            [[maybe_unused]] const bool bStarted = StartRefresh(pLeaf, false);
            return;
        }
    }
    Complete(category);
}

void CRefreshEngine::PollActiveList() {
    // A snapshot: completed nodes leave the list during the visit, and a
    // callback may ask for new refreshes.
    const std::vector<CCategoryNode*> visit = m_active;
    for (CCategoryNode* pNode : visit) {
        // A listed leaf may have been completed by its category's walk
        // earlier in this tick; its slot is stopped already.
        if (pNode->IsLeaf() && pNode->m_bRefreshing) {
            PollLeaf(*pNode);
        } else if (!pNode->IsLeaf()) {
            PollCategory(*pNode);
        }
        if (!pNode->m_bRefreshing) {
            m_active.erase(std::find(m_active.begin(), m_active.end(), pNode));
            IconChanged(*pNode);
        }
    }
}

void CRefreshEngine::Poll() {
    CCategoryNode* pSelected = m_pSelected;
    const bool bWasRefreshing = pSelected && IsNodeRefreshing(*pSelected);
    const int nBefore = pSelected ? pSelected->m_nRefreshPercent : 0;
    PollActiveList();
    if (bWasRefreshing && pSelected->m_nRefreshPercent == kComplete && nBefore != kComplete &&
        m_onSelectedCompleted) {
        m_onSelectedCompleted(*pSelected);
    }
}

const CCategoryNode* CRefreshEngine::FindCategoryOf(const CCategoryNode& leaf) const {
    auto contains = [&leaf](const CCategoryNode& category) {
        for (size_t k = 1; k < category.GetChildCount(); ++k) {
            if (category.GetChild(k) == &leaf) {
                return true;
            }
        }
        return false;
    };
    // Found by containment, not by the category id: ids come from the
    // configuration and need not equal the category's position.
    if (m_pRoot) {
        for (size_t i = 1; i < m_pRoot->GetChildCount(); ++i) {
            if (contains(*m_pRoot->GetChild(i))) {
                return m_pRoot->GetChild(i);
            }
        }
        return nullptr;
    }
    // Without the tree, only a listed category can be refreshing.
    for (const CCategoryNode* pNode : m_active) {
        if (pNode->IsCategory() && contains(*pNode)) {
            return pNode;
        }
    }
    return nullptr;
}

bool CRefreshEngine::IsNodeRefreshing(const CCategoryNode& node) const {
    if (node.IsRoot() || node.IsSentinel()) {
        return false;
    }
    if (node.m_bRefreshing) {
        return true;
    }
    if (!node.IsLeaf()) {
        return false;
    }
    const CCategoryNode* pCategory = FindCategoryOf(node);
    return pCategory && pCategory->m_bRefreshing;
}

bool CRefreshEngine::IsSelectedNodeRefreshing() const {
    return m_pSelected && IsNodeRefreshing(*m_pSelected);
}

CRefreshEngine::ProgressDisplay CRefreshEngine::GetProgressDisplay() const {
    ProgressDisplay display;
    if (!m_pSelected || m_pSelected->IsRoot() || m_pSelected->IsSentinel()) {
        return display;
    }
    display.nPercent = m_pSelected->m_nRefreshPercent;
    if (!IsNodeRefreshing(*m_pSelected)) {
        display.bRefreshEnabled = true;
        return display;
    }
    display.bProgressVisible = true;
    char szText[256];
    std::snprintf(szText, sizeof szText, texts::LoadString(texts::IDS_UPDATING).data(),
                  display.nPercent);
    display.strText = szText;
    return display;
}

CRefreshEngine::NodeIcon CRefreshEngine::GetNodeIcon(const CCategoryNode& node) {
    if (node.m_bRefreshing) {
        return kIconRefreshing;
    }
    return node.GetChildCount() > 1 ? kIconFolder : kIconItem;
}
