// crane: a discussion board whose threads with an attached torrent form the
// listing. Several boards may make up one category; board pages are numbered.
// Dates with a year, no size or peer counts, titles printed in full.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace crane {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "forumdisplay.php?fid=203&page=%d"},
    {1, 2, "forumdisplay.php?fid=286&page=%d"},
    {1, 3, "forumdisplay.php?fid=83&page=%d"},
    {2, 1, "forumdisplay.php?fid=%s&page=%d|269|266|247|137|201"},
    {2, 2, "forumdisplay.php?fid=%s&page=%d|213|168|175|200"},
    {2, 3, "forumdisplay.php?fid=251&page=%d"},
    {3, 1, "forumdisplay.php?fid=%s&page=%d|267|145|66"},
    {4, 6, "forumdisplay.php?fid=%s&page=%d|205|84"},
    {5, 3, "forumdisplay.php?fid=%s&page=%d|67|100"},
};

inline constexpr uint16_t kRowGroups[] = {
    kWebAddr | kAddr0 | kWithBase, kTitle, kDate, kDate, kDate,
};

inline constexpr SiteData kSite{
    .tag = "crane",
    .defaultBase = "http://crane.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 8,
    .cutLength = 100000,
    .page =
        {
            .text =
                R"pat(<img\bsrc="images/attachicons/common\.gif">.*?<a\bhref="({.*?})"\b(style=".*?")?>({.*?})</a>.*?<span.*?>({\d+}-{\d+}-{\d+})</span>)pat",
            .groups = kRowGroups,
            .date = DateRoutine::kYearMonthDay,
            .cutTitle = false,
        },
    .webIo = WebIoAnswer::kFrame,
    .fetch = TorrentFetch::kLinkPage,
    .linkPattern = R"pat(<a\bhref="({attachment\.php.*?})")pat",
};

}  // namespace crane
