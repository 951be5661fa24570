// Pieces of markup the fixture sites' page generators have in common.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace page_markup {

// The start of a page the sites send in GBK, up to the end of its title.
inline std::string GbkHead(const std::string& title) {
    return "<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
           "charset=gb2312\">\n<title>" +
           title + "</title>\n";
}

// "MM-DD hh:mm", the yearless date most listings print.
inline std::string MonthDayTime(int month, int day, int hour, int minute) {
    char date[32];
    std::snprintf(date, sizeof date, "%02d-%02d %02d:%02d", month, day, hour, minute);
    return date;
}

inline std::string MonthDayTime(time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return MonthDayTime(local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
}

// A text inside a double-quoted script string.
inline std::string ScriptString(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

}  // namespace page_markup
