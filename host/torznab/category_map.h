// Which indexer categories the category tree's leaves stand for. Every leaf
// is one standard category (films 2000, TV 5000 ...), read from the leaf's
// key in global.ini; a leaf of the installed tree without the key takes the
// standard category of its kind, any other leaf "other" (8000). Every leaf
// also has a category of its own (100000 + category id * 100 + sub index),
// listed under its standard category, so a client can ask for one leaf.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "category_node.h"
#include "global_config.h"

namespace torznab {

inline constexpr int kOtherCategory = 8000;

struct LeafCategory {
    CCategoryNode* leaf = nullptr;
    int ownId = 0;     // the leaf's own category
    int standard = 0;  // its standard category
};

class CCategoryMap {
  public:
    explicit CCategoryMap(CGlobalConfig& config);

    const std::vector<LeafCategory>& Leaves() const { return m_leaves; }
    // The leaves the requested categories select: a leaf's own category, its
    // standard category or that category's parent (5000 selects 5070); every
    // leaf when none is requested.
    std::vector<const LeafCategory*> Select(const std::vector<int>& requested) const;
    // The leaf whose table is named so; null when none.
    const LeafCategory* FindByTable(std::string_view table) const;
    // The leaf of a record's Type (the category slot that produced it); null
    // when no leaf is that slot.
    const LeafCategory* FindBySlot(int type) const;

  private:
    std::vector<LeafCategory> m_leaves;
};

// The standard category of a leaf of the installed tree, by its table name;
// kOtherCategory for any other table.
int InstalledCategory(std::string_view table);
// The top-level category above a standard one (5070 -> 5000).
inline int ParentCategory(int standard) {
    return standard / 1000 * 1000;
}
// "Movies", "TV/Anime"; a number without a name of its own takes its
// parent's name with the number.
std::string StandardCategoryName(int standard);

}  // namespace torznab
