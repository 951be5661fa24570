// wren: an animation and comics index. Absolute links, dates without a year,
// pages that may end without the connection closing. A torrent link may
// answer with a form whose post hands out the file.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace wren {

inline constexpr SlotEntry kSlots[] = {
    {3, 1, "index.php?cateId=1&page=%d&order=default&by=DESC"},
    {3, 2, "index.php?cateId=2&page=%d&order=default&by=DESC"},
};

inline constexpr uint16_t kRowGroups[] = {
    kDate, kDate, kDate, kDate, kAddr0, kComment, kTitle, kSize, kSeeds, kPeers, kWebAddr,
};

inline constexpr SiteData kSite{
    .tag = "wren",
    .defaultBase = "http://wren.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 22,
    .cutLength = 50000,
    .tailCheckPages = true,
    .tailCheckSearch = true,
    .page =
        {
            .text =
                R"pat(<tr class=mainrow\d+>.*?<td.*?>({\d+}-{\d+} {\d+}:{\d+})</td>.*?<a.*?</a>.*?<a href=({.*?}) class=.*?</a>({.*?})'\)">({.*?})</a>.*?<a.*?>({.*?})</a>.*?<b>({\d+})</b>.*?<b>({\d+})</b>.*?<a.*?</a>.*?<a href=({.*?}) target)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
        },
    .search =
        {
            .text =
                R"pat(<tr bgcolor=#\h+><td.*?>({\d+}-{\d+} {\d+}:{\d+})</td>.*?<a.*?</a>.*?<a href=({.*?}) class=.*?</a>({.*?})'\)">({.*?})</a>.*?<a.*?>({.*?})</a>.*?<b>({\d+})</b>.*?<b>({\d+})</b>.*?<a.*?</a>.*?<a href=({.*?}) target)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .titleCleanup = TitleCleanup::kFontTag,
        },
    .webIo = WebIoAnswer::kComment,
    .searchRequest = SearchRequest::kPost,
    .searchPath = "search.php?",
    .searchBody = "key=%s&cateId=",
    .fetch = TorrentFetch::kFormPage,
    .linkPattern = R"pat(ACTION="({.*?})".*?VALUE="({.*?})")pat",
    .fetchBody = "checksum=%s",
    .followReferer = FollowReferer::kAddr0,
};

}  // namespace wren
