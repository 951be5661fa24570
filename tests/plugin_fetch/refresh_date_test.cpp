// The refresh date's trip through dllmgr.ini must not make its own row new.
#include "fetch_support.h"
#include "fixture_server.h"
#include "site_context.h"

namespace {

constexpr uint16_t kGroups[] = {kDate, kDate, kDate, kDate, kTitle};
constexpr SlotEntry kSlots[] = {{3, 1, "list%d.htm"}};

TEST(RefreshDate, ARowDateWhoseStoredTextRoundsDownIsNotTakenAgain) {
    testing_support::FixtureServer server;
    fetch_support::Home home("Base=" + server.Url("/") + "\n");
    std::tm june{};
    june.tm_year = 124;
    june.tm_mon = 5;
    june.tm_mday = 15;
    june.tm_isdst = -1;
    fetch_support::g_now = std::mktime(&june);

    const OleDate row = OleDate::FromFields(2024, 6, 1, 10, 8);
    ASSERT_LT(ParseRefreshValue(FormatRefreshValue(row.m_dt)), row.m_dt)
        << "the date must be one whose stored text rounds down";
    testing_support::FixtureReply page;
    page.body = "<html><r d=\"06-01 10:08\">taken before</r></html>";
    server.Route("/list1.htm", page);

    SiteData site;
    site.tag = "test";
    site.defaultCharset = "GBK";
    site.slots = kSlots;
    site.page = {.text = R"pat(<r d="({\d+}-{\d+} {\d+}:{\d+})">({.*?})</r>)pat",
                 .groups = kGroups};
    PluginManager manager(site, home.Location(), &fetch_support::FakeNow);
    manager.ClearPageRecord(3, 1, row);
    ASSERT_NE(home.Ini().find("31=" + FormatRefreshValue(row.m_dt)), std::string::npos);

    manager.StartDownPage(3, 1);
    TorrentRecordArray rows;
    const int status = fetch_support::PollUntil(
        [&] {
            const int answer = manager.GetDownPageStatus(3, 1);
            manager.GetDownPageData(3, 1, &rows);
            return answer;
        },
        [](int answer) { return answer == 100; });
    EXPECT_EQ(status, 100);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/list1.htm"});
}

}  // namespace
