#include "node_pager.h"

#include <algorithm>
#include <optional>

#include "ado_recordset.h"

namespace {

bool Later(const OleDate& a, const OleDate& b) {
    return a.m_dt > b.m_dt;
}

}  // namespace

std::vector<CCategoryNode*> CNodePager::Leaves() const {
    if (m_pNode == nullptr || m_pNode->IsRoot()) {
        return {};
    }
    return m_pNode->GetLeaves();
}

int64_t CNodePager::CountRows(CCategoryNode& node) {
    int64_t total = 0;
    for (CCategoryNode* leaf : node.GetLeaves()) {
        total += leaf->m_Table.Count();
    }
    return total;
}

void CNodePager::FirstPage(std::vector<ListedRow>& rows) {
    Fill(Direction::kForward, true, rows);
}
void CNodePager::LastPage(std::vector<ListedRow>& rows) {
    Fill(Direction::kBackward, true, rows);
}
void CNodePager::NextPage(std::vector<ListedRow>& rows) {
    Fill(Direction::kForward, false, rows);
}
void CNodePager::PrevPage(std::vector<ListedRow>& rows) {
    Fill(Direction::kBackward, false, rows);
}

void CNodePager::PageAt(int64_t nOffset, std::vector<ListedRow>& rows) {
    const std::vector<CCategoryNode*> leaves = Leaves();
    if (nOffset <= 0 || leaves.empty()) {
        FirstPage(rows);
        return;
    }
    if (leaves.size() == 1) {
        leaves.front()->m_Table.MoveTo(nOffset);
        // As if a forward fill had just ended there.
        m_lastDirection = Direction::kForward;
        m_bFilled = true;
        NextPage(rows);
        return;
    }
    const size_t nPageSize = m_nPageSize;
    std::vector<ListedRow> skipped;
    for (int64_t nLeft = nOffset; nLeft > 0;) {
        m_nPageSize =
            static_cast<size_t>(std::min<int64_t>(nLeft, static_cast<int64_t>(nPageSize)));
        nLeft == nOffset ? FirstPage(skipped) : NextPage(skipped);
        if (skipped.empty()) {
            break;
        }
        nLeft -= static_cast<int64_t>(skipped.size());
    }
    m_nPageSize = nPageSize;
    NextPage(rows);
}

void CNodePager::PrepareLeaf(CCategoryNode& leaf, Direction direction, bool fromEnd) {
    CTorrentTable& table = leaf.m_Table;
    CAdoRecordSet& cursor = table.RecordSet();
    const bool forward = direction == Direction::kForward;
    if (fromEnd) {
        if (forward) {
            table.MoveFirst();
        } else {
            table.Open();
            table.MoveLast();
        }
    } else if (m_bFilled && direction != m_lastDirection) {
        if (cursor.m_vtPageBookmark && cursor.SetBookmark(*cursor.m_vtPageBookmark)) {
            forward ? cursor.MoveNext() : cursor.MovePrevious();
        }
    } else {
        table.Open();
    }
    cursor.m_vtPageBookmark.reset();
    const bool atEnd = forward ? table.IsEOF() : table.IsBOF();
    RecordBookmark start;
    if (!fromEnd && !atEnd && cursor.GetBookmark(start)) {
        cursor.m_vtPageBookmark = start;
    }
}

void CNodePager::Fill(Direction direction, bool fromEnd, std::vector<ListedRow>& rows) {
    rows.clear();
    const std::vector<CCategoryNode*> leaves = Leaves();
    for (CCategoryNode* leaf : leaves) {
        PrepareLeaf(*leaf, direction, fromEnd);
    }
    m_lastDirection = direction;
    m_bFilled = true;
    const bool forward = direction == Direction::kForward;

    struct Source {
        CCategoryNode* leaf;
        std::optional<TorrentRecord> pending;
        bool exhausted = false;
    };
    std::vector<Source> sources;
    for (CCategoryNode* leaf : leaves) {
        sources.push_back({leaf, std::nullopt, false});
    }

    while (rows.size() < m_nPageSize) {
        Source* best = nullptr;
        for (Source& source : sources) {
            if (!source.pending && !source.exhausted) {
                TorrentRecord record;
                const bool read = forward ? source.leaf->m_Table.ReadNext(record)
                                          : source.leaf->m_Table.ReadPrevious(record);
                if (read) {
                    source.pending = std::move(record);
                } else {
                    source.exhausted = true;
                }
            }
            if (!source.pending) {
                continue;
            }
            // Ties go to the leaf that comes first. A backward fill builds
            // the page from its end, so there the later leaf takes a tie.
            if (best == nullptr ||
                (forward ? Later(source.pending->AddDate, best->pending->AddDate)
                         : !Later(source.pending->AddDate, best->pending->AddDate))) {
                best = &source;
            }
        }
        if (best == nullptr) {
            break;
        }
        rows.push_back({std::move(*best->pending), best->leaf});
        best->pending.reset();
    }

    // Rows read but not taken are read again by the next fill.
    for (Source& source : sources) {
        if (source.pending) {
            CAdoRecordSet& cursor = source.leaf->m_Table.RecordSet();
            forward ? cursor.MovePrevious() : cursor.MoveNext();
        }
    }
    if (!forward) {
        std::reverse(rows.begin(), rows.end());
    }
}

bool CNodePager::IsFirstPage() const {
    const std::vector<CCategoryNode*> leaves = Leaves();
    for (CCategoryNode* leaf : leaves) {
        CTorrentTable& table = leaf->m_Table;
        const bool first = m_lastDirection == Direction::kBackward
                               ? table.IsBOF()
                               : !table.RecordSet().m_vtPageBookmark.has_value();
        if (!first) {
            return false;
        }
    }
    return true;
}

bool CNodePager::IsLastPage() const {
    const std::vector<CCategoryNode*> leaves = Leaves();
    for (CCategoryNode* leaf : leaves) {
        CTorrentTable& table = leaf->m_Table;
        const bool last = m_lastDirection == Direction::kForward
                              ? table.IsEOF()
                              : !table.RecordSet().m_vtPageBookmark.has_value();
        if (!last) {
            return false;
        }
    }
    return true;
}
