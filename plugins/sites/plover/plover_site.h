// plover: static listing pages, one file per category and page. Rows
// alternate between two classes; the torrent link sits in a script call and
// is absolute; sizes end their line; no seed or peer counts.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace plover {

inline constexpr SlotEntry kSlots[] = {
    {2, 1, "index_A_1_%d.htm"}, {2, 2, "index_A_2_%d.htm"},  {2, 3, "index_A_5_%d.htm"},
    {2, 5, "index_A_6_%d.htm"}, {3, 1, "index_A_3_%d.htm"},  {4, 6, "index_A_4_%d.htm"},
    {5, 1, "index_A_9_%d.htm"}, {5, 2, "index_A_10_%d.htm"}, {5, 3, "index_A_8_%d.htm"},
};

inline constexpr uint16_t kRowGroups[] = {
    kDate, kDate, kDate, kDate, kDate, kAddr0, kTitle, kWebAddr | kWithBase, kSize,
};

inline constexpr SiteData kSite{
    .tag = "plover",
    .defaultBase = "http://plover.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 10,
    .cutLength = 100000,
    .page =
        {
            .text =
                R"pat(<tr\balign="center"\bclass="(even)|(odd)">\n\b+<td.*?><font.*?>({\d+}-{\d+}-{\d+}&nbsp;{\d+}:{\d+})</font></td>.*?javascript:DownLoad\(\d+,'({.*?})'\)"><font.*?>({.*?})</font></a>.*?<a.*?<a\bhref="({.*?})".*?>.*?<font.*?<font.*?>({.*?})\n\b+</font>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kYearMonthDayTime,
        },
    .webIo = WebIoAnswer::kFrame,
    // The site's search form, kept for reference: no pattern for its result
    // page is known, so searches end at once without rows.
    .searchRequest = SearchRequest::kInert,
    .searchPath = "HTML.asp",
    .searchBody = "searchstr=%s&searchtype=subject&tracker=all&sort=",
    .fetch = TorrentFetch::kDirect,
};

}  // namespace plover
