// lark: a general index. Each row links its detail page, which holds the
// file's link; the file is only handed out with that page as referer. Dates
// without a year.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace lark {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "Class.asp?curpage=%d&id=8"}, {2, 1, "Class.asp?curpage=%d&id=1"},
    {2, 2, "Class.asp?curpage=%d&id=4"}, {2, 3, "Class.asp?curpage=%d&id=2"},
    {2, 5, "Class.asp?curpage=%d&id=7"}, {3, 1, "Class.asp?curpage=%d&id=3"},
    {4, 6, "Class.asp?curpage=%d&id=6"}, {5, 1, "Class.asp?curpage=%d&id=9"},
    {5, 3, "Class.asp?curpage=%d&id=5"},
};

inline constexpr uint16_t kRowGroups[] = {
    kWebAddr | kAddr0 | kWithBase, kTitle, kDate, kDate, kSize,
};

// Listing and search results share their markup.
inline constexpr std::string_view kRowPattern =
    R"pat(<A\b+class=pagetitle\bhref="({.*?})".*?>({.*?})</A>.*?/A>.*?/A>.*?<div.*?>({\d+}-{\d+})</div><div.*?><font.*?>({.*?})</font>)pat";

inline constexpr SiteData kSite{
    .tag = "lark",
    .defaultBase = "http://lark.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 15,
    .cutLength = 30000,
    .page =
        {
            .text = kRowPattern,
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDay,
        },
    .search =
        {
            .text = kRowPattern,
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDay,
        },
    .webIo = WebIoAnswer::kFrame,
    .searchRequest = SearchRequest::kPost,
    .searchPath = "search.asp",
    .searchBody = "searchKey=%s&D=30",
    .searchRefererIsAddress = true,
    .fetch = TorrentFetch::kLinkPage,
    .linkPattern = R"pat(<a\bhref="\.\./\.\./({show/Down.*?})")pat",
    .followReferer = FollowReferer::kWebAddr,
};

}  // namespace lark
