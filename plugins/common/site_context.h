// A site's data together with what the plug-in found at load: where it lives,
// the site's address and charset from kernel/dllmgr.ini, the patterns in that
// charset, and the clock.
#pragma once

#include <array>
#include <atomic>
#include <string>

#include "clock.h"
#include "ole_date.h"
#include "patmatch.h"
#include "plugin_location.h"
#include "site_data.h"

class SiteContext {
  public:
    // Reads [Site_<registry name>] Base and Charset; a missing key, or a
    // charset iconv does not know, keeps the compiled default.
    SiteContext(const SiteData& site, PluginLocation location, ClockFn clock = nullptr);
    SiteContext(const SiteContext&) = delete;
    SiteContext& operator=(const SiteContext&) = delete;

    const SiteData& Site() const { return site_; }
    const PluginLocation& Location() const { return location_; }
    const std::string& Base() const { return base_; }  // UTF-8
    const std::string& Charset() const { return charset_; }
    PatternCharset PatternCharsetOfSite() const { return patternCharset_; }

    // Where the site's search goes when it is a separate service: [Site_...]
    // Search, else the compiled default. UTF-8.
    const std::string& SearchBase() const { return searchBase_; }
    // The download servers of a site with mirrors: [Site_...] Mirror0..3,
    // else the compiled defaults. UTF-8.
    const std::string& Mirror(int number) const { return mirrors_[static_cast<size_t>(number)]; }

    // Listing row and pager patterns in the site's charset.
    const std::string& PagePattern() const { return pagePattern_; }
    const std::string& PagerPattern() const { return pagerPattern_; }

    int64_t Now() const { return clock_.load()(); }
    // Null restores the system clock.
    void SetClock(ClockFn clock) { clock_.store(clock != nullptr ? clock : &SystemNow); }

    // [RefreshDate_<registry name>], key group then index ("23"). A missing
    // or unreadable value reads as 0: everything is new.
    OleDate ReadRefreshDate(int group, int index) const;
    bool WriteRefreshDate(int group, int index, const OleDate& date) const;

  private:
    const SiteData& site_;
    PluginLocation location_;
    std::string base_;
    std::string charset_;
    std::string searchBase_;
    std::array<std::string, 4> mirrors_;
    PatternCharset patternCharset_ = PatternCharset::Bytes;
    std::string pagePattern_;
    std::string pagerPattern_;
    std::atomic<ClockFn> clock_;
};

// The refresh-date value as dllmgr.ini holds it: "%.9lf" in every locale.
std::string FormatRefreshValue(double value);
// Leading blanks, then a decimal number; 0 when there is none or it is not
// finite.
double ParseRefreshValue(const std::string& text);
