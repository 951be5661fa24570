#include <gtest/gtest.h>
#include <iconv.h>

#include <set>

#include "crane/crane_site.h"
#include "egret/egret_site.h"
#include "ibis/ibis_site.h"
#include "kite/kite_site.h"
#include "listing_request.h"
#include "parse_handle.h"
#include "petrel/petrel_site.h"
#include "plover/plover_site.h"
#include "robin/robin_site.h"
#include "run_helpers.h"
#include "site_context.h"
#include "stork/stork_site.h"
#include "swift/swift_site.h"
#include "tern/tern_site.h"
#include "test_home.h"
#include "text_codec.h"
#include "wren/wren_site.h"

namespace {

using run_helpers::Contains;

constexpr std::string_view kBase = "http://site.example/";

TEST(ListingRequest, TemplatesSectionsFormsAndPagerLinks) {
    const SiteData path{};
    EXPECT_EQ(BuildListingRequest(path, "f.php?fid=%s&page=%d|269|266|247", 2, 1, kBase, "").url,
              "http://site.example/f.php?fid=266&page=1");
    EXPECT_EQ(BuildListingRequest(path, "i.html?page=%d&filter=%%D3%%CE", 1, 4, kBase, "").url,
              "http://site.example/i.html?page=4&filter=%D3%CE");

    const SiteData form{.request = ListingRequest::kFormPost,
                        .formPath = "index.php",
                        .formBody = "page=%d&category=%s&keytype=subject"};
    const auto posted = BuildListingRequest(form, "|6|7", 2, 4, kBase, "");
    EXPECT_EQ(posted.url, "http://site.example/index.php");
    EXPECT_EQ(posted.body, "page=4&category=7&keytype=subject");
    EXPECT_EQ(BuildListingRequest(form, "3", 1, 1, kBase, "").body,
              "page=1&category=3&keytype=subject");

    const SiteData pager{.request = ListingRequest::kPagerLink};
    EXPECT_EQ(BuildListingRequest(pager, "I.asp?ClassID=|702|704", 2, 1, kBase, "").url,
              "http://site.example/I.asp?ClassID=704");
    EXPECT_EQ(BuildListingRequest(pager, "I.asp?ClassID=701", 1, 3, kBase, "http://x/I.asp?P=").url,
              "http://x/I.asp?P=3");
}

TEST(PluginLocation, HomeAndRegistryNameFromTheModulePath) {
    const auto nested = LocatePlugin("/opt/kernel/t/kernel/petrel/larkspur.so", "/");
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->home, "/opt/kernel/t/");
    EXPECT_EQ(nested->registryName, "petrel/larkspur.so");
    const auto relative = LocatePlugin("kernel/./x/../wren.so", "/home/u");
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->DllMgrIniPath(), "/home/u/kernel/dllmgr.ini");
    EXPECT_EQ(relative->registryName, "wren.so");
    EXPECT_FALSE(LocatePlugin("/usr/lib/wren.so", "/"));
}

TEST(SiteContext, DllMgrIniOverridesAndRefreshDatesPerRegistryName) {
    run_helpers::TestHome home;
    home.WriteIni(
        "[Site_sub/wren.so]\nBase=http://moved.example/\nCharset=NO-SUCH-CHARSET\n"
        "[RefreshDate_sub/wren.so]\n31=  45000.25\n32=garbage\n");
    const SiteContext moved(wren::kSite, home.Location("sub/wren.so"));
    EXPECT_EQ(moved.Base(), "http://moved.example/");
    EXPECT_EQ(moved.Charset(), "GBK");
    EXPECT_EQ(moved.ReadRefreshDate(3, 1).m_dt, 45000.25);
    EXPECT_EQ(moved.ReadRefreshDate(3, 2).m_dt, 0.0);

    const SiteContext plain(wren::kSite, home.Location());
    EXPECT_EQ(plain.Base(), "http://wren.example/");
    OleDate date;
    date.m_dt = 45123.5;
    ASSERT_TRUE(plain.WriteRefreshDate(2, 3, date));
    EXPECT_NE(home.ReadIni().find("[RefreshDate_wren.so]\n23=45123.500000000"), std::string::npos)
        << home.ReadIni();
    EXPECT_EQ(moved.ReadRefreshDate(2, 3).m_dt, 0.0);
    EXPECT_NE(home.ReadIni().find("Base=http://moved.example/"), std::string::npos);
}

// Every site's tables against the design they feed: a slip in one site's
// data shows here instead of as an empty catalogue.
struct NamedSite {
    const char* name;
    const SiteData* site;
};
const NamedSite kSites[] = {
    {"wren", &wren::kSite},     {"swift", &swift::kSite}, {"plover", &plover::kSite},
    {"petrel", &petrel::kSite}, {"tern", &tern::kSite},   {"stork", &stork::kSite},
    {"robin", &robin::kSite},   {"egret", &egret::kSite}, {"kite", &kite::kSite},
    {"crane", &crane::kSite},   {"ibis", &ibis::kSite},
};

size_t CaptureGroups(std::string_view pattern) {
    size_t count = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            ++i;  // an escaped character stands for itself
        } else if (pattern[i] == '{') {
            ++count;
        }
    }
    return count;
}

void ExpectPattern(const SiteData& site, std::string_view pattern, size_t groups) {
    const std::string converted = MakeToSite(std::string(site.defaultCharset))->Convert(pattern);
    ParsePtr parse = MakeParse(PatternCharset::Gbk);
    EXPECT_NE(parse->Parse(converted.c_str(), ""), 0) << pattern;
    EXPECT_EQ(CaptureGroups(pattern), groups) << pattern;
}

class SiteTables : public ::testing::TestWithParam<NamedSite> {};

TEST_P(SiteTables, FitTheDesign) {
    const SiteData& site = *GetParam().site;
    EXPECT_EQ(site.tag, GetParam().name);
    EXPECT_TRUE(site.defaultBase.ends_with('/'));
    const iconv_t probe = iconv_open("UTF-8", std::string(site.defaultCharset).c_str());
    ASSERT_NE(probe, reinterpret_cast<iconv_t>(-1));
    iconv_close(probe);

    std::set<std::pair<int, int>> seen;
    for (const SlotEntry& slot : site.slots) {
        SCOPED_TRACE(std::string(slot.listing));
        EXPECT_TRUE(seen.insert({slot.group, slot.index}).second);
        EXPECT_TRUE(slot.group >= 1 && slot.group <= 5 && slot.index >= 1 && slot.index <= 7);
        const std::string_view head = slot.listing.substr(0, slot.listing.find('|'));
        const bool sectioned = SlotSections(site, slot.group, slot.index) > 1;
        if (site.request == ListingRequest::kPathTemplate) {
            EXPECT_TRUE(Contains(head, "%d"));
            EXPECT_EQ(Contains(head, "%s"), sectioned);
        } else if (site.request == ListingRequest::kFormPost) {
            EXPECT_EQ(head.empty(), sectioned) << "a category id or section ids";
        }
    }
    if (site.request == ListingRequest::kFormPost) {
        EXPECT_TRUE(Contains(site.formBody, "%d") && Contains(site.formBody, "%s"));
    }
    if (site.request == ListingRequest::kPagerLink) {
        ExpectPattern(site, site.pagerPattern, 1);
    }
    constexpr int kDateFields[] = {4, 2, 3, 5, 6, 1};
    for (const RowPattern* rows : {&site.page, &site.search}) {
        if (rows->text.empty()) {
            continue;
        }
        ExpectPattern(site, rows->text, rows->groups.size());
        EXPECT_EQ(std::count_if(rows->groups.begin(), rows->groups.end(),
                                [](uint16_t f) { return (f & kDate) != 0; }),
                  kDateFields[static_cast<int>(rows->date)]);
        EXPECT_EQ(std::count_if(rows->groups.begin(), rows->groups.end(),
                                [](uint16_t f) { return (f & kTitle) != 0; }),
                  1);
    }
}

INSTANTIATE_TEST_SUITE_P(Sites, SiteTables, ::testing::ValuesIn(kSites),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
