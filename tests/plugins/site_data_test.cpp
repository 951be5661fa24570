// Every site's tables checked against the design they feed: a slip in one
// site's data shows here instead of as a silent empty catalogue.
#include <gtest/gtest.h>
#include <iconv.h>

#include <set>

#include "crane/crane_site.h"
#include "egret/egret_site.h"
#include "ibis/ibis_site.h"
#include "kite/kite_site.h"
#include "parse_handle.h"
#include "petrel/petrel_site.h"
#include "plover/plover_site.h"
#include "robin/robin_site.h"
#include "stork/stork_site.h"
#include "swift/swift_site.h"
#include "tern/tern_site.h"
#include "text_codec.h"
#include "wren/wren_site.h"

namespace {

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

int DateFields(DateRoutine routine) {
    switch (routine) {
        case DateRoutine::kMonthDayTime:
            return 4;
        case DateRoutine::kMonthDay:
            return 2;
        case DateRoutine::kYearMonthDay:
            return 3;
        case DateRoutine::kYearMonthDayTime:
            return 5;
        case DateRoutine::kYearMonthDayTimeSeconds:
            return 6;
        case DateRoutine::kUnixSeconds:
            return 1;
    }
    return -1;
}

// Capture groups of the dialect: every '{' not written as a literal.
size_t CaptureGroups(std::string_view pattern) {
    size_t count = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            ++i;
        } else if (pattern[i] == '{') {
            ++count;
        }
    }
    return count;
}

bool Compiles(const SiteData& site, std::string_view pattern) {
    auto toSite = MakeToSite(std::string(site.defaultCharset));
    const std::string converted = toSite->Convert(pattern);
    ParsePtr parse = MakeParse(PatternCharset::Gbk);
    return parse && parse->Parse(converted.c_str(), "") != 0;
}

void ExpectRowPattern(const SiteData& site, const RowPattern& rows) {
    ASSERT_FALSE(rows.text.empty());
    EXPECT_TRUE(Compiles(site, rows.text));
    EXPECT_EQ(CaptureGroups(rows.text), rows.groups.size()) << "one field entry per group";
    int dates = 0;
    int titles = 0;
    for (const uint16_t fields : rows.groups) {
        dates += (fields & kDate) != 0 ? 1 : 0;
        titles += (fields & kTitle) != 0 ? 1 : 0;
    }
    EXPECT_EQ(dates, DateFields(rows.date));
    EXPECT_EQ(titles, 1);
}

class SiteTables : public ::testing::TestWithParam<NamedSite> {};

TEST_P(SiteTables, FitTheDesign) {
    const SiteData& site = *GetParam().site;
    EXPECT_EQ(site.tag, GetParam().name);
    ASSERT_FALSE(site.defaultBase.empty());
    EXPECT_EQ(site.defaultBase.back(), '/');
    const iconv_t probe = iconv_open("UTF-8", std::string(site.defaultCharset).c_str());
    ASSERT_NE(probe, reinterpret_cast<iconv_t>(-1));
    iconv_close(probe);
    EXPECT_GE(site.pageLimit, 1);
    EXPECT_GT(site.cutLength, 0u);

    std::set<std::pair<int, int>> seen;
    for (const SlotEntry& slot : site.slots) {
        SCOPED_TRACE(std::string(slot.listing));
        EXPECT_TRUE(seen.insert({slot.group, slot.index}).second) << "one entry per slot";
        EXPECT_GE(slot.group, 1);
        EXPECT_LE(slot.group, 5);
        EXPECT_GE(slot.index, 1) << "index 0 names a whole group";
        EXPECT_LE(slot.index, 7);
        const std::string_view head = slot.listing.substr(0, slot.listing.find('|'));
        const bool sectioned = SlotSections(site, slot.group, slot.index) > 1;
        switch (site.request) {
            case ListingRequest::kPathTemplate:
                EXPECT_NE(head.find("%d"), std::string_view::npos);
                EXPECT_EQ(head.find("%s") != std::string_view::npos, sectioned);
                break;
            case ListingRequest::kPagerLink:
                EXPECT_EQ(head.find('%'), std::string_view::npos);
                break;
            case ListingRequest::kFormPost:
                EXPECT_EQ(head.empty(), sectioned) << "a category id or section ids";
                break;
        }
    }
    if (site.request == ListingRequest::kFormPost) {
        EXPECT_FALSE(site.formPath.empty());
        EXPECT_NE(site.formBody.find("%d"), std::string_view::npos);
        EXPECT_NE(site.formBody.find("%s"), std::string_view::npos);
    }
    if (site.request == ListingRequest::kPagerLink) {
        EXPECT_EQ(CaptureGroups(site.pagerPattern), 1u);
        EXPECT_TRUE(Compiles(site, site.pagerPattern));
    }
    {
        SCOPED_TRACE("page pattern");
        ExpectRowPattern(site, site.page);
    }
    if (!site.search.text.empty()) {
        SCOPED_TRACE("search pattern");
        ExpectRowPattern(site, site.search);
    }
}

INSTANTIATE_TEST_SUITE_P(Sites, SiteTables, ::testing::ValuesIn(kSites),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
