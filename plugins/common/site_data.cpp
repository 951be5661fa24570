#include "site_data.h"

#include <algorithm>

int SlotSections(const SiteData& site, int group, int index) {
    const std::string_view text = SlotTemplate(site, group, index);
    if (text.empty()) {
        return 0;
    }
    const auto bars = std::count(text.begin(), text.end(), '|');
    return bars == 0 ? 1 : static_cast<int>(bars);
}

std::string_view SlotTemplate(const SiteData& site, int group, int index) {
    for (const SlotEntry& entry : site.slots) {
        if (entry.group == group && entry.index == index && index != 0) {
            return entry.listing;
        }
    }
    return {};
}
