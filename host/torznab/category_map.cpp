#include "category_map.h"

#include <algorithm>
#include <utility>

#include "config_keys.h"

namespace torznab {
namespace {

struct Named {
    int id;
    std::string_view name;
};

constexpr Named kStandardNames[] = {
    {1000, "Console"},     {2000, "Movies"},   {3000, "Audio"},
    {3020, "Audio/Video"}, {4000, "PC"},       {4050, "PC/Games"},
    {5000, "TV"},          {5070, "TV/Anime"}, {5080, "TV/Documentary"},
    {6000, "XXX"},         {7000, "Books"},    {7030, "Books/Comics"},
    {8000, "Other"},
};

struct InstalledLeaf {
    std::string_view table;
    int standard;
};

// The leaves data/global.ini installs.
constexpr InstalledLeaf kInstalledLeaves[] = {
    {"games_pc", 4050},          {"games_console", 1000},  {"games_extras", 4050},
    {"video_films", 2000},       {"video_series", 5000},   {"video_variety", 5000},
    {"video_documentary", 5000}, {"video_other", 8000},    {"anime_animation", 5070},
    {"anime_comics", 7000},      {"music_pop", 3000},      {"music_videos", 3000},
    {"music_classical", 3000},   {"music_concerts", 3000}, {"music_soundtracks", 3000},
    {"music_all", 3000},         {"other_books", 7000},    {"other_misc", 8000},
    {"other_software", 4000},
};

std::string Numbered(const char* pattern, size_t number) {
    std::string text(pattern);
    const size_t at = text.find("%d");
    return text.replace(at, 2, std::to_string(number));
}

}  // namespace

int InstalledCategory(std::string_view table) {
    for (const InstalledLeaf& leaf : kInstalledLeaves) {
        if (leaf.table == table) {
            return leaf.standard;
        }
    }
    return kOtherCategory;
}

std::string StandardCategoryName(int standard) {
    for (const Named& named : kStandardNames) {
        if (named.id == standard) {
            return std::string(named.name);
        }
    }
    for (const Named& named : kStandardNames) {
        if (named.id == ParentCategory(standard)) {
            return std::string(named.name) + "/" + std::to_string(standard);
        }
    }
    return "Category " + std::to_string(standard);
}

CCategoryMap::CCategoryMap(CGlobalConfig& config) {
    const config::KeyInfo& key = config::kSubIndexerCategory;
    CCategoryNode& root = config.GetRoot();
    for (size_t i = 1; i < root.GetChildCount(); ++i) {
        CCategoryNode* category = root.GetChild(i);
        const std::string section = Numbered(key.section, i);
        for (size_t j = 1; j < category->GetChildCount(); ++j) {
            CCategoryNode* leaf = category->GetChild(j);
            const int fallback = InstalledCategory(leaf->m_strTableName);
            int64_t standard = config.GetInt64(section, Numbered(key.key, j), fallback);
            if (standard < key.minValue || standard > key.maxValue) {
                standard = fallback;
            }
            m_leaves.push_back({leaf, 100000 + leaf->m_nCategoryId * 100 + leaf->m_nSubIndex,
                                static_cast<int>(standard)});
        }
    }
}

std::vector<const LeafCategory*> CCategoryMap::Select(const std::vector<int>& requested) const {
    std::vector<const LeafCategory*> selected;
    for (const LeafCategory& leaf : m_leaves) {
        const bool wanted =
            requested.empty() || std::any_of(requested.begin(), requested.end(), [&](int id) {
                return id == leaf.ownId || id == leaf.standard ||
                       id == ParentCategory(leaf.standard);
            });
        if (wanted) {
            selected.push_back(&leaf);
        }
    }
    return selected;
}

const LeafCategory* CCategoryMap::FindByTable(std::string_view table) const {
    for (const LeafCategory& leaf : m_leaves) {
        if (leaf.leaf->m_strTableName == table) {
            return &leaf;
        }
    }
    return nullptr;
}

const LeafCategory* CCategoryMap::FindBySlot(int type) const {
    const int group = (type >> 8) & 0xFF;
    const int index = type & 0xFF;
    for (const LeafCategory& leaf : m_leaves) {
        if (leaf.leaf->m_nCategoryId == group && leaf.leaf->m_nSubIndex == index) {
            return &leaf;
        }
    }
    return nullptr;
}

}  // namespace torznab
