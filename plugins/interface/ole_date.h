// OleDate: the date-time value of every record, database row and refresh
// date: days since 1899-12-30 00:00 local time, the time of day as the
// fraction, plus a status (0 valid).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct OleDate {
    enum Status : int32_t { kValid = 0, kInvalid = 1 };

    double m_dt = 0.0;
    int32_t m_status = kValid;

    // Builds a date from local calendar fields; an impossible date (month 13,
    // 30 February, hour 24 ...) gives an invalid value, as the OLE set
    // operation does.
    static OleDate FromFields(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0);
    // A Unix time value as local date-time.
    static OleDate FromUnixTime(time_t seconds);
    // The epoch as local time: the starting "newest seen" of a page task.
    static OleDate LocalEpoch() { return FromUnixTime(0); }

    bool IsValid() const { return m_status == kValid; }

    // Local calendar fields, rounded to the second. False for an invalid value.
    bool ToFields(std::tm& out) const;
    // The local time as a Unix time value (mktime). -1 for an invalid value.
    time_t ToUnixTime() const;
    // "YYYY-MM-DD HH:MM:SS"; empty for an invalid value.
    std::string Format() const;
    // Parses the Format() text; an invalid value when it does not parse.
    static OleDate Parse(const std::string& text);

    friend bool operator==(const OleDate& a, const OleDate& b) {
        return a.m_dt == b.m_dt && a.m_status == b.m_status;
    }
};
