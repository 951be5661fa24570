// CCategoryNode: a node of the category tree that the configuration builds
// from the FILETYPE sections of global.ini.
//
// Three kinds of node, told apart by (category id, sub index): the root
// (0, 0) whose children are the categories, a category (c, 0) whose children
// are its leaves, and a leaf (c, i) with i >= 1, which is the category slot
// (group c, index i) the plug-ins serve and owns the catalogue table of its
// entries. Child 0 of every node is a sentinel (255, 255, kind 255) that
// every walk skips, so positions of real children start at 1; the download
// tasks rely on this to find a leaf from a record's Type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "torrent_table.h"

class CCategoryNode {
  public:
    static constexpr uint8_t kSentinel = 255;

    CCategoryNode(uint8_t nCategoryId, uint8_t nSubIndex, uint8_t nKind, std::string strName,
                  std::string strTableName = {});
    ~CCategoryNode();
    CCategoryNode(const CCategoryNode&) = delete;
    CCategoryNode& operator=(const CCategoryNode&) = delete;

    static std::unique_ptr<CCategoryNode> MakeSentinel();

    bool IsSentinel() const {
        return m_nCategoryId == kSentinel && m_nSubIndex == kSentinel && m_nKind == kSentinel;
    }
    bool IsRoot() const { return m_nCategoryId == 0 && m_nSubIndex == 0; }
    bool IsCategory() const { return !IsSentinel() && m_nCategoryId != 0 && m_nSubIndex == 0; }
    bool IsLeaf() const { return !IsSentinel() && m_nSubIndex != 0; }

    // Takes ownership; answers the appended node.
    CCategoryNode* AppendChild(std::unique_ptr<CCategoryNode> child);
    // Children including the sentinel at position 0.
    size_t GetChildCount() const { return m_Children.size(); }
    // The child at `position` (0 is the sentinel), or null out of range.
    CCategoryNode* GetChild(size_t position) const;
    // The leaves under this node in tree order (the node itself when it is a
    // leaf), sentinels skipped.
    std::vector<CCategoryNode*> GetLeaves();

    uint8_t m_nCategoryId;
    uint8_t m_nSubIndex;
    // The root: its number of categories; a category: its number of leaves;
    // a leaf: 1; the sentinel: 255.
    uint8_t m_nKind;
    std::string m_strName;
    std::string m_strTableName;  // leaves only
    // The view's item for this node; the core never looks at it.
    void* m_hTreeItem = nullptr;
    // Kept by the refresh engine.
    uint8_t m_bRefreshing = 0;
    uint8_t m_nRefreshPercent = 0;
    // Present in every node; only a leaf's has a table name and is used.
    CTorrentTable m_Table;

  private:
    std::vector<std::unique_ptr<CCategoryNode>> m_Children;
};
