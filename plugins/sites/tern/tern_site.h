// tern: one listing script sorted by a category word, which the site expects
// as raw GBK bytes in the query, unescaped. Dates with seconds, relative
// torrent links.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace tern {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "index.php?page=%d&sort=游戏"},   {2, 1, "index.php?page=%d&sort=电影"},
    {2, 2, "index.php?page=%d&sort=连续剧"}, {2, 3, "index.php?page=%d&sort=综艺"},
    {3, 1, "index.php?page=%d&sort=动画"},   {3, 2, "index.php?page=%d&sort=漫画"},
    {4, 6, "index.php?page=%d&sort=音乐"},   {5, 2, "index.php?page=%d&sort=其他"},
};

inline constexpr uint16_t kRowGroups[] = {
    kDate, kDate, kDate, kDate, kDate, kDate, kAddr0 | kWithBase, kTitle, kSize, kSeeds, kPeers,
};

inline constexpr SiteData kSite{
    .tag = "tern",
    .defaultBase = "http://tern.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 5,
    .cutLength = 30000,
    .page =
        {
            .text =
                R"pat(<TD\bclass=items\balign=middle\bnowrap>({\d+}-{\d+}-{\d+} {\d+}:{\d+}:{\d+})</TD>.*?<a\bhref='({.*?})'>({.*?})</a>.*?<TD.*?</TD>\n<TD.*?>({.*?})</TD>\n<TD.*?>({\d+})</TD>\n<TD.*?>({\d+})</TD>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kYearMonthDayTimeSeconds,
        },
    .webIo = WebIoAnswer::kNone,
    // No pattern for the site's search results is known.
    .searchRequest = SearchRequest::kInert,
    .fetch = TorrentFetch::kDirect,
};

}  // namespace tern
