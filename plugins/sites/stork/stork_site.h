// stork: one listing script per category. Dates are written with Chinese
// date words, torrent links are absolute, and a hot row's seed count sits in
// nested font tags.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace stork {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "game.php?page=%d"},  {2, 1, "movie.php?page=%d"}, {3, 1, "anime.php?page=%d"},
    {4, 6, "music.php?page=%d"}, {5, 2, "other.php?page=%d"},
};

inline constexpr uint16_t kRowGroups[] = {
    kDate, kDate, kDate, kDate, kDate, kAddr0, kTitle, kSize, kSeeds, kPeers,
};

inline constexpr SiteData kSite{
    .tag = "stork",
    .defaultBase = "http://stork.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 8,
    .cutLength = 30000,
    .page =
        {
            .text =
                R"pat(<td\bclass=".*?">\b({\d+}年{\d+}月{\d+}日 {\d+}时{\d+}分)\b</td>.*?<td\balign=".*?"\b+class=".*?"\bnowrap><a\bhref="({.*?})">({.*?})</a>.*?<td.*?<td.*?<td.*?>(\b)?({.*?})</td>\n\b+<td.*?>(<b>)?(<font.*?>)?(<font.*?>)?({\d+})(</font>)*(</b>)?</td>\n\b+<td.*?>({\d+})</td>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kYearMonthDayTime,
        },
    .webIo = WebIoAnswer::kNone,
    // No pattern for the site's search results is known.
    .searchRequest = SearchRequest::kInert,
    .fetch = TorrentFetch::kDirect,
};

}  // namespace stork
