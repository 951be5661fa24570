// The torrent entry that a plug-in produces and the catalogue keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ole_date.h"

// The row's identity in the catalogue. Plug-ins copy it and never interpret
// it; the store keeps the row id in it.
struct RecordBookmark {
    int64_t nRowId = 0;
    int64_t nReserved = 0;

    friend bool operator==(const RecordBookmark&, const RecordBookmark&) = default;
};
static_assert(sizeof(RecordBookmark) == 16);

struct TorrentRecord {
    OleDate AddDate;    // the row's date on the site
    std::string Name;   // "[tag]" followed by the row title, UTF-8
    std::string Addr0;  // link to the torrent file or to a page holding it
    std::string Addr1;  // mirrors where the site has them, else empty
    std::string Addr2;
    std::string Addr3;
    std::string WebAddr;  // detail page, or the site's base address
    int32_t Type = 0;     // group * 256 + index of the producing slot; 0 for search
    std::string Size;     // as the site prints it
    OleDate RefreshDate;  // same value as AddDate
    int32_t Seeds = 0;
    int32_t Peers = 0;
    std::string Comment;     // description or tooltip text, possibly empty
    int32_t bCompleted = 0;  // set by the host for a downloaded entry
    std::string FileName;    // base name under torrents/, chosen by the host
    int32_t DownHd = 0;      // torrent-file task handle, 0 when none
    RecordBookmark Bookmark;
    int32_t DllID = 0;  // position of the producing plug-in in the host's list
    int32_t Reserved = 0;
};

using TorrentRecordArray = std::vector<TorrentRecord>;
