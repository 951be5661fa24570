// CNodePager: the pages of a category-tree node's catalogue rows, newest
// first, as the torrent list shows them and the command line lists them.
//
// A leaf pages through its own table. A category merges the cursors of all
// its leaves by AddDate: each leaf holds at most one pending row, the newest
// pending row is taken (ties go to the leaf that comes first), and rows read
// but not taken are stepped back so the next page reads them again. The root
// has no rows.
//
// The pager works on the tables' own cursors and keeps, per leaf, the
// position where the last fill started reading, so a fill in the other
// direction can turn round exactly there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "category_node.h"
#include "torrent_record.h"

struct ListedRow {
    TorrentRecord record;
    CCategoryNode* leaf = nullptr;  // the leaf whose table holds the row
};

class CNodePager {
  public:
    static constexpr size_t kPageSize = 100;

    explicit CNodePager(CCategoryNode* node, size_t pageSize = kPageSize)
        : m_pNode(node), m_nPageSize(pageSize) {}

    // Each fill replaces `rows` with one page, newest first.
    void FirstPage(std::vector<ListedRow>& rows);
    void LastPage(std::vector<ListedRow>& rows);
    void NextPage(std::vector<ListedRow>& rows);
    void PrevPage(std::vector<ListedRow>& rows);
    // The page that starts nOffset rows after the newest; NextPage and
    // PrevPage go on from there. A leaf finds the row in its date index; a
    // category merges and drops the rows before it.
    void PageAt(int64_t nOffset, std::vector<ListedRow>& rows);

    // Where the last fill left the node: the first (last) page is showing.
    // A missing node or the root is both.
    bool IsFirstPage() const;
    bool IsLastPage() const;

    // Rows of the node: a leaf's table, the sum over a category's leaves, or
    // over every leaf for the root.
    static int64_t CountRows(CCategoryNode& node);

  private:
    enum class Direction { kForward, kBackward };

    std::vector<CCategoryNode*> Leaves() const;
    void Fill(Direction direction, bool fromEnd, std::vector<ListedRow>& rows);
    // Turns a leaf's cursor round at the position where its previous fill
    // started, and remembers where this fill starts.
    void PrepareLeaf(CCategoryNode& leaf, Direction direction, bool fromEnd);

    CCategoryNode* m_pNode;
    size_t m_nPageSize;
    Direction m_lastDirection = Direction::kForward;
    bool m_bFilled = false;
};
