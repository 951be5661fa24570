// What the site tests have in common: a fixture site with its address,
// records compared field by field, dates the way the sites print them, and
// the checks every plug-in's listing, search and fetch go through.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fetch_harness.h"
#include "site_harness.h"

namespace site_test {

// Every field of a record on one line, so that a failed comparison shows
// which of them differ.
inline std::string Describe(const TorrentRecord& r) {
    return "AddDate=" + r.AddDate.Format() + "/" + std::to_string(r.AddDate.m_status) +
           " RefreshDate=" + r.RefreshDate.Format() + " Name=" + r.Name + " Addr0=" + r.Addr0 +
           " Addr1..3=" + r.Addr1 + "|" + r.Addr2 + "|" + r.Addr3 + " WebAddr=" + r.WebAddr +
           " Type=" + std::to_string(r.Type) + " Size=" + r.Size +
           " Seeds=" + std::to_string(r.Seeds) + " Peers=" + std::to_string(r.Peers) +
           " Comment=" + r.Comment + " bCompleted=" + std::to_string(r.bCompleted) +
           " FileName=" + r.FileName + " DownHd=" + std::to_string(r.DownHd) +
           " DllID=" + std::to_string(r.DllID);
}

inline std::vector<std::string> Described(const TorrentRecordArray& rows) {
    std::vector<std::string> out;
    for (const TorrentRecord& r : rows) {
        out.push_back(Describe(r));
    }
    return out;
}

// The records `rows` must come back as, described: `expected` makes each.
template <typename Row, typename Make>
std::vector<std::string> DescribedAs(const std::vector<Row>& rows, Make expected) {
    std::vector<std::string> out;
    for (const Row& row : rows) {
        out.push_back(Describe(expected(row)));
    }
    return out;
}

// A row as a site serves it, with the date the plug-in must read from it.
template <typename Row>
struct Served {
    Row row;
    OleDate date;
};

template <typename Row>
std::vector<Row> Rows(const std::vector<Served<Row>>& served) {
    std::vector<Row> rows;
    for (const Served<Row>& s : served) {
        rows.push_back(s.row);
    }
    return rows;
}

// The month and day a site prints for `days` days before now, and the date
// they stand for at hour:minute. The sites print no year: the plug-in has to
// infer it.
struct PrintedDay {
    int month = 0;
    int day = 0;
    OleDate date;
};

inline PrintedDay DaysAgo(int days, int hour, int minute) {
    const time_t when = std::time(nullptr) - static_cast<time_t>(days) * 24 * 3600;
    std::tm local{};
    localtime_r(&when, &local);
    return {
        local.tm_mon + 1, local.tm_mday,
        OleDate::FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, hour, minute)};
}

// Row `id` as served `days` days before now at hour:minute, with the date the
// plug-in must read from it; the rest of the row is the site's to fill.
template <typename Row>
Served<Row> ServedAt(int id, int days, int hour, int minute) {
    const PrintedDay printed = DaysAgo(days, hour, minute);
    Served<Row> served;
    served.row.id = id;
    served.row.month = printed.month;
    served.row.day = printed.day;
    served.row.hour = hour;
    served.row.minute = minute;
    served.date = printed.date;
    return served;
}

// `minutes` before an hour ago: any date of the last twelve months gets its
// year right.
inline time_t Before(int minutes) {
    return std::time(nullptr) - 3600 - minutes * 60;
}

// The date of `when` to the minute, in local time.
inline OleDate DateOf(time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return OleDate::FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min);
}

// The fields every listed row has: its date twice and the tagged title.
inline TorrentRecord Listed(const std::string& tag, const std::string& title, OleDate date) {
    TorrentRecord record;
    record.AddDate = date;
    record.RefreshDate = date;
    record.Name = "[" + tag + "]" + title;
    return record;
}

// The size and the seed and peer counts a site prints with `row`.
template <typename Row>
void AddCounts(TorrentRecord& record, const Row& row) {
    record.Size = row.size;
    record.Seeds = row.seeds;
    record.Peers = row.peers;
}

// A date as the plug-in writes it into the registry.
inline std::string RefreshValue(const OleDate& date) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f", date.m_dt);
    return text;
}

// The detail page as a plug-in frames it for the comment pane.
inline std::string Frame(const std::string& address) {
    return "<iframe src=\"" + address + "\" width=\"100%\" height=\"500\"></iframe>";
}

// What the comment request of WebIOCtl answers for a record. `length` keeps
// its first value where the plug-in leaves it alone.
struct ShownComment {
    static constexpr int kUntouched = -7;
    int result = 0;
    std::optional<std::string> text;
    int length = kUntouched;
};

inline ShownComment ShowComment(site_harness::LoadedSite& site, TorrentRecord record) {
    ShownComment shown;
    char* buffer = nullptr;
    shown.result = site.WebIOCtl(&record, 1, 0, 0, &buffer, 0, &shown.length);
    if (buffer != nullptr) {
        shown.text = buffer;
        std::free(buffer);
    }
    return shown;
}

// A plug-in without comments answers the request with no text and leaves
// the length alone.
inline void ExpectNoComment(site_harness::LoadedSite& site, const TorrentRecord& record) {
    const ShownComment shown = ShowComment(site, record);
    EXPECT_EQ(shown.result, 1);
    EXPECT_EQ(shown.text, std::nullopt);
    EXPECT_EQ(shown.length, ShownComment::kUntouched);
}

// A record that names only the page its torrent is fetched from.
inline TorrentRecord At(const std::string& address) {
    TorrentRecord record;
    record.Addr0 = address;
    return record;
}

// Fetches the record as torrents/<fileName>.torrent: the fetch must end
// well and the file hold `body` byte for byte.
inline void ExpectFetched(site_harness::LoadedSite& site, TorrentRecord record,
                          const std::string& fileName, const std::string& body) {
    record.FileName = fileName;
    const fetch_harness::FetchResult fetched = fetch_harness::Fetch(site, record);
    ASSERT_NE(fetched.handle, 0) << fileName;
    ASSERT_FALSE(fetched.statuses.empty()) << fileName;
    EXPECT_EQ(fetched.statuses.back(), 100) << fileName;
    EXPECT_EQ(fetch_harness::ReadTorrent(site, fileName), body) << fileName;
}

// Fetching the record as torrents/<fileName>.torrent must fail.
inline void ExpectFetchFails(site_harness::LoadedSite& site, TorrentRecord record,
                             const std::string& fileName) {
    record.FileName = fileName;
    const fetch_harness::FetchResult fetched = fetch_harness::Fetch(site, record);
    ASSERT_FALSE(fetched.statuses.empty()) << fileName;
    EXPECT_EQ(fetched.statuses.back(), -1) << fileName;
}

// A fixture site at base_. Asked() is what identifies each request to the
// site: its target, or where every request goes to one form, its body.
class SiteTest : public ::testing::Test {
  protected:
    void Serve(const std::string& target, std::string body) {
        server_.Route(target, fetch_harness::Reply(std::move(body)));
    }

    virtual std::vector<std::string> Asked() const { return server_.Targets(); }

    // Every request so far came from the site's own address, and by
    // `method` where one is named.
    void ExpectReferred(const std::string& method = "") const {
        for (const auto& request : server_.Requests()) {
            if (!method.empty()) {
                EXPECT_EQ(request.method, method) << request.target;
            }
            EXPECT_EQ(request.Header("referer"), base_) << request.target;
        }
    }

    // A run of the slot adopts its newest row's date, so running it again
    // brings nothing and asks for `first` only.
    void ExpectRerunStopsAt(site_harness::LoadedSite& site, int group, int index,
                            const std::string& first) {
        server_.ClearRequests();
        EXPECT_TRUE(site.RunSlot(group, index).empty());
        EXPECT_EQ(Asked(), std::vector<std::string>{first});
    }

    // With every page bringing something new, a run of the slot asks for
    // pages 1 to `limit` and no more. `asked` is page N's request, `page` its
    // markup; the page after the limit is served too, so a run that ignores
    // the limit shows.
    void ExpectPageLimit(site_harness::LoadedSite& site, int group, int index, int limit,
                         const std::function<std::string(int page)>& asked,
                         const std::function<std::string(int page)>& page) {
        std::vector<std::string> expected;
        for (int n = 1; n <= limit + 1; ++n) {
            Serve(asked(n), page(n));
            if (n <= limit) {
                expected.push_back(asked(n));
            }
        }
        server_.ClearRequests();
        EXPECT_EQ(site.RunSlot(group, index).size(), static_cast<size_t>(limit));
        EXPECT_EQ(Asked(), expected);
    }

    // The record's file comes straight from `path` of the fixture site,
    // asked for from the site's address, and is all torrents/ holds.
    void ExpectFetchedFrom(site_harness::LoadedSite& site, const TorrentRecord& record,
                           const std::string& path, const std::string& fileName) {
        const std::string torrent = fetch_harness::Torrent(site_harness::Gbk(fileName));
        Serve(path, torrent);
        server_.ClearRequests();
        ExpectFetched(site, record, fileName, torrent);
        EXPECT_EQ(server_.Targets(), std::vector<std::string>{path});
        ExpectReferred();
        EXPECT_EQ(fetch_harness::TorrentFiles(site),
                  std::vector<std::string>{fileName + ".torrent"});
    }

    // A site without a known search: the search ends at once with no rows
    // and asks the site nothing.
    void ExpectInertSearch(site_harness::LoadedSite& site) const {
        const SearchHandle handle = site.StartSearch("英雄");
        EXPECT_NE(handle, kNoSearch);
        EXPECT_EQ(site.GetSearchStatus(handle), 100);
        TorrentRecordArray none;
        EXPECT_EQ(site.GetSearchData(handle, &none), 1);
        EXPECT_TRUE(none.empty());
        site.StopSearch(handle);
        EXPECT_TRUE(server_.Targets().empty());
    }

    testing_support::FixtureServer server_;
    const std::string base_ = server_.Url("/");
};

// A site whose listing and search are all posts to /index.php: the page it
// answers with is picked by the posted body, anything else is not found.
class FormPostSite : public SiteTest {
  protected:
    void SetUp() override {
        server_.SetHandler([this](const testing_support::FixtureRequest& request) {
            testing_support::FixtureReply reply;
            const auto page = pages_.find(request.body);
            if (request.method != "POST" || request.target != "/index.php" ||
                page == pages_.end()) {
                reply.status = 404;
                return reply;
            }
            reply.body = page->second;
            return reply;
        });
    }

    // The posted bodies, each request checked to be a post from the site.
    std::vector<std::string> Asked() const override {
        std::vector<std::string> bodies;
        for (const auto& request : server_.Requests()) {
            EXPECT_EQ(request.method, "POST");
            EXPECT_EQ(request.target, "/index.php");
            EXPECT_EQ(request.Header("referer"), base_);
            bodies.push_back(request.body);
        }
        return bodies;
    }

    // Filled before the first request; read by the server's threads only.
    std::map<std::string, std::string> pages_;
};

}  // namespace site_test
