#include "site_list.h"

#include <algorithm>

namespace {

constexpr char kSection[] = "PublishSites";

}  // namespace

CSiteList::SiteEntry CSiteList::Split(const std::string& strValue) {
    SiteEntry entry;
    const size_t nFirst = strValue.find('|');
    entry.strName = strValue.substr(0, nFirst);
    if (nFirst != std::string::npos) {
        const size_t nSecond = strValue.find('|', nFirst + 1);
        entry.strAddress = strValue.substr(
            nFirst + 1, nSecond == std::string::npos ? std::string::npos : nSecond - nFirst - 1);
    }
    return entry;
}

void CSiteList::Load(const CIniFile& registry) {
    m_sites.clear();
    const int64_t nCount =
        std::clamp<int64_t>(registry.GetInt64(kSection, "count", 0), 0, kMaxKeys);
    for (int64_t i = 0; i < nCount; ++i) {
        std::string strValue;
        if (registry.GetString(kSection, std::to_string(i), strValue) == 0) {
            continue;
        }
        m_sites.push_back(Split(strValue));
    }
}
