// finch: a general index whose categories are GBK words escaped into the
// query. Links to the files themselves, full dates, titles with markup.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace finch {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "index.html?page=%d&filter=%%D3%%CE%%CF%%B7"},
    {2, 1, "index.html?page=%d&filter=%%B5%%E7%%D3%%B0"},
    {2, 2, "index.html?page=%d&filter=%%B5%%E7%%CA%%D3%%BE%%E7"},
    {3, 1, "index.html?page=%d&filter=%%B6%%AF%%C2%%FE"},
    {4, 6, "index.html?page=%d&filter=%%D2%%F4%%C0%%D6"},
    {5, 2, "index.html?page=%d&filter=%%C6%%E4%%CB%%FC"},
    {5, 3, "index.html?page=%d&filter=%%C8%%ED%%BC%%FE"},
};

inline constexpr uint16_t kRowGroups[] = {
    kDate, kDate, kDate, kAddr0, kTitle, kSize, kSeeds, kPeers,
};

// Listing and search results share their markup.
inline constexpr std::string_view kRowPattern =
    R"pat(<tr\bclass=".*?"><td.*?>({\d+}-{\d+}-{\d+})</td>.*?<a.*?<a.*?href="({.*?})">({.*?})</a>.*?</td><td.*?<td.*?<td.*?>({.*?})</td><td.*?>(<b>)?({\d+})(</b>)?</td><td.*?>(<b>)?({\d+})(</b>)?</td>)pat";

inline constexpr SiteData kSite{
    .tag = "finch",
    .defaultBase = "http://finch.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 8,
    .cutLength = 30000,
    .tailCheckSearch = true,
    .page =
        {
            .text = kRowPattern,
            .groups = kRowGroups,
            .date = DateRoutine::kYearMonthDay,
            .titleCleanup = TitleCleanup::kFontAndStrongTags,
        },
    .search =
        {
            .text = kRowPattern,
            .groups = kRowGroups,
            .date = DateRoutine::kYearMonthDay,
            .titleCleanup = TitleCleanup::kFontAndStrongTags,
        },
    .webIo = WebIoAnswer::kNone,
    .searchRequest = SearchRequest::kGet,
    .searchPath = "index.html?search=%s",
    .fetch = TorrentFetch::kDirect,
};

}  // namespace finch
