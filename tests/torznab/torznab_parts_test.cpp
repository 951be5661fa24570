// The indexer's pieces without a server: sizes, dates, tokens, request
// checking, the hand-over queue and the paged catalogue query.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "api_request.h"
#include "catalogue_query.h"
#include "category_map.h"
#include "download_token.h"
#include "global_config.h"
#include "item_fields.h"
#include "request_queue.h"

namespace {

using namespace torznab;

TEST(ItemFields, SizeTextsGiveBytes) {
    const struct {
        const char* text;
        std::optional<int64_t> bytes;
    } cases[] = {
        {"1.2GB", 1288490189},
        {"700 MB", 734003200},
        {"345KB", 353280},
        {" 1.37 gib ", 1471026299},
        {"1,234.5 MB", 1294467072},
        {"1,5 GB", 1610612736},
        {"1073741824", 1073741824},
        {"512 bytes", 512},
        {"2T", 2199023255552},
        {"", std::nullopt},
        {"MB", std::nullopt},
        {"-5 MB", std::nullopt},
        {"12 parsecs", std::nullopt},
        {"99999999999999 TB", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseSizeText(c.text), c.bytes) << c.text;
    }
}

TEST(ItemFields, DatesCarryTheLocalOffsetOfTheirDay) {
    const char* previous = getenv("TZ");
    const std::string saved = previous ? previous : "";
    const struct {
        const char* zone;
        OleDate date;
        const char* text;
    } cases[] = {
        {"Asia/Shanghai", OleDate::FromFields(2024, 3, 5, 7, 8, 9),
         "Tue, 05 Mar 2024 07:08:09 +0800"},
        {"America/New_York", OleDate::FromFields(2024, 7, 1, 23, 0, 0),
         "Mon, 01 Jul 2024 23:00:00 -0400"},
        {"America/New_York", OleDate::FromFields(2024, 1, 1, 0, 0, 1),
         "Mon, 01 Jan 2024 00:00:01 -0500"},
        {"Asia/Kolkata", OleDate::FromFields(2023, 12, 31, 12, 30, 0),
         "Sun, 31 Dec 2023 12:30:00 +0530"},
    };
    for (const auto& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        EXPECT_EQ(FormatRfc822(c.date), c.text) << c.zone;
    }
    setenv("TZ", saved.c_str(), 1);
    tzset();
    OleDate invalid;
    invalid.m_status = OleDate::kInvalid;
    EXPECT_EQ(FormatRfc822(invalid), "");
}

TEST(ItemFields, TextIsCheckedAndMadeSafeForXml) {
    const struct {
        std::string text;
        bool valid;
        std::string safe;
    } cases[] = {
        {"plain 名字", true, "plain 名字"},
        {"tab\tand\nline", true, "tab\tand\nline"},
        {std::string("nul\0bell\x07", 9), true, "nulbell"},
        {"cut \xE5\x90", false, "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong \xC0\xAF", false, "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", false, "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"noncharacter \xEF\xBF\xBE", true, "noncharacter "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
        EXPECT_EQ(XmlSafeText(c.text), c.safe) << c.text;
    }
}

TEST(DownloadToken, RoundTripsAndRefusesWhatItCannotHaveMade) {
    const DownloadRef refs[] = {
        CatalogueRowRef{"video_films", 42},
        SiteResultRef{3, "http://site/down.php?id=1&x=/../etc"},
        SiteResultRef{0, "名字\t\n"},
    };
    for (const DownloadRef& ref : refs) {
        const std::string token = EncodeToken(ref);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
        EXPECT_EQ(DecodeToken(token), ref) << token;
    }
    for (const std::string& bad :
         {std::string(""), std::string("abc"), std::string("zz"),
          EncodeToken(CatalogueRowRef{"t", 0}), EncodeToken(CatalogueRowRef{"", 5}),
          EncodeToken(SiteResultRef{1, ""}), EncodeToken(SiteResultRef{-1, "x"}),
          std::string(10000, 'a')}) {
        EXPECT_FALSE(DecodeToken(bad)) << bad;
    }
}

TEST(ApiRequest, EveryHostileParameterGivesItsError) {
    const std::string key = "0123456789abcdef";
    const std::string longQ(257, 'q');
    const struct {
        Params params;
        int code;  // 0: parses
    } cases[] = {
        {{{"t", "search"}}, kBadCredentials},
        {{{"t", "search"}, {"apikey", "0123456789abcdeF"}}, kBadCredentials},
        {{{"t", "search"}, {"apikey", key + "0"}}, kBadCredentials},
        {{{"apikey", key}}, kMissingParameter},
        {{{"t", "music"}, {"apikey", key}}, kNoSuchFunction},
        {{{"t", "search"}, {"apikey", key}, {"limit", "0"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"limit", "101"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"limit", "-1"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"limit", "99999999999999999999"}},
         kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"offset", "x"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"q", longQ}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"cat", "2000,tv"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"cat", "2000,,5000"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"cat", "-2000"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"q", "bad \xFF"}}, kIncorrectParameter},
        {{{"t", "search"}, {"apikey", key}, {"extended", "yes"}}, kIncorrectParameter},
        {{{"t", "caps"}, {"apikey", key}}, 0},
        {{{"t", "movie"}, {"apikey", key}, {"q", std::string(256, 'q')}, {"limit", "100"}}, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseApiRequest(c.params, key);
        const auto* error = std::get_if<ApiError>(&parsed);
        EXPECT_EQ(error ? error->code : 0, c.code)
            << (c.params.count("t") ? c.params.find("t")->second : "") << " "
            << (error ? error->description : "");
    }
}

TEST(ApiRequest, ParametersTakeTheirValues) {
    const std::string key = "0123456789abcdef";
    const auto parsed = ParseApiRequest({{"t", "tvsearch"},
                                         {"apikey", key},
                                         {"q", "  Show Name S01 "},
                                         {"cat", "5000,100201"},
                                         {"limit", "7"},
                                         {"offset", "14"},
                                         {"extended", "1"}},
                                        key);
    ApiQuery expected;
    expected.function = Function::kTvSearch;
    expected.keyword = "Show Name S01";
    expected.categories = {5000, 100201};
    expected.limit = 7;
    expected.offset = 14;
    expected.extended = true;
    ASSERT_TRUE(std::holds_alternative<ApiQuery>(parsed));
    EXPECT_EQ(std::get<ApiQuery>(parsed), expected);

    const auto blank = ParseApiRequest({{"t", "search"}, {"apikey", key}, {"q", "   "}}, key);
    ASSERT_TRUE(std::holds_alternative<ApiQuery>(blank));
    EXPECT_FALSE(std::get<ApiQuery>(blank).keyword);
    EXPECT_EQ(std::get<ApiQuery>(blank).limit, kDefaultLimit);
}

TEST(RequestQueue, AnswersComeBackAndLateOnesAreAbandoned) {
    CRequestQueue queue;
    ASSERT_TRUE(queue.IsOk());
    std::optional<Answer> answered;
    std::thread waiter(
        [&] { answered = queue.Submit(DownloadWork{"ab"}, std::chrono::seconds(30)); });
    std::vector<CRequestQueue::Job> jobs;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (jobs.empty() && std::chrono::steady_clock::now() < deadline) {
        pollfd wake{queue.WakeFd(), POLLIN, 0};
        poll(&wake, 1, 100);
        jobs = queue.Take();
    }
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(std::get<DownloadWork>(jobs[0].GetWork()).token, "ab");
    jobs[0].Complete(FileAnswer{"/x", "x.torrent"});
    jobs[0].Complete(ApiError{kUnknownError, "second"});
    waiter.join();
    ASSERT_TRUE(answered && std::holds_alternative<FileAnswer>(*answered));

    const Answer late = queue.Submit(DownloadWork{"cd"}, std::chrono::milliseconds(1));
    EXPECT_EQ(std::get<ApiError>(late).code, kUnknownError);
    jobs = queue.Take();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_TRUE(jobs[0].IsAbandoned());
    jobs[0].Complete(FeedAnswer{});

    queue.Close();
    EXPECT_EQ(std::get<ApiError>(queue.Submit(ApiQuery{}, std::chrono::seconds(30))).code,
              kUnknownError);
}

// A home of three leaves, their catalogue, and the category map over them.
class CatalogueQueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string dir =
            (std::filesystem::temp_directory_path() / "tessaro-query-XXXXXX").string();
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        m_dir = dir + "/";
        std::ofstream(m_dir + "global.ini")
            << "[FILETYPE]\ncount=2\n[FILETYPE1]\nname=Video\nid=2\nsubcount=2\n"
            << "sub_name1=Films\nsub_dbasename1=video_films\n"
            << "sub_name2=Mine\nsub_dbasename2=mine\nsub_indexercat2=5070\n"
            << "[FILETYPE2]\nname=Other\nid=5\nsubcount=1\n"
            << "sub_name1=Misc\nsub_dbasename1=other_misc\nsub_indexercat1=12\n";
        std::string error;
        ASSERT_TRUE(
            CreateCatalogue(m_dir + "websdata.db", {"video_films", "mine", "other_misc"}, error))
            << error;
        CTorrentTable::SetDatabasePath(m_dir + "websdata.db");
        m_config = std::make_unique<CGlobalConfig>(m_dir + "global.ini");
        m_map = std::make_unique<CCategoryMap>(*m_config);
        ASSERT_TRUE(m_query.Open(m_dir + "websdata.db", error)) << error;
    }
    void TearDown() override {
        m_map.reset();
        m_config.reset();
        std::filesystem::remove_all(m_dir);
    }

    // Appends rows to leaf `leaf` (0..2), named by `names`, dated a minute
    // apart from `minute` on.
    void Add(size_t leaf, const std::vector<std::string>& names, int minute) {
        TorrentRecordArray rows;
        for (const std::string& name : names) {
            TorrentRecord record;
            record.Name = name;
            record.Addr0 = "a:" + name;
            record.AddDate = OleDate::FromFields(2024, 5, 1, 10, minute % 60, minute / 60);
            ++minute;
            rows.push_back(record);
            m_all.push_back({leaf, record.AddDate.m_dt, name});
        }
        ASSERT_TRUE(m_map->Leaves()[leaf].leaf->m_Table.InsertBatch(rows));
    }

    // The names a correct query answers, worked out from everything added.
    std::vector<std::string> Expected(const std::vector<size_t>& leaves,
                                      const std::vector<std::string>& words, int offset,
                                      int limit) {
        std::vector<const Added*> rows;
        for (const Added& row : m_all) {
            std::string lower = row.name;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            const bool matches = std::all_of(words.begin(), words.end(), [&](std::string word) {
                std::transform(word.begin(), word.end(), word.begin(), ::tolower);
                return lower.find(word) != std::string::npos;
            });
            if (matches && std::find(leaves.begin(), leaves.end(), row.leaf) != leaves.end()) {
                rows.push_back(&row);
            }
        }
        std::stable_sort(rows.begin(), rows.end(), [](const Added* a, const Added* b) {
            return a->date != b->date ? a->date > b->date : a->leaf < b->leaf;
        });
        std::vector<std::string> names;
        for (size_t i = offset; i < rows.size() && names.size() < static_cast<size_t>(limit); ++i) {
            names.push_back(rows[i]->name);
        }
        return names;
    }

    std::vector<std::string> Run(const std::vector<size_t>& leaves,
                                 const std::optional<std::string>& keyword, int offset, int limit) {
        std::vector<const LeafCategory*> selected;
        for (size_t leaf : leaves) {
            selected.push_back(&m_map->Leaves()[leaf]);
        }
        std::vector<std::string> names;
        for (const CatalogueRow& row : m_query.Newest(selected, keyword, offset, limit)) {
            names.push_back(row.name);
        }
        return names;
    }

    struct Added {
        size_t leaf;
        double date;
        std::string name;
    };
    std::string m_dir;
    std::unique_ptr<CGlobalConfig> m_config;
    std::unique_ptr<CCategoryMap> m_map;
    CCatalogueQuery m_query;
    std::vector<Added> m_all;
};

TEST_F(CatalogueQueryTest, LeavesTakeTheirCategoriesAndRequestsSelectThem) {
    const std::vector<LeafCategory>& leaves = m_map->Leaves();
    ASSERT_EQ(leaves.size(), 3u);
    // Installed table, its own key, and a key out of range for an installed table.
    EXPECT_EQ(leaves[0].standard, 2000);
    EXPECT_EQ(leaves[1].standard, 5070);
    EXPECT_EQ(leaves[2].standard, 8000);
    EXPECT_EQ(leaves[0].ownId, 100201);
    const struct {
        std::vector<int> requested;
        std::vector<int> own;
    } cases[] = {
        {{}, {100201, 100202, 100501}}, {{5000}, {100202}}, {{5070, 8000}, {100202, 100501}},
        {{100201}, {100201}},           {{4000, 1}, {}},
    };
    for (const auto& c : cases) {
        std::vector<int> own;
        for (const LeafCategory* leaf : m_map->Select(c.requested)) {
            own.push_back(leaf->ownId);
        }
        EXPECT_EQ(own, c.own);
    }
    EXPECT_EQ(m_map->FindBySlot(0x0202), &leaves[1]);
    EXPECT_EQ(m_map->FindBySlot(0x0203), nullptr);
}

TEST_F(CatalogueQueryTest, PagesMatchTheNewestRowsOverEveryLeaf) {
    // Enough rows holding "abc" that they are walked by date, a few rare
    // ones that come from the trigram index, ties between leaves, and
    // pattern characters that must match literally. Keywords that match
    // few of leaf 0's newest rows and more older ones, or none of the newest,
    // make its search go on past the rows it reads first.
    std::vector<std::string> common;
    for (int i = 0; i < 2100; ++i) {
        common.push_back("Show.ABC." + std::to_string(i));
    }
    Add(0, common, 0);
    Add(1, {"rare xyzzy one", "100% Free", "100x Free", "under_score", "Show.ABC.tie"}, 5);
    Add(2, {"Rare XYZZY two", "underXscore", "Show.abc.tie"}, 5);
    Add(2, {"名字 xyzzy", "Show abc 名字"}, 3000);
    // "qrs": two of leaf 0's newest rows and 70 of its oldest (a row's
    // minute of the hour orders it first, the seconds then).
    for (int second = 0; second < 35; ++second) {
        Add(0, {"qrs old " + std::to_string(second)}, second * 60);
        Add(0, {"qrs older " + std::to_string(second)}, second * 60 + 1);
    }
    Add(0, {"qrs new 1"}, 59 + 40 * 60);
    Add(0, {"qrs new 2"}, 59 + 41 * 60);

    const struct {
        std::vector<size_t> leaves;
        std::optional<std::string> keyword;
        std::vector<std::string> words;
        int offset;
        int limit;
    } cases[] = {
        {{0, 1, 2}, std::nullopt, {}, 0, 50},
        {{0, 1, 2}, std::nullopt, {}, 2090, 100},
        {{0, 1, 2}, "abc", {"abc"}, 0, 30},
        {{0, 1, 2}, "abc", {"abc"}, 2095, 20},
        {{1, 2}, "xyzzy", {"xyzzy"}, 0, 100},
        {{0, 1, 2}, "xyzzy rare", {"xyzzy", "rare"}, 0, 100},
        {{0, 1, 2}, "100%", {"100%"}, 0, 100},
        {{0, 1, 2}, "under_", {"under_"}, 0, 100},
        {{0, 1, 2}, "名字", {"名字"}, 0, 100},
        {{0, 1, 2}, "ab", {"ab"}, 1, 3},
        {{2}, "abc 名字", {"abc", "名字"}, 0, 100},
        {{0, 1, 2}, "ABC.109", {"ABC.109"}, 0, 20},
        {{0, 1, 2}, "ABC.5", {"ABC.5"}, 0, 20},
        {{0, 1, 2}, "ABC.5", {"ABC.5"}, 100, 20},
        {{0, 1, 2}, "ABC.18", {"ABC.18"}, 0, 2},
        {{0, 1, 2}, "qrs", {"qrs"}, 0, 20},
        {{0, 1, 2}, "qrs", {"qrs"}, 0, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.leaves, c.keyword, c.offset, c.limit),
                  Expected(c.leaves, c.words, c.offset, c.limit))
            << c.keyword.value_or("(newest)") << " offset " << c.offset;
    }
}

}  // namespace
