#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listing_parser.h"
#include "site_context.h"
#include "test_home.h"
#include "wren_pages.h"
#include "wren_site.h"

namespace {

using wren_pages::Row;

std::tm Today(int year, int month, int day) {
    std::tm today{};
    today.tm_year = year - 1900;
    today.tm_mon = month - 1;
    today.tm_mday = day;
    return today;
}

std::string Formatted(DateRoutine routine, std::vector<int64_t> fields, const std::tm& today) {
    return MakeRowDate(routine, fields.data(), static_cast<int>(fields.size()), today).Format();
}

TEST(RowDate, YearlessDatesTakeTheYearThatPutsThemBeforeToday) {
    const std::tm today = Today(2005, 3, 10);
    EXPECT_EQ(Formatted(DateRoutine::kMonthDayTime, {3, 11, 8, 0}, today), "2004-03-11 08:00:00");
    EXPECT_EQ(Formatted(DateRoutine::kMonthDayTime, {3, 10, 23, 59}, today), "2005-03-10 23:59:00");
    EXPECT_EQ(Formatted(DateRoutine::kMonthDayTime, {4, 1, 0, 0}, today), "2004-04-01 00:00:00");
    EXPECT_EQ(Formatted(DateRoutine::kMonthDayTime, {2, 28, 12, 0}, today), "2005-02-28 12:00:00");
    EXPECT_EQ(Formatted(DateRoutine::kMonthDay, {12, 31}, Today(2006, 1, 1)),
              "2005-12-31 00:00:00");
}

TEST(RowDate, RoutinesWithYearAndImpossibleDates) {
    const std::tm today = Today(2005, 3, 10);
    EXPECT_EQ(Formatted(DateRoutine::kYearMonthDay, {2006, 7, 8}, today), "2006-07-08 00:00:00");
    EXPECT_EQ(Formatted(DateRoutine::kYearMonthDayTime, {2006, 7, 8, 9, 10}, today),
              "2006-07-08 09:10:00");
    EXPECT_EQ(Formatted(DateRoutine::kYearMonthDayTimeSeconds, {2006, 7, 8, 9, 10, 11}, today),
              "2006-07-08 09:10:11");
    EXPECT_EQ(MakeRowDate(DateRoutine::kUnixSeconds, std::vector<int64_t>{0}.data(), 1, today),
              OleDate::LocalEpoch());
    // 29 February of an inferred year without one, month 13, huge numbers.
    EXPECT_FALSE(MakeRowDate(DateRoutine::kMonthDay, std::vector<int64_t>{2, 29}.data(), 2, today)
                     .IsValid());
    EXPECT_FALSE(
        MakeRowDate(DateRoutine::kYearMonthDay, std::vector<int64_t>{2006, 13, 1}.data(), 3, today)
            .IsValid());
    EXPECT_FALSE(MakeRowDate(DateRoutine::kYearMonthDay,
                             std::vector<int64_t>{1'000'000'000'000, 1, 1}.data(), 3, today)
                     .IsValid());
}

TEST(TextCleanup, TitleRoutines) {
    struct Case {
        TitleCleanup cleanup;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {TitleCleanup::kFontTag, "[w]<font color=\"#FF0000\">Title</font>", "[w]Title"},
        {TitleCleanup::kFontTag, "[w]A</font>", "[w]A</font>"},
        {TitleCleanup::kFontTag, "[w]<font color=red>A</font>B</font>", "[w]AB"},
        {TitleCleanup::kFontTagFirstClose, "[o]<font color=red>A</font>B</font>", "[o]AB</font>"},
        {TitleCleanup::kFontAndStrongTags,
         "[f]<strong><font color=red>A</font></strong> <font size=2>B", "[f]A B"},
        {TitleCleanup::kFontAndStrongTags, "[f]A<font size=2", "[f]A<font size=2"},
        {TitleCleanup::kSpanTag, "[r]<span class=new><b>A</b></span></span>B", "[r]A</b>B"},
        {TitleCleanup::kSpanTag, "[r]<span class=x><b>A</b></span>", "[r]A</b>"},
        {TitleCleanup::kSpanTag, "[r]A", "[r]A"},
    };
    for (const Case& c : cases) {
        std::string name = c.in;
        CleanTitle(c.cleanup, name);
        EXPECT_EQ(name, c.out) << c.in;
    }
}

TEST(TextCleanup, EscapedScriptQuotesInComments) {
    std::string comment = R"(<img src=\"http://x/a.jpg\" ><a href=\"http://x/\" >x</a>)";
    CleanComment(CommentCleanup::kEscapedScriptQuotes, comment);
    EXPECT_EQ(comment, R"(<img src="http://x/a.jpg" ><a href="http://x/" >x</a>)");
}

TEST(Numbers, ByteSizesAreCutToTheirUnit) {
    EXPECT_EQ(ShortenByteSize("1073741824"), "1GB");
    EXPECT_EQ(ShortenByteSize("1024"), "1KB");
    EXPECT_EQ(ShortenByteSize("12345"), "12KB");
    EXPECT_EQ(ShortenByteSize("1999999"), "1MB");
    EXPECT_EQ(ShortenByteSize("999"), "999Bytes");
    EXPECT_EQ(ShortenByteSize("1234567890123"), "1TB");
    EXPECT_EQ(ShortenByteSize(std::string(30, '9')), std::string(30, '9') + "Bytes");
    EXPECT_EQ(ShortenByteSize("abc"), "");
}

TEST(Numbers, LeadingIntegerReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(LeadingInteger(" 42 peers"), 42);
    EXPECT_EQ(LeadingInteger("-7"), -7);
    EXPECT_EQ(LeadingInteger("n/a"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999999999999"), 1'000'000'000'000'000);
}

class WrenParse : public ::testing::Test {
  protected:
    static constexpr const char* kBase = "http://wren.example/";

    std::vector<TorrentRecord> Parse(std::string page, const SiteData& site, const RowPattern& rows,
                                     int type = 3 * 256 + 1) {
        const SiteContext context(site, home_.Location());
        const std::string pattern =
            &rows == &site.page ? context.PagePattern() : context.SearchPattern();
        auto fromSite = MakeFromSite(context.Charset());
        const ListingParser parser(context, rows, pattern, *fromSite);
        const std::string before = page;
        std::vector<TorrentRecord> records;
        EXPECT_TRUE(parser.ForEachRow(page.data(), page.size(), type, Today(2024, 6, 15),
                                      [&](TorrentRecord&& r) { records.push_back(r); }));
        EXPECT_EQ(page, before) << "the parse must leave the page as it was";
        return records;
    }
    std::vector<TorrentRecord> Parse(const std::string& page) {
        return Parse(page, wren::kSite, wren::kSite.page);
    }

    TestHome home_;
};

TEST_F(WrenParse, EveryFieldOfEveryRowInPageOrder) {
    const std::vector<Row> rows = {
        {6, 15, 9, 30, "[字幕组] 某动画 第12话 简体", "简介：第12话<br>1280x720", "350.2MB", 12, 3,
         5001},
        {5, 1, 23, 5, "Plain title", "", "1.37GB", 0, 0, 5002},
    };
    const auto records = Parse(wren_pages::Page(kBase, rows));
    ASSERT_EQ(records.size(), 2u);
    for (size_t i = 0; i < rows.size(); ++i) {
        const TorrentRecord& r = records[i];
        const std::string id = std::to_string(rows[i].id);
        EXPECT_EQ(r.Name, "[wren]" + rows[i].title);
        EXPECT_EQ(r.Comment, rows[i].comment);
        EXPECT_EQ(r.Addr0, std::string(kBase) + "download.php?id=" + id);
        EXPECT_EQ(r.WebAddr, std::string(kBase) + "show.php?id=" + id);
        EXPECT_EQ(r.Size, rows[i].size);
        EXPECT_EQ(r.Seeds, rows[i].seeds);
        EXPECT_EQ(r.Peers, rows[i].peers);
        EXPECT_EQ(r.AddDate, OleDate::FromFields(2024, rows[i].month, rows[i].day, rows[i].hour,
                                                 rows[i].minute));
        EXPECT_EQ(r.RefreshDate, r.AddDate);
        EXPECT_EQ(r.Type, 3 * 256 + 1);
        EXPECT_TRUE(r.Addr1.empty() && r.Addr2.empty() && r.Addr3.empty());
        EXPECT_EQ(r.bCompleted, 0);
    }
}

TEST_F(WrenParse, TitlesAreCutAt240SiteBytesWithoutSplittingACharacter) {
    // One ASCII byte, then two-byte characters: byte 240 is a lead byte.
    std::string title = "A";
    for (int i = 0; i < 150; ++i) {
        title += "动";
    }
    std::string expected = "[wren]A";
    for (int i = 0; i < 119; ++i) {
        expected += "动";
    }
    const auto records = Parse(wren_pages::Page(kBase, {{6, 1, 0, 0, title, "", "1MB", 1, 1, 1}}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name, expected);
}

TEST_F(WrenParse, BytesThatAreNoGbkBecomeReplacementCharacters) {
    std::string page = wren_pages::Page(kBase, {{6, 1, 0, 0, "A@@B", "", "1MB", 1, 1, 1}});
    page.replace(page.find("A@@B"), 4,
                 "A\xFF\xFF"
                 "B");
    const auto records = Parse(page);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name,
              "[wren]A\xEF\xBF\xBD\xEF\xBF\xBD"
              "B");
}

TEST_F(WrenParse, FirstRowIsSoughtOnlyWithinTheCutLength) {
    std::vector<Row> rows;
    for (int i = 0; i < 20; ++i) {
        rows.push_back({6, 1, 0, i, "T" + std::to_string(i), "", "1MB", 1, 1, i});
    }
    // Filler spreads the rows so that only the first lies within the cut.
    const std::string page = wren_pages::Page(kBase, rows, 20 * 40000);
    EXPECT_EQ(Parse(page).size(), 20u);

    SiteData shortCut = wren::kSite;
    shortCut.cutLength = page.find("<tr class=mainrow") - 1;
    EXPECT_TRUE(Parse(page, shortCut, shortCut.page).empty());
}

TEST_F(WrenParse, RowEndingExactlyAtTheEndOfTheDataIsKept) {
    std::string page = wren_pages::Page(kBase, {{6, 1, 0, 0, "Last", "", "1MB", 1, 1, 9}});
    page.resize(page.find(" target") + std::string(" target").size());
    const auto records = Parse(page);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].WebAddr, std::string(kBase) + "show.php?id=9");
}

TEST_F(WrenParse, SearchRowsUseTheirOwnPatternAndTitleCleanup) {
    std::string page = wren_pages::Page(
        kBase, {{6, 1, 0, 0, "<font color=red>Hot</font> title", "", "1MB", 1, 1, 7}});
    const size_t row = page.find("<tr class=mainrow1>\n<td");
    page.replace(row, std::string("<tr class=mainrow1>\n<td").size(), "<tr bgcolor=#F3F3F3><td");
    const auto records = Parse(page, wren::kSite, wren::kSite.search, 0);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Name, "[wren]Hot title");
    EXPECT_EQ(records[0].Type, 0);
    EXPECT_TRUE(Parse(page).empty()) << "the listing pattern must not match search rows";
}

constexpr uint16_t kLinkGroups[] = {kDate, kDate, kDate, kWebAddr | kAddr0 | kWithBase, kTitle};
constexpr SlotEntry kLinkSlots[] = {{2, 1, "list.php?page=%d"}};
constexpr SiteData kLinkSite{
    .tag = "links",
    .defaultBase = "http://links.example/",
    .defaultCharset = "GBK",
    .slots = kLinkSlots,
    .page = {.text = R"pat(<li>({\d+}-{\d+}-{\d+}) <a href="({.*?})">({.*?})</a>)pat",
             .groups = kLinkGroups,
             .date = DateRoutine::kYearMonthDay,
             .cutTitle = false},
};

TEST_F(WrenParse, RelativeLinksGetTheBaseAndOneGroupFillsSeveralFields) {
    const std::string title(300, 'x');
    const auto records = Parse("<ul><li>2024-01-02 <a href=\"t/1.html\">" + title + "</a></ul>",
                               kLinkSite, kLinkSite.page);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].WebAddr, "http://links.example/t/1.html");
    EXPECT_EQ(records[0].Addr0, records[0].WebAddr);
    EXPECT_EQ(records[0].Name, "[links]" + title) << "this site's titles are not cut";
    EXPECT_EQ(records[0].AddDate, OleDate::FromFields(2024, 1, 2));
}

}  // namespace
