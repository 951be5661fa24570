#include <gtest/gtest.h>

#include <clocale>
#include <fstream>

#include "listing_request.h"
#include "plugin_location.h"
#include "site_context.h"
#include "test_home.h"
#include "wren_site.h"

namespace {

constexpr std::string_view kBase = "http://site.example/";

TEST(SlotTable, SectionsComeFromTheTemplate) {
    EXPECT_EQ(SlotSections(wren::kSite, 3, 1), 1);
    EXPECT_EQ(SlotSections(wren::kSite, 3, 2), 1);
    EXPECT_EQ(SlotSections(wren::kSite, 3, 0), 0);
    EXPECT_EQ(SlotSections(wren::kSite, 2, 1), 0);
    EXPECT_EQ(SlotSections(wren::kSite, -1, 1), 0);
    EXPECT_EQ(SlotSections(wren::kSite, 9, 1), 0);

    constexpr SlotEntry kSlots[] = {{2, 1, "f.php?fid=%s&page=%d|269|266|247|137|201"},
                                    {2, 2, "|6|7"}};
    const SiteData site{.slots = kSlots};
    EXPECT_EQ(SlotSections(site, 2, 1), 5);
    EXPECT_EQ(SlotSections(site, 2, 2), 2);
}

TEST(ListingRequest, PathTemplates) {
    const SiteData& wren = wren::kSite;
    EXPECT_EQ(BuildListingRequest(wren, SlotTemplate(wren, 3, 1), 1, 3, kBase, "").url,
              "http://site.example/index.php?cateId=1&page=3&order=default&by=DESC");

    const SiteData site{.request = ListingRequest::kPathTemplate};
    const auto sectioned = BuildListingRequest(
        site, "forumdisplay.php?fid=%s&page=%d|269|266|247|137|201", 2, 1, kBase, "");
    EXPECT_EQ(sectioned.url, "http://site.example/forumdisplay.php?fid=266&page=1");
    EXPECT_TRUE(sectioned.body.empty());
    EXPECT_EQ(
        BuildListingRequest(site, "index.html?page=%d&filter=%%D3%%CE%%CF%%B7", 1, 1, kBase, "")
            .url,
        "http://site.example/index.html?page=1&filter=%D3%CE%CF%B7");
}

TEST(ListingRequest, FormPostsAndPagerLinks) {
    const SiteData form{
        .request = ListingRequest::kFormPost,
        .formPath = "index.php",
        .formBody = "sorttype=&page=%d&category=%s&tracker=&keyword=&keytype=subject"};
    const auto posted = BuildListingRequest(form, "|6|7", 2, 4, kBase, "");
    EXPECT_EQ(posted.url, "http://site.example/index.php");
    EXPECT_EQ(posted.body, "sorttype=&page=4&category=7&tracker=&keyword=&keytype=subject");
    EXPECT_EQ(BuildListingRequest(form, "3", 1, 1, kBase, "").body,
              "sorttype=&page=1&category=3&tracker=&keyword=&keytype=subject");

    const SiteData pager{.request = ListingRequest::kPagerLink};
    EXPECT_EQ(BuildListingRequest(pager, "Index.asp?ClassID=|702|704", 2, 1, kBase, "").url,
              "http://site.example/Index.asp?ClassID=704");
    EXPECT_EQ(BuildListingRequest(pager, "Index.asp?ClassID=701", 1, 1, kBase, "").url,
              "http://site.example/Index.asp?ClassID=701");
    EXPECT_EQ(BuildListingRequest(pager, "Index.asp?ClassID=701", 1, 3, kBase,
                                  "http://site.example/Index.asp?ClassID=701&Page=")
                  .url,
              "http://site.example/Index.asp?ClassID=701&Page=3");
}

TEST(PluginLocation, HomeAndRegistryNameFromTheModulePath) {
    const auto top = LocatePlugin("/opt/t/kernel/wren.so", "/");
    ASSERT_TRUE(top);
    EXPECT_EQ(top->home, "/opt/t/");
    EXPECT_EQ(top->registryName, "wren.so");
    EXPECT_EQ(top->DllMgrIniPath(), "/opt/t/kernel/dllmgr.ini");

    const auto nested = LocatePlugin("/opt/kernel/t/kernel/petrel/larkspur.so", "/");
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->home, "/opt/kernel/t/");
    EXPECT_EQ(nested->registryName, "petrel/larkspur.so");

    const auto relative = LocatePlugin("kernel/./x/../wren.so", "/home/u");
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->home, "/home/u/");
    EXPECT_EQ(relative->registryName, "wren.so");

    EXPECT_FALSE(LocatePlugin("/usr/lib/wren.so", "/"));
    EXPECT_FALSE(LocatePlugin("", "/"));
}

TEST(SiteContext, DllMgrIniOverridesAndRefreshDates) {
    TestHome home;
    const SiteContext defaults(wren::kSite, home.Location());
    EXPECT_EQ(defaults.Base(), "http://wren.example/");
    EXPECT_EQ(defaults.Charset(), "GBK");
    EXPECT_EQ(defaults.ReadRefreshDate(3, 1).m_dt, 0.0) << "a missing file means everything is new";

    std::ofstream(home.IniPath()) << "[Site_sub/wren.so]\nBase=http://moved.example/\n"
                                     "Charset=NO-SUCH-CHARSET\n"
                                     "[RefreshDate_sub/wren.so]\n31=  45000.25\n32=garbage\n";
    const SiteContext moved(wren::kSite, home.Location("sub/wren.so"));
    EXPECT_EQ(moved.Base(), "http://moved.example/");
    EXPECT_EQ(moved.Charset(), "GBK");
    EXPECT_EQ(moved.ReadRefreshDate(3, 1).m_dt, 45000.25);
    EXPECT_EQ(moved.ReadRefreshDate(3, 2).m_dt, 0.0);

    OleDate date;
    date.m_dt = 45123.5;
    ASSERT_TRUE(moved.WriteRefreshDate(2, 3, date));
    EXPECT_NE(home.ReadIni().find("23=45123.500000000"), std::string::npos);
    EXPECT_NE(home.ReadIni().find("Base=http://moved.example/"), std::string::npos);
    EXPECT_EQ(defaults.ReadRefreshDate(2, 3).m_dt, 0.0) << "sections are per registry name";
}

TEST(SiteContext, RefreshValuesIgnoreTheNumericLocale) {
    // The GUI sets the user's locale; a decimal comma must not reach the file.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(FormatRefreshValue(38500.5), "38500.500000000");
    EXPECT_EQ(FormatRefreshValue(0.0), "0.000000000");
    EXPECT_EQ(ParseRefreshValue("38500.25"), 38500.25);
    EXPECT_EQ(ParseRefreshValue("nan"), 0.0);
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
