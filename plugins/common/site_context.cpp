#include "site_context.h"

#include <iconv.h>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "ini_file.h"
#include "text_codec.h"

namespace {

bool IconvKnows(const std::string& charset) {
    for (const auto& [to, from] :
         {std::pair{charset, std::string("UTF-8")}, std::pair{std::string("UTF-8"), charset}}) {
        iconv_t handle = iconv_open(to.c_str(), from.c_str());
        if (handle == reinterpret_cast<iconv_t>(-1)) {
            return false;
        }
        iconv_close(handle);
    }
    return true;
}

PatternCharset PatternCharsetFor(std::string charset) {
    std::transform(charset.begin(), charset.end(), charset.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (charset == "UTF-8" || charset == "UTF8") {
        return PatternCharset::Utf8;
    }
    // Two-byte Chinese charsets share GBK's lead and trail byte ranges.
    if (charset == "GBK" || charset == "CP936" || charset == "GB2312" || charset == "EUC-CN" ||
        charset == "GB18030") {
        return PatternCharset::Gbk;
    }
    return PatternCharset::Bytes;
}

std::string RefreshSection(const PluginLocation& location) {
    return "RefreshDate_" + location.registryName;
}

std::string RefreshKey(int group, int index) {
    return std::to_string(group) + std::to_string(index);
}

}  // namespace

SiteContext::SiteContext(const SiteData& site, PluginLocation location, ClockFn clock)
    : site_(site), location_(std::move(location)), clock_(clock != nullptr ? clock : &SystemNow) {
    const CIniFile ini(location_.DllMgrIniPath());
    const std::string section = "Site_" + location_.registryName;
    if (ini.GetString(section, "Base", base_) == 0) {
        base_ = site_.defaultBase;
    }
    if (ini.GetString(section, "Charset", charset_) == 0 || !IconvKnows(charset_)) {
        charset_ = site_.defaultCharset;
    }
    if (ini.GetString(section, "Search", searchBase_) == 0) {
        searchBase_ = site_.defaultSearchBase;
    }
    for (size_t number = 0; number < mirrors_.size(); ++number) {
        if (ini.GetString(section, "Mirror" + std::to_string(number), mirrors_[number]) == 0) {
            mirrors_[number] = site_.defaultMirrors[number];
        }
    }
    patternCharset_ = PatternCharsetFor(charset_);
    auto toSite = MakeToSite(charset_);
    pagePattern_ = toSite->Convert(site_.page.text);
    pagerPattern_ = toSite->Convert(site_.pagerPattern);
}

OleDate SiteContext::ReadRefreshDate(int group, int index) const {
    const CIniFile ini(location_.DllMgrIniPath());
    std::string text;
    ini.GetString(RefreshSection(location_), RefreshKey(group, index), text);
    OleDate date;
    date.m_dt = ParseRefreshValue(text);
    return date;
}

bool SiteContext::WriteRefreshDate(int group, int index, const OleDate& date) const {
    CIniFile ini(location_.DllMgrIniPath());
    return ini.WriteString(RefreshSection(location_), RefreshKey(group, index),
                           FormatRefreshValue(date.m_dt));
}

std::string FormatRefreshValue(double value) {
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 9);
    return std::string(text, result.ptr);
}

double ParseRefreshValue(const std::string& text) {
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    while (begin < end && (*begin == ' ' || *begin == '\t')) {
        ++begin;
    }
    if (begin < end && *begin == '+') {
        ++begin;
    }
    double value = 0.0;
    const auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || !std::isfinite(value)) {
        return 0.0;
    }
    return value;
}
