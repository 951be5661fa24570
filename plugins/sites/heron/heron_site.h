// heron: a large index whose listing pages are written by scripts; they are
// not fetched. Its rows come from a separate search service that answers
// with XML, and its files lie on four download servers holding the same
// file.
#pragma once

#include <cstdint>

#include "site_data.h"

namespace heron {

inline constexpr SlotEntry kSlots[] = {
    {1, 1, "?s=&categoryid=13&pagenumber=%d"}, {1, 2, "?s=&categoryid=14&pagenumber=%d"},
    {1, 3, "?s=&categoryid=44&pagenumber=%d"}, {2, 1, "?s=&categoryid=10&pagenumber=%d"},
    {2, 2, "?s=&categoryid=11&pagenumber=%d"}, {2, 3, "?s=&categoryid=12&pagenumber=%d"},
    {2, 4, "?s=&categoryid=23&pagenumber=%d"}, {2, 5, "?s=&categoryid=24&pagenumber=%d"},
    {2, 6, "?s=&categoryid=49&pagenumber=%d"}, {2, 7, "?s=&categoryid=25&pagenumber=%d"},
    {3, 1, "?s=&categoryid=8&pagenumber=%d"},  {3, 2, "?s=&categoryid=9&pagenumber=%d"},
    {4, 1, "?s=&categoryid=28&pagenumber=%d"}, {4, 2, "?s=&categoryid=29&pagenumber=%d"},
    {4, 3, "?s=&categoryid=31&pagenumber=%d"}, {4, 4, "?s=&categoryid=32&pagenumber=%d"},
    {4, 5, "?s=&categoryid=33&pagenumber=%d"}, {4, 6, "?s=&categoryid=35&pagenumber=%d"},
    {4, 7, "?s=&categoryid=38&pagenumber=%d"}, {5, 1, "?s=&categoryid=42&pagenumber=%d"},
    {5, 2, "?s=&categoryid=48&pagenumber=%d"},
};

// The listing pages hold their rows as script arrays of quoted strings; only
// the date fields of a row are known.
inline constexpr uint16_t kPageGroups[] = {
    kDate, kDate, kDate, kDate, 0, 0, 0, 0, 0, 0,
};

inline constexpr uint16_t kSearchGroups[] = {
    kMirrorId, kMirrorPath, kSizeInBytes, kDate, kSeeds, kPeers, kTitle, kComment,
};

inline constexpr SiteData kSite{
    .tag = "heron",
    .defaultBase = "http://heron.example/",
    .defaultCharset = "GBK",
    .slots = kSlots,
    .request = ListingRequest::kPathTemplate,
    .pageLimit = 8,
    .cutLength = 150000,
    .page =
        {
            .text =
                R"pat(".*?",\n"({\d+}-{\d+}\b{\d+}:{\d+})",\n".*?",\n".*?",\n".*?",\n"({.*?})",\n".*?",\n"({.*?})",\n".*?",\n"({.*?})",\n".*?",\n".*?",\n".*?",\n"({.*?})",\n"({.*?})",\n".*?",\n"({.*?})",\n)pat",
            .groups = kPageGroups,
            .date = DateRoutine::kMonthDayTime,
        },
    .search =
        {
            .text =
                R"pat(<BTInfo ID="\d+" PID="\d+" TID="\d+" FID="\d+" AID="({\d+})" APATH="({.*?})".*?FSize="({\d+})" DateLine="({\d+})".*?Sources="({\d+})" Connected="({\d+})".*?<FileName Index="\d+">({.*?})</FileName>.*?<Desc Index="\d+">({.*?})</Desc>)pat",
            .groups = kSearchGroups,
            .date = DateRoutine::kUnixSeconds,
            .commentCleanup = CommentCleanup::kBoardMarkup,
        },
    .webIo = WebIoAnswer::kComment,
    // Descriptions run long.
    .groupBufferBytes = 10240,
    .inertPages = true,
    .searchRequest = SearchRequest::kGet,
    .searchPath = "btsearch0.php?keyword=%s&type=0&show_query=1&pagenumber=1",
    .searchOnService = true,
    .defaultSearchBase = "http://search.heron.example/",
    .fetch = TorrentFetch::kMirrors,
    .defaultMirrors = {"http://dl1.heron.example/", "http://dl2.heron.example/",
                       "http://dl3.heron.example/", "http://dl4.heron.example/"},
    .mirrorPath = "download.php?s=%s&attachmentid=%s",
};

}  // namespace heron
