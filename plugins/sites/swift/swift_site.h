// swift: a general index with one listing script; the category is a
// two-byte GBK code in the query. Relative links, dates without a year,
// pages that may end without the connection closing.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace swift {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "?noseed=&category=%%A1%%F8&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=%d"},
    {2, 1, "?noseed=&category=%%A1%%F6&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=%d"},
    {3, 1, "?noseed=&category=%%A1%%F1&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=%d"},
    {4, 6, "?noseed=&category=%%A1%%F4&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=%d"},
    {5, 2, "?noseed=&category=%%A1%%EF&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=%d"},
    {5, 3, "?noseed=&category=%%A1%%F9&uploadtype=&&searchstr=&&searchtype=&&sort=&&spage=%d"},
};

inline constexpr uint16_t kRowGroups[] = {
    kDate, kDate, kDate, kDate, kAddr0 | kWithBase, kTitle, kSize, kSeeds, kPeers,
};

// Listing and search results share their markup.
inline constexpr std::string_view kRowPattern =
    R"pat(<td nowrap>({\d+}-{\d+} {\d+}:{\d+})</td><td.*?</a>.*?<a\bhref="({.*?})".*?>(<img.*?>)?({.*?})</a>.*?(</a>)?</td><td.*?>({.*?})</td>.*?<font.*?>({\d+})</font>.*?<font.*?>({\d+})</font>)pat";

inline constexpr SiteData kSite{
    .tag = "swift",
    .defaultBase = "http://swift.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 15,
    .cutLength = 30000,
    .tailCheckPages = true,
    .tailCheckSearch = true,
    .page =
        {
            .text = kRowPattern,
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
        },
    .search =
        {
            .text = kRowPattern,
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
        },
    .webIo = WebIoAnswer::kNone,
    .searchRequest = SearchRequest::kGet,
    .searchPath = "?searchstr=%s&searchtype=0",
    .fetch = TorrentFetch::kDirect,
};

}  // namespace swift
