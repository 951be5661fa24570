// ibis: a tracker listing by forum id, several forums merged into some
// categories. Each row links its detail page and its download page; titles
// may carry icons and a font colour. Dates without a year.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace ibis {

inline constexpr SlotEntry kSlots[] = {
    {2, 1, "index.php?language=cn&fid=%s&title=&page_num_id=3&time_limit_id=1&page=%d|1|2"},
    {2, 2, "index.php?language=cn&fid=%s&title=&page_num_id=3&time_limit_id=1&page=%d|4|5"},
    {2, 3, "index.php?language=cn&fid=3&title=&page_num_id=3&time_limit_id=1&page=%d"},
    {2, 5, "index.php?language=cn&fid=6&title=&page_num_id=3&time_limit_id=1&page=%d"},
    {3, 1, "index.php?language=cn&fid=9&title=&page_num_id=3&time_limit_id=1&page=%d"},
    {4, 6, "index.php?language=cn&fid=7&title=&page_num_id=3&time_limit_id=1&page=%d"},
    {5, 2, "index.php?language=cn&fid=%s&title=&page_num_id=3&time_limit_id=1&page=%d|10|11"},
    {5, 3, "index.php?language=cn&fid=8&title=&page_num_id=3&time_limit_id=1&page=%d"},
};

// The detail page is also kept as the row's comment.
inline constexpr uint16_t kRowGroups[] = {
    kWebAddr | kComment | kWithBase,
    kAddr0 | kWithBase,
    kTitle,
    kDate,
    kDate,
    kDate,
    kDate,
    kSize,
    kSeeds,
    kPeers,
};

inline constexpr SiteData kSite{
    .tag = "ibis",
    .defaultBase = "http://ibis.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 8,
    .cutLength = 50000,
    .page =
        {
            .text =
                R"pat(<td\bnowrap\btitle.*?><a\bhref="({.*?})".*?<a\bhref="({.*?})".*?>(<img\bsrc.*?>)?(<img\bsrc.*?>)?({.*?})</a>.*?<td\bnowrap\btitle.*?>({\d+}-{\d+} {\d+}:{\d+})</td>\n<td>({.*?})</td>\n<td><font.*?><b>({\d+})</b></font></td>\n<td>({\d+})</td>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .titleCleanup = TitleCleanup::kFontTag,
        },
    .search =
        {
            .text =
                R"pat(<td\bnowrap\btitle.*?><a\bhref="({.*?})".*?<a\bhref="({.*?})".*?>({.*?})</a>.*?<td\bnowrap\btitle.*?>({\d+}-{\d+} {\d+}:{\d+})</td>\n<td>({.*?})</td>\n<td><font.*?><b>({\d+})</b></font></td>\n<td>({\d+})</td>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .titleCleanup = TitleCleanup::kFontTag,
        },
    .webIo = WebIoAnswer::kFrame,
    .searchRequest = SearchRequest::kGet,
    .searchPath = "index.php?language=cn&fid=0&title=%s&page_num_id=4&time_limit_id=1&submit=Go",
    .fetch = TorrentFetch::kLinkPage,
    .linkPattern = R"pat(<a\bhref="({torrent/.*?\.torrent})")pat",
};

}  // namespace ibis
