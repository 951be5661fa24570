#include <gtest/gtest.h>

#include "listing_parser.h"
#include "run_helpers.h"
#include "site_context.h"
#include "test_home.h"
#include "wren_site.h"

namespace {

using run_helpers::TestHome;
using wren_pages::Row;

std::tm Today(int year, int month, int day) {
    std::tm today{};
    today.tm_year = year - 1900;
    today.tm_mon = month - 1;
    today.tm_mday = day;
    return today;
}

std::string RowDate(DateRoutine routine, std::vector<int64_t> fields, const std::tm& today) {
    return MakeRowDate(routine, fields.data(), static_cast<int>(fields.size()), today).Format();
}

TEST(RowDate, YearlessDatesFallInTheYearThatPutsThemBeforeToday) {
    const std::tm today = Today(2005, 3, 10);
    const auto monthDayTime = DateRoutine::kMonthDayTime;
    EXPECT_EQ(RowDate(monthDayTime, {3, 11, 8, 0}, today), "2004-03-11 08:00:00");
    EXPECT_EQ(RowDate(monthDayTime, {3, 10, 23, 59}, today), "2005-03-10 23:59:00");
    EXPECT_EQ(RowDate(monthDayTime, {4, 1, 0, 0}, today), "2004-04-01 00:00:00");
    EXPECT_EQ(RowDate(monthDayTime, {2, 28, 12, 0}, today), "2005-02-28 12:00:00");
    EXPECT_EQ(RowDate(DateRoutine::kYearMonthDayTimeSeconds, {2006, 7, 8, 9, 10, 11}, today),
              "2006-07-08 09:10:11");
    // Impossible dates stay invalid: 29 February of 2005, month 13.
    EXPECT_EQ(RowDate(DateRoutine::kMonthDay, {2, 29}, today), "");
    EXPECT_EQ(RowDate(DateRoutine::kYearMonthDay, {2006, 13, 1}, today), "");
}

TEST(RowText, TitleAndCommentCleanups) {
    const std::tuple<TitleCleanup, std::string, std::string> cases[] = {
        {TitleCleanup::kFontTag, "[w]<font color=\"#FF0000\">A</font>B</font>", "[w]AB"},
        {TitleCleanup::kFontTag, "[w]A</font>", "[w]A</font>"},
        {TitleCleanup::kFontTagFirstClose, "[o]<font color=red>A</font>B</font>", "[o]AB</font>"},
        {TitleCleanup::kFontAndStrongTags, "[f]<strong><font color=red>A</font></strong> <font>B",
         "[f]A B"},
        {TitleCleanup::kSpanTag, "[r]<span class=new><b>A</b></span></span>B", "[r]A</b>B"},
    };
    for (const auto& [cleanup, in, out] : cases) {
        std::string name = in;
        CleanTitle(cleanup, name);
        EXPECT_EQ(name, out) << in;
    }
    std::string comment = R"(<img src=\"http://x/a.jpg\" ><a href=\"/\" >x</a>)";
    CleanComment(CommentCleanup::kEscapedScriptQuotes, comment);
    EXPECT_EQ(comment, R"(<img src="http://x/a.jpg" ><a href="/" >x</a>)");
}

TEST(RowText, ByteSizesAreCutToTheirUnit) {
    EXPECT_EQ(ShortenByteSize("1073741824"), "1GB");
    EXPECT_EQ(ShortenByteSize("12345"), "12KB");
    EXPECT_EQ(ShortenByteSize("999"), "999Bytes");
    EXPECT_EQ(ShortenByteSize("1234567890123"), "1TB");
}

class WrenParse : public ::testing::Test {
  protected:
    std::vector<TorrentRecord> Parse(std::string page, const SiteData& site = wren::kSite) {
        const SiteContext context(site, home_.Location());
        auto fromSite = MakeFromSite(context.Charset());
        const ListingParser parser(context, site.page, context.PagePattern(), *fromSite);
        const std::string before = page;
        std::vector<TorrentRecord> records;
        EXPECT_TRUE(parser.ForEachRow(page.data(), page.size(), 769, Today(2024, 6, 15),
                                      [&](TorrentRecord&& r) { records.push_back(r); }));
        EXPECT_EQ(page, before) << "the parse leaves the page as it was";
        return records;
    }
    std::string Page(const std::vector<Row>& rows, size_t padTo = 0) {
        return wren_pages::Page("http://wren.example/", rows, padTo);
    }

    TestHome home_;
};

TEST_F(WrenParse, TitlesAreCutAt240SiteBytesAndBadBytesReplaced) {
    // One ASCII byte, then two-byte characters: byte 240 starts a character.
    std::string title = "A";
    std::string expected = "[wren]A";
    for (int i = 0; i < 150; ++i) {
        title += "动";
        expected += i < 119 ? "动" : "";
    }
    std::string page =
        Page({{6, 1, 0, 0, title, "", "1MB", 1, 1, 1}, {6, 1, 0, 0, "A@@B", "", "1MB", 1, 1, 2}});
    page.replace(page.find("A@@B"), 4,
                 "A\xFF\xFF"
                 "B");
    const auto records = Parse(page);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Name, expected);
    EXPECT_EQ(records[1].Name,
              "[wren]A\xEF\xBF\xBD\xEF\xBF\xBD"
              "B");
}

TEST_F(WrenParse, OnlyTheFirstRowIsBoundByTheCutLengthAndTheLastByteCounts) {
    std::vector<Row> rows;
    for (int i = 0; i < 20; ++i) {
        rows.push_back({6, 1, 0, i, "T", "", "1MB", 1, 1, i});
    }
    // Filler puts the first row within the cut and every later one beyond it.
    const std::string page = Page(rows, 20 * 40000);
    EXPECT_EQ(Parse(page).size(), 20u);
    SiteData shortCut = wren::kSite;
    shortCut.cutLength = page.find("<tr class=mainrow") - 1;
    EXPECT_TRUE(Parse(page, shortCut).empty());

    // The pattern's last byte is the page's last byte.
    std::string ending = Page({rows[0]});
    ending.resize(ending.find(" target") + 7);
    EXPECT_EQ(Parse(ending).size(), 1u);
}

constexpr uint16_t kLinkGroups[] = {kDate, kDate, kDate, kWebAddr | kAddr0 | kWithBase, kTitle};
constexpr SiteData kLinkSite{
    .tag = "links",
    .defaultBase = "http://links.example/",
    .defaultCharset = "GBK",
    .page = {.text = R"pat(<li>({\d+}-{\d+}-{\d+}) <a href="({.*?})">({.*?})</a>)pat",
             .groups = kLinkGroups,
             .date = DateRoutine::kYearMonthDay,
             .cutTitle = false},
};

TEST_F(WrenParse, RelativeLinksGetTheBaseAndUncutTitlesStayWhole) {
    const std::string title(300, 'x');
    const auto records =
        Parse("<ul><li>2024-01-02 <a href=\"t/1.html\">" + title + "</a></ul>", kLinkSite);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].WebAddr, "http://links.example/t/1.html");
    EXPECT_EQ(records[0].Addr0, records[0].WebAddr);
    EXPECT_EQ(records[0].Name, "[links]" + title);
    EXPECT_EQ(records[0].AddDate, OleDate::FromFields(2024, 1, 2));
}

}  // namespace
