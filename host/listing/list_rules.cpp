#include "list_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <iterator>
#include <string>
#include <string_view>

namespace {

constexpr int kDownloadedState = 100;

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A date without a valid value sorts before every real date.
int CompareDates(const OleDate& a, const OleDate& b) {
    if (a.IsValid() != b.IsValid()) {
        return a.IsValid() ? 1 : -1;
    }
    return a.IsValid() ? Order(a.m_dt, b.m_dt) : 0;
}

// Rows whose torrent file was fetched come first; all others tie.
int CompareCompletion(const TorrentRecord& a, const TorrentRecord& b) {
    const bool aDone = (a.bCompleted & 0xFF) == kDownloadedState;
    const bool bDone = (b.bCompleted & 0xFF) == kDownloadedState;
    return aDone == bDone ? 0 : (aDone ? -1 : 1);
}

// A size as the sites print it ("1.37 GB", "700MB", "512 KB", "4096"),
// reduced to what orders it. The rank of the unit decides first; within a
// rank of unknown units the unit character groups the sizes.
struct SizeKey {
    int rank = 0;
    char unit = 0;
    double value = 0;
};

enum SizeRank : int { kEmpty, kUnknownUnit, kBareNumber, kKilo, kMega, kGiga };

SizeKey SizeKeyOf(std::string_view text) {
    std::string compact;
    std::copy_if(text.begin(), text.end(), std::back_inserter(compact),
                 [](char c) { return c != ' '; });
    if (compact.empty()) {
        return {};
    }
    if (compact.back() == 'B') {
        compact.pop_back();
    }
    SizeKey key;
    const char* first = compact.data();
    std::from_chars(first, first + compact.size(), key.value);
    const char unit = compact.empty() ? '0' : compact.back();
    if (unit >= '0' && unit <= '9') {
        key.rank = kBareNumber;
    } else if (unit == 'G') {
        key.rank = kGiga;
    } else if (unit == 'M') {
        key.rank = kMega;
    } else if (unit == 'K') {
        key.rank = kKilo;
    } else {
        key.rank = kUnknownUnit;
        key.unit = unit;
    }
    return key;
}

int CompareSizes(std::string_view a, std::string_view b) {
    const SizeKey ka = SizeKeyOf(a);
    const SizeKey kb = SizeKeyOf(b);
    if (int byRank = Order(ka.rank, kb.rank); byRank != 0) {
        return byRank;
    }
    if (int byUnit =
            Order(static_cast<unsigned char>(ka.unit), static_cast<unsigned char>(kb.unit));
        byUnit != 0) {
        return byUnit;
    }
    return Order(ka.value, kb.value);
}

}  // namespace

int CompareRecords(const TorrentRecord& a, const TorrentRecord& b, int nColumn) {
    switch (nColumn) {
        case kColumnAddDate:
            return CompareDates(a.AddDate, b.AddDate);
        case kColumnPercent:
            return CompareCompletion(a, b);
        case kColumnName:
            // std::string compares bytes as unsigned characters, so UTF-8
            // names sort by code point.
            return Order(a.Name.compare(b.Name), 0);
        case kColumnSize:
            return CompareSizes(a.Size, b.Size);
        case kColumnSeeds:
            return Order(a.Seeds, b.Seeds);
        case kColumnPeers:
            return Order(a.Peers, b.Peers);
        case kColumnRefreshDate:
            return CompareDates(a.RefreshDate, b.RefreshDate);
        default:
            return 0;
    }
}

int DayColourIndex(OleDate addDate, int64_t nowSeconds) {
    constexpr int kOtherDays = 3;
    constexpr int64_t kSecondsPerDay = 86400;
    const time_t now = static_cast<time_t>(nowSeconds);
    std::tm today{};
    if (!addDate.IsValid() || localtime_r(&now, &today) == nullptr) {
        return kOtherDays;
    }
    const OleDate endOfToday =
        OleDate::FromFields(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday, 23, 59, 59);
    if (!endOfToday.IsValid()) {
        return kOtherDays;
    }
    // Counted in whole seconds: a date of exactly 23:59:59 yesterday is one
    // day old, which the fractions of the two day numbers may miss.
    const double seconds = std::round((endOfToday.m_dt - addDate.m_dt) * kSecondsPerDay);
    const double days = std::trunc(seconds / kSecondsPerDay);
    return days >= 0 && days < kOtherDays ? static_cast<int>(days) : kOtherDays;
}

bool TipTriggered(int pointerX, int nameCellRight) {
    return pointerX < nameCellRight;
}

TipPosition PlaceTip(int x, int y, int w, int h, int screenTop, int screenBottom) {
    TipPosition position{x - w / 2, y - 5};
    if (position.y + h > screenBottom) {
        position.y = screenBottom - h;
    }
    position.y = std::max(position.y, screenTop);
    return position;
}
