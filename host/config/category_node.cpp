#include "category_node.h"

#include <utility>

CCategoryNode::CCategoryNode(uint8_t nCategoryId, uint8_t nSubIndex, uint8_t nKind,
                             std::string strName, std::string strTableName)
    : m_nCategoryId(nCategoryId),
      m_nSubIndex(nSubIndex),
      m_nKind(nKind),
      m_strName(std::move(strName)),
      m_strTableName(std::move(strTableName)) {
    if (!m_strTableName.empty()) {
        m_Table.SetTableName(m_strTableName);
    }
}

CCategoryNode::~CCategoryNode() = default;

std::unique_ptr<CCategoryNode> CCategoryNode::MakeSentinel() {
    return std::make_unique<CCategoryNode>(kSentinel, kSentinel, kSentinel, std::string());
}

CCategoryNode* CCategoryNode::AppendChild(std::unique_ptr<CCategoryNode> child) {
    m_Children.push_back(std::move(child));
    return m_Children.back().get();
}

CCategoryNode* CCategoryNode::GetChild(size_t position) const {
    return position < m_Children.size() ? m_Children[position].get() : nullptr;
}

std::vector<CCategoryNode*> CCategoryNode::GetLeaves() {
    std::vector<CCategoryNode*> leaves;
    if (IsLeaf()) {
        leaves.push_back(this);
        return leaves;
    }
    for (size_t i = 1; i < m_Children.size(); ++i) {
        for (CCategoryNode* leaf : m_Children[i]->GetLeaves()) {
            leaves.push_back(leaf);
        }
    }
    return leaves;
}
