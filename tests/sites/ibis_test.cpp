// ibis.so against a fixture tracker: pages numbered per forum id, two forums
// merged into some categories.
#include <gtest/gtest.h>

#include "ibis_pages.h"
#include "site_test_support.h"

namespace {

using ibis_pages::Row;
using Served = site_test::Served<Row>;
using site_test::Described;
using site_test::Rows;

Served MakeRow(int id, int days, int hour, int minute) {
    Served served = site_test::ServedAt<Row>(id, days, hour, minute);
    served.row.title = "[电影] 片名" + std::to_string(id) + " (2004) DVDRip";
    served.row.size = std::to_string(id % 4 + 1) + ".37GB";
    served.row.seeds = 50 + id;
    served.row.peers = id % 11;
    return served;
}

// Icons and colour are not part of the name; the detail page doubles as
// the comment.
std::string Expected(const Served& served, const std::string& base, int type,
                     const std::string& title = "") {
    TorrentRecord record =
        site_test::Listed("ibis", (title.empty() ? served.row.title : title), served.date);
    record.Addr0 = base + "download.php?id=" + std::to_string(served.row.id);
    record.WebAddr = base + "view.php?id=" + std::to_string(served.row.id);
    record.Comment = record.WebAddr;
    record.Type = type;
    site_test::AddCounts(record, served.row);
    return site_test::Describe(record);
}

std::string Target(int fid, int page) {
    return "/index.php?language=cn&fid=" + std::to_string(fid) +
           "&title=&page_num_id=3&time_limit_id=1&page=" + std::to_string(page);
}

class IbisSite : public site_test::SiteTest {
  protected:
    void Serve(int fid, int page, const std::vector<Served>& rows) {
        SiteTest::Serve(Target(fid, page), ibis_pages::Page(fid, Rows(rows)));
    }
};

TEST_F(IbisSite, FillsTheForumIdOfEachSectionAndPagesThrough) {
    const Served refresh = MakeRow(0, 3, 18, 0);
    Served featured = MakeRow(11, 1, 22, 40);
    featured.row.color = "#FF0000";
    featured.row.icons = 2;
    Served plain = MakeRow(12, 1, 13, 5);
    plain.row.icons = 1;
    const Served third = MakeRow(13, 3, 18, 1);
    Serve(1, 1, {featured, plain});
    Serve(1, 2, {third, MakeRow(14, 3, 18, 0)});
    Serve(1, 3, {MakeRow(15, 4, 9, 0)});
    const Served other = MakeRow(21, 2, 9, 30);
    Serve(2, 1, {other});
    Serve(2, 2, {});

    site_harness::LoadedSite site("ibis.so", base_);
    site.ClearPageRecord(2, 1, refresh.date);
    const TorrentRecordArray rows = site.RunSlot(2, 1);
    EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target(1, 1), Target(1, 2), Target(1, 3),
                                                           Target(2, 1), Target(2, 2)}));
    ExpectReferred();
    const int type = 2 * 256 + 1;
    EXPECT_EQ(Described(rows), (std::vector<std::string>{
                                   Expected(featured, base_, type), Expected(plain, base_, type),
                                   Expected(third, base_, type), Expected(other, base_, type)}));
}

TEST_F(IbisSite, OneForumSlotCutsLongTitlesAndStopsAtOldRows) {
    // 150 characters, 300 bytes as the site sends them: the first 240 bytes
    // are the first 120 characters.
    Served longTitle = MakeRow(31, 1, 10, 0);
    longTitle.row.title.clear();
    std::string cut;
    for (int i = 0; i < 15; ++i) {
        longTitle.row.title += "一二三四五六七八九十";
        if (i < 12) {
            cut += "一二三四五六七八九十";
        }
    }
    const Served next = MakeRow(32, 2, 10, 0);
    Serve(3, 1, {longTitle, next});
    Serve(3, 2, {MakeRow(33, 3, 10, 0)});

    site_harness::LoadedSite site("ibis.so", base_);
    site.ClearPageRecord(2, 3, MakeRow(0, 3, 10, 0).date);
    const TorrentRecordArray rows = site.RunSlot(2, 3);
    const int type = 2 * 256 + 3;
    EXPECT_EQ(Described(rows), (std::vector<std::string>{Expected(longTitle, base_, type, cut),
                                                         Expected(next, base_, type)}));
    EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target(3, 1), Target(3, 2)}));

    ExpectRerunStopsAt(site, 2, 3, Target(3, 1));

    ASSERT_FALSE(rows.empty());
    const site_test::ShownComment shown = site_test::ShowComment(site, rows[0]);
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, site_test::Frame(rows[0].WebAddr));
}

TEST_F(IbisSite, SearchEscapesEveryByteAndFetchesThroughTheDownloadPage) {
    Served featured = MakeRow(41, 30, 10, 0);
    featured.row.color = "#FF0000";
    const Served old = MakeRow(42, 300, 9, 0);
    SiteTest::Serve(
        "/index.php?language=cn&fid=0&title=%D3%A2%D0%DB%20%61%62&page_num_id=4&time_limit_id=1"
        "&submit=Go",
        ibis_pages::Page(0, Rows(std::vector<Served>{featured, old})));
    const std::string torrent = fetch_harness::Torrent("ibis 41");
    server_.Route("/download.php?id=41", fetch_harness::Reply(ibis_pages::DownloadPage(
                                             "片名41", "torrent/200506/41.torrent")));
    server_.Route("/torrent/200506/41.torrent", fetch_harness::Reply(torrent));

    site_harness::LoadedSite site("ibis.so", base_);
    const TorrentRecordArray found = site.RunSearch("英雄 ab");
    EXPECT_EQ(Described(found),
              (std::vector<std::string>{Expected(featured, base_, 0), Expected(old, base_, 0)}));

    ASSERT_FALSE(found.empty());
    site_test::ExpectFetched(site, found[0], "片名41", torrent);
    EXPECT_EQ(server_.Targets().size(), 3u);
    EXPECT_EQ(server_.Targets().back(), "/torrent/200506/41.torrent");
    ExpectReferred();
}

}  // namespace
