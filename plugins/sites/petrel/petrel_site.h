// petrel: a tracker front page in two categories. Relative links to the
// detail page and the torrent, dates without a year; counts of active
// torrents in bold.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace petrel {

inline constexpr SlotEntry kSlots[] = {
    {2, 2, "index.php?active=&category=5&category=5&page=%d"},
    {2, 3, "index.php?active=&category=2&category=2&page=%d"},
};

inline constexpr uint16_t kRowGroups[] = {
    kWebAddr | kWithBase,
    kTitle,
    kAddr0 | kWithBase,
    kDate,
    kDate,
    kDate,
    kDate,
    kSize,
    kSeeds,
    kPeers,
};

// Listing and search results share their markup.
inline constexpr std::string_view kRowPattern =
    R"pat(<TR>\n\b+<td\balign=".*?"\bclass=".*?"\b*><a.*?><A\bHREF="({.*?})".*?>(<font.*?>)?({.*?})(</font>)?</A>.*?<A\bHREF=({.*?})>.*?</A>.*?<td.*?>({\d+}-{\d+} {\d+}:{\d+})</td>.*?<td.*?>({.*?})</td>.*?<td.*?>(<b>)?({.*?})(</b>)?</td>.*?<td.*?>(<b>)?({.*?})(</b>)?</td>)pat";

inline constexpr SiteData kSite{
    .tag = "petrel",
    .defaultBase = "http://petrel.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 8,
    .cutLength = 30000,
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
    .webIo = WebIoAnswer::kFrame,
    // The search form posts to itself; its button's caption ("搜索") goes
    // along, escaped.
    .searchRequest = SearchRequest::kPost,
    .searchPath = "index.php",
    .searchBody = "testoricerca=%s&category=0&active=0&ricerca=%%CB%%D1%%CB%%F7",
    .searchRefererIsAddress = true,
    .fetch = TorrentFetch::kDirect,
};

}  // namespace petrel
