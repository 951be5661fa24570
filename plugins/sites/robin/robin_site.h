// robin: a general index of many small boards. Page 1 of a board is its plain
// address; the later pages are only reachable through the pager link that
// page 1 carries. Dates without a year, links relative to the site.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace robin {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "Index.asp?ClassID=701"},      {1, 2, "Index.asp?ClassID=703"},
    {1, 3, "Index.asp?ClassID=|702|704"}, {2, 1, "Index.asp?ClassID=1"},
    {2, 2, "Index.asp?ClassID=2"},        {2, 3, "Index.asp?ClassID=3"},
    {2, 5, "Index.asp?ClassID=6"},        {3, 1, "Index.asp?ClassID=|401|402|403"},
    {3, 2, "Index.asp?ClassID=404"},      {4, 6, "Index.asp?ClassID=5"},
    {5, 1, "Index.asp?ClassID=9"},        {5, 2, "Index.asp?ClassID=10"},
    {5, 3, "Index.asp?ClassID=8"},
};

inline constexpr uint16_t kRowGroups[] = {
    kDate, kDate, kDate, kDate, kWebAddr | kAddr0 | kWithBase, kTitle, kSize, kSeeds, kPeers,
};

inline constexpr SiteData kSite{
    .tag = "robin",
    .defaultBase = "http://robin.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPagerLink,
    .pagerPattern = R"pat(<a\bhref='({Index\.asp\?ClassID=\d+&Order=\d+&Count=\d+&Page=}\d+)')pat",
    .pageLimit = 8,
    .cutLength = 50000,
    .page =
        {
            .text =
                R"pat(<tr.*?onmouseover="this\.bgColor=.*?onmouseout="this\.bgColor=.*?><td.*?>({\d+}-{\d+} {\d+}:{\d+})</td><td.*?><a.*?</a></td><td.*?<a\bhref="({.*?})".*?>(<.*?><b>)?({.*?})(</b></font>)?</a>(\b*\[.*?\])?</td><td.*?>({.*?})</td><td.*?<b>({.*?})</b>.*?<b>({.*?})</b>.*?</tr>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
        },
    .search =
        {
            .text =
                R"pat(<tr.*?onmouseover="this\.bgColor=.*?onmouseout="this\.bgColor=.*?><td.*?>({\d+}-{\d+} {\d+}:{\d+})</td><td.*?><a.*?</a></td><td.*?<a\bhref="({.*?})".*?>(<.*?><b>)?({.*?})(</b></font>)?</a></td><td.*?>({.*?})</td><td.*?<b>({.*?})</b>.*?<b>({.*?})</b>.*?</tr>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .cutTitle = false,
            .titleCleanup = TitleCleanup::kSpanTag,
        },
    .webIo = WebIoAnswer::kFrame,
    .searchRequest = SearchRequest::kGet,
    .searchPath = "Search.asp?SearchType=0&SearchClass=0&SearchText=%s",
    .fetch = TorrentFetch::kLinkPage,
    .linkPattern = R"pat(<a\bhref="({(%b)?/torrent/.*?})")pat",
};

}  // namespace robin
