// egret: a film and music index whose listing is a form. Every page is a post
// of the page number and the category id to one script; each row carries its
// description in a script string ahead of its table. Dates without a year.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace egret {

// Each slot's text is the category id; a slot merging two categories lists
// both after a "|".
inline constexpr SlotEntry kSlots[] = {
    {1, 1, "3"},  {2, 1, "|6|7"}, {2, 2, "9"}, {2, 3, "10"},
    {2, 5, "12"}, {3, 1, "8"},    {4, 6, "4"}, {5, 2, "5"},
};

inline constexpr uint16_t kRowGroups[] = {
    kComment, kDate, kDate,  kDate,  kDate, kWebAddr | kAddr0 | kWithBase,
    kTitle,   kSize, kSeeds, kPeers,
};

inline constexpr SiteData kSite{
    .tag = "egret",
    .defaultBase = "http://egret.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kFormPost,
    .formPath = "index.php",
    .formBody = "sorttype=&page=%d&category=%s&tracker=&keyword=&keytype=subject",
    .pageLimit = 8,
    .cutLength = 50000,
    .page =
        {
            .text =
                R"pat(var\bdescription\d+\b=\b"({.*?})";.*?<table.*?><tr>.*?</td>.*?<td.*?>({\d+}-{\d+} {\d+}:{\d+})</td>.*?<td.*?</td>.*?<a\bhref="({.*?})"\bonMousemove.*?>({.*?})</a>.*?<span.*?>({.*?})</span>.*?<label.*?<font.*?>({\d+})</font>.*?<font.*?>({\d+})</font>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .commentCleanup = CommentCleanup::kEscapedScriptQuotes,
        },
    .search =
        {
            .text =
                R"pat(var\bdescription\d+\b=\b"({.*?})";.*?<table.*?><tr>.*?</td>.*?<td.*?>({\d+}-{\d+} {\d+}:{\d+})</td>.*?<td.*?</td>.*?<a\bhref="({.*?})"\bonMousemove.*?>({.*?})</a>.*?<span.*?>({.*?})</span>.*?<label.*?<font.*?>({\d+})</font>.*?<font.*?>({\d+})</font>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .commentCleanup = CommentCleanup::kEscapedScriptQuotes,
        },
    .webIo = WebIoAnswer::kComment,
    .searchRequest = SearchRequest::kPost,
    .searchPath = "index.php",
    .searchBody = "sorttype=&page=&category=&tracker=&keyword=%s&keytype=subject",
    .fetch = TorrentFetch::kLinkPage,
    .linkPattern = R"pat(<a\bhref="({download\.php\?url.*?\.torrent})")pat",
};

}  // namespace egret
