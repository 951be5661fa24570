// The presentation rules of the catalogue lists that do not depend on the
// widgets: how rows sort, which colour a row's Name takes, and when and where
// the information tip opens. The GUI only draws what these answer.
#pragma once

#include <cstdint>

#include "ole_date.h"
#include "torrent_record.h"

// The sortable list columns; 0 is the row number, which does not sort.
enum ListColumn : int {
    kColumnIndex = 0,
    kColumnAddDate = 1,
    kColumnPercent = 2,
    kColumnName = 3,
    kColumnSize = 4,
    kColumnSeeds = 5,
    kColumnPeers = 6,
    kColumnRefreshDate = 7,
};

// The ascending order of `nColumn`: negative when a comes first, positive
// when b does, 0 when they tie (and for a column that does not sort). The
// caller swaps a and b to sort descending.
//
// Every column is a strict weak order, so the answer can drive std::sort.
// Sizes: blanks are ignored, one trailing "B" is dropped, and the text's last
// character is its unit: "G" above "M" above "K" above a bare number, each
// unit ordered by the leading number; an empty size comes before all others
// and sizes in an unknown unit sit below a bare number, grouped by unit.
int CompareRecords(const TorrentRecord& a, const TorrentRecord& b, int nColumn);

// The DataColor entry for a row's Name: the whole days from `addDate` to
// 23:59:59 of the local day that holds `nowSeconds` (Unix time). 0 today,
// 1 yesterday, 2 the day before, 3 every other entry (older, later than
// today, or without a valid date).
int DayColourIndex(OleDate addDate, int64_t nowSeconds);

// The tip opens only while the pointer rests left of the right edge of the
// row's Name cell (list coordinates).
bool TipTriggered(int pointerX, int nameCellRight);

struct TipPosition {
    int x = 0;
    int y = 0;

    friend bool operator==(const TipPosition&, const TipPosition&) = default;
};

// Where a tip of w x h opens for the pointer at (x, y), in screen
// coordinates: centred on the pointer, 5 pixels above it, moved up as far as
// its bottom would pass `screenBottom`, but never above `screenTop`.
TipPosition PlaceTip(int x, int y, int w, int h, int screenTop, int screenBottom);
