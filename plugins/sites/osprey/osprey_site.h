// osprey: a general index of static listing pages. A row links its detail
// page; the file hides behind numbered download links on it, whose answer
// may start with a line of its own and leave the connection open after the
// file. Full dates; short titles in listings.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace osprey {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "sort/5_%d.htm"}, {2, 1, "sort/6_%d.htm"}, {2, 2, "sort/10_%d.htm"},
    {2, 3, "sort/7_%d.htm"}, {3, 1, "sort/2_%d.htm"}, {4, 6, "sort/9_%d.htm"},
    {5, 1, "sort/1_%d.htm"}, {5, 3, "sort/3_%d.htm"},
};

inline constexpr uint16_t kPageGroups[] = {
    kWebAddr | kAddr0 | kWithBase, kTitle, kDate, kDate, kDate,
};

inline constexpr uint16_t kSearchGroups[] = {
    kWebAddr | kAddr0 | kWithBase, kTitle, kDate, kDate, kDate, kSize,
};

inline constexpr SiteData kSite{
    .tag = "osprey",
    .defaultBase = "http://osprey.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 15,
    .cutLength = 30000,
    .page =
        {
            .text =
                R"pat(<tr><td width="\d+%"><a\bhref="\.\./({.*?})"><img.*?>(&nbsp;)*({.*?})(&nbsp;)*</a></td><td.*?>({\d+}-{\d+}-{\d+})</td>)pat",
            .groups = kPageGroups,
            .date = DateRoutine::kYearMonthDay,
            .cutTitle = false,
        },
    .search =
        {
            .text =
                R"pat(<tr\bheight="\d+">\n\b+<td width="\d+%"><a\bhref="({.*?})"><img.*?>(&nbsp;)*({.*?})(&nbsp;)*</a>.*?</td>\n\b+<td.*?>({\d+}-{\d+}-{\d+})</td>.*?</td>.*?</td>\n\b+<td.*?>({.*?})</td>)pat",
            .groups = kSearchGroups,
            .date = DateRoutine::kYearMonthDay,
            .titleCleanup = TitleCleanup::kFontTagFirstClose,
        },
    .webIo = WebIoAnswer::kNone,
    .searchRequest = SearchRequest::kGet,
    .searchPath = "search.asp?type=soft&k=%s",
    .fetch = TorrentFetch::kNumberedLinks,
    .linkPattern = R"pat(<a\bhref="\.\./({down\.asp\?id=\d+&no=})\d+")pat",
    // Its download script is slow to start.
    .fetchStallSeconds = 60,
};

}  // namespace osprey
