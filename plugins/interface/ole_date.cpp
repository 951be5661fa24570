#include "ole_date.h"

#include <cmath>
#include <cstdio>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

const int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

OleDate Invalid() {
    OleDate date;
    date.m_status = OleDate::kInvalid;
    return date;
}

}  // namespace

OleDate OleDate::FromFields(int year, int month, int day, int hour, int minute, int second) {
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return Invalid();
    }
    OleDate date;
    const double days = static_cast<double>(DaysFromCivil(year, month, day) - kOleEpochDays);
    date.m_dt = days + (hour * 3600 + minute * 60 + second) / 86400.0;
    return date;
}

OleDate OleDate::FromUnixTime(time_t seconds) {
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return Invalid();
    }
    return FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
}

bool OleDate::ToFields(std::tm& out) const {
    if (!IsValid() || !std::isfinite(m_dt) || std::fabs(m_dt) > 3e6) {
        return false;
    }
    // Round to the second first, so 23:59:59.9999 does not show as 23:59:59
    // of a day that has already ended.
    const int64_t total_seconds = std::llround(m_dt * 86400.0);
    int64_t days = total_seconds / 86400;
    int64_t second_of_day = total_seconds % 86400;
    if (second_of_day < 0) {
        second_of_day += 86400;
        days -= 1;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(days + kOleEpochDays, year, month, day);
    out = std::tm{};
    out.tm_year = year - 1900;
    out.tm_mon = month - 1;
    out.tm_mday = day;
    out.tm_hour = static_cast<int>(second_of_day / 3600);
    out.tm_min = static_cast<int>(second_of_day / 60 % 60);
    out.tm_sec = static_cast<int>(second_of_day % 60);
    out.tm_isdst = -1;
    return true;
}

time_t OleDate::ToUnixTime() const {
    std::tm fields{};
    if (!ToFields(fields)) {
        return -1;
    }
    return mktime(&fields);
}

std::string OleDate::Format() const {
    std::tm fields{};
    if (!ToFields(fields)) {
        return {};
    }
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
    return text;
}

OleDate OleDate::Parse(const std::string& text) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    const int fields = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour,
                                   &minute, &second);
    if (fields != 3 && fields != 6) {
        return Invalid();
    }
    return FromFields(year, month, day, hour, minute, second);
}
