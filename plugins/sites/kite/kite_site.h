// kite: an animation index on the same board software as egret. Every page is
// a form post of the page number and the category id; titles may be coloured
// with a font tag. Dates without a year.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace kite {

// Each slot's text is the category id.
inline constexpr SlotEntry kSlots[] = {
    {1, 3, "5"},
    {3, 1, "1"},
    {3, 2, "3"},
    {4, 2, "4"},
};

inline constexpr uint16_t kRowGroups[] = {
    kComment, kDate, kDate,  kDate,  kDate, kWebAddr | kAddr0 | kWithBase,
    kTitle,   kSize, kSeeds, kPeers,
};

inline constexpr SiteData kSite{
    .tag = "kite",
    .defaultBase = "http://kite.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kFormPost,
    .formPath = "index.php",
    .formBody = "sorttype=&groupid=&page=%d&tracker=&category=%s&keyword=&keytype=subject",
    .pageLimit = 8,
    .cutLength = 50000,
    .page =
        {
            .text =
                R"pat(var\bdescription\d+\b=\b"({.*?})";.*?<table.*?><tr>.*?</td>.*?<td.*?>({\d+}-{\d+} {\d+}:{\d+})</td>.*?<td.*?</td>.*?<a\bhref="({.*?})"\bonMousemove.*?>({.*?})</a>.*?<span.*?>({.*?})</span>.*?<label.*?<font.*?>({\d+})</font>.*?<font.*?>({\d+})</font>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .titleCleanup = TitleCleanup::kFontTag,
            .commentCleanup = CommentCleanup::kEscapedScriptQuotes,
        },
    .search =
        {
            .text =
                R"pat(var\bdescription\d+\b=\b"({.*?})";.*?<table.*?><tr>.*?</td>.*?<td.*?>({\d+}-{\d+} {\d+}:{\d+})</td>.*?<td.*?</td>.*?<a\bhref="({.*?})"\bonMousemove.*?>({.*?})</a>.*?<span.*?>({.*?})</span>.*?<label.*?<font.*?>({\d+})</font>.*?<font.*?>({\d+})</font>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kMonthDayTime,
            .titleCleanup = TitleCleanup::kFontTag,
            .commentCleanup = CommentCleanup::kEscapedScriptQuotes,
        },
    .webIo = WebIoAnswer::kComment,
    .searchRequest = SearchRequest::kPost,
    .searchPath = "index.php",
    .searchBody = "sorttype=&groupid=&page=&tracker=&category=&keyword=%s&keytype=subject",
    .fetch = TorrentFetch::kLinkPage,
    .linkPattern = R"pat(<a\bhref="({download\.php\?.*?})")pat",
};

}  // namespace kite
