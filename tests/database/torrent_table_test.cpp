#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ado_recordset.h"
#include "torrent_table.h"

namespace {

const OleDate kBase = OleDate::FromFields(2024, 3, 10, 12, 0, 0);

// Entry n is n minutes older than kBase, so entry 1 is the newest.
TorrentRecord Entry(int n, const std::string& name = {}) {
    TorrentRecord record;
    record.AddDate.m_dt = kBase.m_dt - n / 1440.0;
    record.RefreshDate = record.AddDate;
    record.Name = name.empty() ? "[电影] 条目 " + std::to_string(n) : name;
    record.Addr0 = "http://site.example/dl/" + std::to_string(n);
    record.WebAddr = "http://site.example/view/" + std::to_string(n);
    record.Type = 2 * 256 + 1;
    record.Size = "1.2GB";
    record.Seeds = n;
    record.Peers = -1;
    record.DllID = 3;
    return record;
}

TorrentRecordArray Entries(int first, int last) {
    TorrentRecordArray records;
    for (int n = first; n <= last; ++n) {
        records.push_back(Entry(n));
    }
    return records;
}

class Catalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/catalogue_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/websdata.db";
        std::string error;
        ASSERT_TRUE(CreateCatalogue(m_path, {"video_films", "music_pop"}, error)) << error;
        CTorrentTable::SetDatabasePath(m_path);
    }
    void TearDown() override {
        CTorrentTable::SetDatabasePath("");
        std::filesystem::remove_all(m_dir);
    }

    // One value from the file, through a connection of its own.
    std::string Query(const std::string& sql) {
        sqlite3* pDb = nullptr;
        std::string result;
        if (sqlite3_open(m_path.c_str(), &pDb) == SQLITE_OK) {
            sqlite3_stmt* pStmt = nullptr;
            const int rc = sqlite3_prepare_v2(pDb, sql.c_str(), -1, &pStmt, nullptr) == SQLITE_OK
                               ? sqlite3_step(pStmt)
                               : SQLITE_ERROR;
            if (rc == SQLITE_ROW && sqlite3_column_text(pStmt, 0) != nullptr) {
                result = reinterpret_cast<const char*>(sqlite3_column_text(pStmt, 0));
            } else if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                result = std::string("error: ") + sqlite3_errmsg(pDb);
            }
            sqlite3_finalize(pStmt);
        }
        sqlite3_close(pDb);
        return result;
    }

    static std::vector<int> ReadSeeds(CTorrentTable& table, int nRows, bool bForward) {
        std::vector<int> seeds;
        TorrentRecord record;
        while (static_cast<int>(seeds.size()) < nRows &&
               (bForward ? table.ReadNext(record) : table.ReadPrevious(record))) {
            seeds.push_back(record.Seeds);
        }
        return seeds;
    }

    static std::vector<int> Range(int first, int last) {
        std::vector<int> values;
        for (int n = first; first <= last ? n <= last : n >= last; n += first <= last ? 1 : -1) {
            values.push_back(n);
        }
        return values;
    }

    std::string m_dir;
    std::string m_path;
};

TEST_F(Catalogue, EmptyTableAndRoundTrip) {
    CTorrentTable table;
    table.SetTableName("video_films");
    TorrentRecord record;
    EXPECT_FALSE(table.MoveFirst());
    EXPECT_EQ(table.Count(), 0);
    EXPECT_FALSE(table.ReadNext(record));
    EXPECT_FALSE(table.ReadPrevious(record));

    TorrentRecord full = Entry(1);
    full.Addr1 = "http://mirror.example/1";
    full.Comment = "说明 'quoted'";
    full.bCompleted = 100;
    full.FileName = "entry.torrent";
    full.DownHd = 77;  // never written
    TorrentRecord bare;
    bare.AddDate = Entry(2).AddDate;
    bare.Seeds = 5;
    ASSERT_TRUE(table.InsertBatch({full, bare, full}));
    EXPECT_EQ(table.Count(), 3);  // duplicates are kept
    EXPECT_EQ(Query("SELECT count(*) FROM video_films WHERE Name IS NULL AND Size IS NULL"), "1");

    ASSERT_TRUE(table.MoveFirst());
    TorrentRecord read;
    ASSERT_TRUE(table.ReadNext(read));
    EXPECT_EQ(read.AddDate, full.AddDate);
    EXPECT_EQ(read.RefreshDate, full.RefreshDate);
    EXPECT_EQ(read.Name, full.Name);
    EXPECT_EQ(read.Addr0, full.Addr0);
    EXPECT_EQ(read.Addr1, full.Addr1);
    EXPECT_EQ(read.Addr2, "");
    EXPECT_EQ(read.WebAddr, full.WebAddr);
    EXPECT_EQ(read.Type, full.Type);
    EXPECT_EQ(read.Size, full.Size);
    EXPECT_EQ(read.Seeds, full.Seeds);
    EXPECT_EQ(read.Peers, -1);
    EXPECT_EQ(read.Comment, full.Comment);
    EXPECT_EQ(read.bCompleted, 100);
    EXPECT_EQ(read.FileName, full.FileName);
    EXPECT_EQ(read.DownHd, 0);
    EXPECT_EQ(read.DllID, 3);
    TorrentRecord second;
    ASSERT_TRUE(table.ReadNext(second));
    EXPECT_EQ(second.Name, full.Name);  // equal dates keep insertion order
    EXPECT_NE(second.Bookmark, read.Bookmark);
    TorrentRecord empty = Entry(9);
    ASSERT_TRUE(table.ReadNext(empty));
    EXPECT_EQ(empty.Name, "");
    EXPECT_EQ(empty.Addr0, "");
    EXPECT_EQ(empty.Seeds, 5);
    EXPECT_FALSE(table.ReadNext(empty));
    EXPECT_TRUE(table.IsEOF());
}

TEST_F(Catalogue, PagesForwardAndBackLikeTheListView) {
    CTorrentTable table;
    table.SetTableName("video_films");
    ASSERT_TRUE(table.InsertBatch(Entries(1, 250)));

    ASSERT_TRUE(table.MoveFirst());
    EXPECT_EQ(ReadSeeds(table, 100, true), Range(1, 100));
    RecordBookmark pageStart;
    ASSERT_TRUE(table.RecordSet().GetBookmark(pageStart));
    EXPECT_EQ(ReadSeeds(table, 100, true), Range(101, 200));
    RecordBookmark lastStart;
    ASSERT_TRUE(table.RecordSet().GetBookmark(lastStart));
    EXPECT_EQ(ReadSeeds(table, 100, true), Range(201, 250));
    EXPECT_TRUE(table.IsEOF());

    // Back a page: to where the last page started, one step back, then read.
    ASSERT_TRUE(table.RecordSet().SetBookmark(lastStart));
    ASSERT_TRUE(table.RecordSet().MovePrevious());
    EXPECT_EQ(ReadSeeds(table, 100, false), Range(200, 101));
    EXPECT_EQ(ReadSeeds(table, 100, false), Range(100, 1));
    EXPECT_TRUE(table.IsBOF());
    ASSERT_TRUE(table.RecordSet().SetBookmark(pageStart));
    EXPECT_EQ(ReadSeeds(table, 1, true), Range(101, 101));

    table.MoveLast();
    EXPECT_EQ(ReadSeeds(table, 100, false), Range(250, 151));
    // From the end, reading back starts with the last row.
    table.MoveLast();
    TorrentRecord record;
    ASSERT_TRUE(table.ReadNext(record));
    EXPECT_TRUE(table.IsEOF());
    EXPECT_EQ(ReadSeeds(table, 2, false), Range(250, 249));
}

TEST_F(Catalogue, MoveToLandsWhereTheWalkWould) {
    CTorrentTable table;
    table.SetTableName("video_films");
    // Dates in threes, appended out of order: ties go by row id.
    TorrentRecordArray records;
    for (int n = 250; n >= 1; --n) {
        TorrentRecord record = Entry(n);
        record.AddDate.m_dt = kBase.m_dt - (n / 3) / 1440.0;
        records.push_back(record);
    }
    ASSERT_TRUE(table.InsertBatch(records));
    ASSERT_TRUE(table.MoveFirst());
    const std::vector<int> walk = ReadSeeds(table, 1000, true);
    ASSERT_EQ(walk.size(), 250u);

    for (int64_t position : {-3, 0, 1, 2, 127, 128, 129, 200, 248, 249, 250, 1000}) {
        SCOPED_TRACE(position);
        const auto at = static_cast<size_t>(std::clamp<int64_t>(position, 0, 250));
        ASSERT_TRUE(table.MoveTo(position));
        const std::vector<int> forward(
            walk.begin() + static_cast<ptrdiff_t>(at),
            walk.begin() + static_cast<ptrdiff_t>(std::min(at + 3, walk.size())));
        EXPECT_EQ(ReadSeeds(table, 3, true), forward);
        EXPECT_EQ(table.IsEOF(), at + 3 >= walk.size());

        // Reading back starts with the row there (the last one past the end).
        ASSERT_TRUE(table.MoveTo(position));
        const size_t from = std::min(at, walk.size() - 1);
        std::vector<int> backward = {walk[from]};
        if (from > 0) {
            backward.push_back(walk[from - 1]);
        }
        EXPECT_EQ(ReadSeeds(table, 2, false), backward);
    }
}

TEST_F(Catalogue, SetFileNameKeepsThePositionAndTheRightRow) {
    CTorrentTable table;
    table.SetTableName("video_films");
    ASSERT_TRUE(table.InsertBatch(Entries(1, 20)));
    ASSERT_TRUE(table.MoveFirst());
    std::vector<TorrentRecord> read(10);
    for (TorrentRecord& record : read) {
        ASSERT_TRUE(table.ReadNext(record));
    }
    read[2].FileName = "three.torrent";
    EXPECT_TRUE(table.SetFileName(read[2], read[2].Bookmark));
    TorrentRecord next;
    ASSERT_TRUE(table.ReadNext(next));
    EXPECT_EQ(next.Seeds, 11);
    EXPECT_EQ(Query("SELECT FileName FROM video_films WHERE Seeds = 3"), "three.torrent");

    // After a clear the row id comes back for a different entry: refused.
    ASSERT_TRUE(table.DeleteAll());
    ASSERT_TRUE(table.InsertBatch(Entries(31, 50)));
    read[0].FileName = "stale.torrent";
    EXPECT_FALSE(table.SetFileName(read[0], read[0].Bookmark));
    EXPECT_EQ(Query("SELECT count(*) FROM video_films WHERE FileName IS NOT NULL"), "0");
}

TEST_F(Catalogue, SearchMatchesLikeWithAndWithoutTheIndex) {
    const std::vector<std::string> names = {"[电影] 星际穿越 Interstellar 2014",
                                            "[电影] 星际迷航",
                                            "[剧集] O'Brien's Café",
                                            "[剧集] CAFÉ society",
                                            "100% Pure",
                                            "100 Pure",
                                            "snake_case name",
                                            "snakeXcase",
                                            "Café au lait",
                                            "inTERstellar dust",
                                            "ab",
                                            "xaba then babx",
                                            "an ababa",
                                            ""};
    CTorrentTable indexed;
    indexed.SetTableName("video_films");
    // The same columns without the date index, the search index and the
    // row count: everything still works, only slower.
    CTorrentTable plain;
    plain.SetTableName("bare_table");
    ASSERT_EQ(Query("CREATE TABLE bare_table (AddDate DATETIME REAL, Name TEXT, Addr0 TEXT, "
                    "Addr1 TEXT, Addr2 TEXT, Addr3 TEXT, WebAddr TEXT, Type SMALLINT, Size TEXT, "
                    "RefreshDate DATETIME REAL, Seeds INTEGER, Peers INTEGER, Comment TEXT, "
                    "bCompleted TINYINT, FileName TEXT, DownHd INTEGER, DllID SMALLINT)"),
              "");
    TorrentRecordArray records;
    for (size_t i = 0; i < names.size(); ++i) {
        records.push_back(Entry(static_cast<int>(i) + 1, names[i]));
        records.back().Name = names[i];
    }
    ASSERT_TRUE(indexed.InsertBatch(records));
    ASSERT_TRUE(plain.InsertBatch(records));
    EXPECT_EQ(plain.Count(), static_cast<int64_t>(names.size()));

    const auto search = [](CTorrentTable& table, const std::string& keyword) {
        TorrentRecordArray found;
        table.SearchByName(keyword, found);
        std::vector<std::string> result;
        for (const TorrentRecord& record : found) {
            result.push_back(record.Name);
        }
        return result;
    };
    using Names = std::vector<std::string>;
    const Names stellar = {names[0], names[9]};
    EXPECT_EQ(search(indexed, "stellar"), stellar);
    EXPECT_EQ(search(indexed, "STELLAR"), stellar);
    EXPECT_EQ(search(indexed, "星际"), (Names{names[0], names[1]}));
    EXPECT_EQ(search(indexed, "星际穿"), (Names{names[0]}));
    // LIKE folds ASCII only; the trigram index must not add "CAFÉ".
    EXPECT_EQ(search(indexed, "Café"), (Names{names[2], names[8]}));
    EXPECT_EQ(search(indexed, "O'Brien"), (Names{names[2]}));
    EXPECT_EQ(search(indexed, "'"), (Names{names[2]}));
    EXPECT_EQ(search(indexed, "0% P"), (Names{names[4], names[5]}));
    EXPECT_EQ(search(indexed, "snake_case"), (Names{names[6], names[7]}));
    EXPECT_EQ(search(indexed, "\"quoted\""), Names{});
    // Both trigrams of "abab" are in "xaba then babx", but not the keyword.
    EXPECT_EQ(search(indexed, "abab"), (Names{names[12]}));
    EXPECT_EQ(search(indexed, "").size(), names.size() - 1);  // NULL names never match

    for (const char* keyword : {"stellar", "STELLAR", "星际", "星际穿", "Café", "O'Brien", "0% P",
                                "snake_case", "ab", "abab", "", "\""}) {
        EXPECT_EQ(search(indexed, keyword), search(plain, keyword)) << keyword;
    }
}

TEST_F(Catalogue, DeletesByDateAroundMidnightAndKeepTheIndexesInStep) {
    CTorrentTable table;
    table.SetTableName("video_films");
    const OleDate midnight = OleDate::FromFields(2024, 3, 10, 0, 0, 0);
    TorrentRecordArray records = {Entry(1, "late yesterday"), Entry(2, "at midnight"),
                                  Entry(3, "later today")};
    records[0].AddDate = OleDate::FromFields(2024, 3, 9, 23, 59, 59);
    records[1].AddDate = midnight;
    records[2].AddDate = OleDate::FromFields(2024, 3, 10, 0, 0, 1);
    ASSERT_TRUE(table.InsertBatch(records));
    ASSERT_TRUE(table.InsertBatch(records));

    ASSERT_TRUE(table.MoveFirst());
    TorrentRecord record;
    ASSERT_TRUE(table.ReadNext(record));
    EXPECT_TRUE(table.DeleteByDate(midnight, false));
    EXPECT_EQ(table.Count(), 4);
    // The cursor was reopened at its first row.
    ASSERT_TRUE(table.ReadNext(record));
    EXPECT_EQ(record.Name, "later today");
    TorrentRecordArray found;
    table.SearchByName("yesterday", found);
    EXPECT_TRUE(found.empty());

    EXPECT_TRUE(table.DeleteByDate(midnight, true));
    EXPECT_EQ(table.Count(), 0);
    EXPECT_TRUE(table.IsEOF());

    ASSERT_TRUE(table.InsertBatch(Entries(1, 30)));
    ASSERT_TRUE(table.DeleteAll());
    EXPECT_EQ(table.Count(), 0);
    ASSERT_TRUE(table.InsertBatch(Entries(1, 5)));
    EXPECT_TRUE(table.DeleteByDate(Entry(3).AddDate, true));
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(Query("SELECT count(*) FROM video_films"), "2");
    EXPECT_EQ(Query("INSERT INTO video_films_fts(video_films_fts) VALUES('integrity-check')"), "");
    found.clear();
    table.SearchByName("条目", found);
    EXPECT_EQ(found.size(), 2u);
    // Search results carry their row, so a fetched file can be recorded in it.
    for (const TorrentRecord& match : found) {
        ASSERT_TRUE(table.RecordSet().SetBookmark(match.Bookmark));
        TorrentRecord again;
        ASSERT_TRUE(table.ReadNext(again));
        EXPECT_EQ(again.Name, match.Name);
    }
}

TEST_F(Catalogue, BatchesGoInWholeAndTheirIndexSegmentsMergeInSteps) {
    CTorrentTable table;
    table.SetTableName("video_films");
    const auto search = [&](const std::string& keyword) {
        TorrentRecordArray found;
        table.SearchByName(keyword, found);
        return found.size();
    };
    const auto indexPages = [&] {
        return std::stoi(Query("SELECT count(*) FROM video_films_fts_data"));
    };
    // Four rows make one statement, so each batch adds one segment.
    for (int nBatch = 0; nBatch < 40; ++nBatch) {
        ASSERT_TRUE(table.InsertBatch(Entries(nBatch * 4 + 1, nBatch * 4 + 4)));
    }
    EXPECT_EQ(indexPages(), 40 + 2);

    int nSteps = 1;
    while (CTorrentTable::MergeSearchIndexStep(8) && nSteps < 100) {
        ++nSteps;
    }
    EXPECT_LT(nSteps, 100);
    EXPECT_LT(indexPages(), 10);
    EXPECT_EQ(Query("INSERT INTO video_films_fts(video_films_fts) VALUES('integrity-check')"), "");
    EXPECT_EQ(search("条目"), 160u);

    // A refused row fails its statement; the rest of its batch still goes in.
    ASSERT_EQ(Query("CREATE TRIGGER refuse BEFORE INSERT ON video_films WHEN new.Name = 'refused' "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"),
              "");
    TorrentRecordArray batch = Entries(161, 167);
    batch[3].Name = "refused";
    SetAdoTraceSink([](const std::string&) {});
    EXPECT_TRUE(table.InsertBatch(batch));
    SetAdoTraceSink({});
    EXPECT_EQ(table.Count(), 166);
    EXPECT_EQ(search("条目"), 166u);
    EXPECT_FALSE(CTorrentTable::MergeSearchIndexStep(8));
}

TEST_F(Catalogue, MissingDamagedAndUnsafeCataloguesFailQuietly) {
    SetAdoTraceSink([](const std::string&) {});
    const auto exercise = [](CTorrentTable& table) {
        TorrentRecord record;
        TorrentRecordArray found;
        EXPECT_FALSE(table.MoveFirst());
        EXPECT_FALSE(table.ReadNext(record));
        EXPECT_FALSE(table.ReadPrevious(record));
        EXPECT_EQ(table.Count(), 0);
        EXPECT_FALSE(table.InsertBatch(Entries(1, 3)));
        EXPECT_FALSE(table.DeleteByDate(kBase, false));
        EXPECT_FALSE(table.DeleteAll());
        table.MoveLast();
        table.SearchByName("条目", found);
        EXPECT_TRUE(found.empty());
    };
    {
        CTorrentTable table;
        table.SetTableName("video_films; DROP TABLE music_pop");
        exercise(table);
        EXPECT_EQ(Query("SELECT count(*) FROM music_pop"), "0");
    }
    CTorrentTable::SetDatabasePath(m_dir + "/missing.db");
    CTorrentTable table;
    table.SetTableName("video_films");
    exercise(table);
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/missing.db"));

    FILE* pFile = std::fopen((m_dir + "/damaged.db").c_str(), "wb");
    ASSERT_NE(pFile, nullptr);
    for (int i = 0; i < 2000; ++i) {
        std::fputs("garbage ", pFile);
    }
    std::fclose(pFile);
    CTorrentTable::SetDatabasePath(m_dir + "/damaged.db");
    exercise(table);

    // The next operation after the catalogue appears connects.
    CTorrentTable::SetDatabasePath(m_path);
    EXPECT_TRUE(table.InsertBatch(Entries(1, 3)));
    EXPECT_EQ(table.Count(), 3);
    SetAdoTraceSink({});
}

TEST_F(Catalogue, OlderCataloguesAreUpgradedAndNewerOnesRefused) {
    SetAdoTraceSink([](const std::string&) {});
    const std::string kColumns =
        "(AddDate DATETIME REAL, Name TEXT, Addr0 TEXT, Addr1 TEXT, Addr2 TEXT, Addr3 TEXT, "
        "WebAddr TEXT, Type SMALLINT, Size TEXT, RefreshDate DATETIME REAL, Seeds INTEGER, "
        "Peers INTEGER, Comment TEXT, bCompleted TINYINT, FileName TEXT, DownHd INTEGER, "
        "DllID SMALLINT)";
    struct Case {
        int nVersion;  // of the file as found
        bool bAccepted;
    };
    for (const Case& c : {Case{0, true}, Case{1, true}, Case{2, true}, Case{99, false}}) {
        SCOPED_TRACE(c.nVersion);
        CTorrentTable::SetDatabasePath("");
        std::filesystem::remove(m_path);
        // A catalogue as an older program left it: the table and its rows,
        // without the entry index; a table the configuration no longer names
        // is upgraded too.
        for (const std::string& sql :
             {"CREATE TABLE video_films " + kColumns, "CREATE TABLE old_leaf " + kColumns,
              std::string(
                  "INSERT INTO video_films (AddDate, Addr0, DllID) VALUES (45000.5, 'a', 1), "
                  "(45000.25, 'b', 2)"),
              std::string("INSERT INTO old_leaf (AddDate, Addr0, DllID) VALUES (45000.5, 'c', 1)"),
              std::string("CREATE VIRTUAL TABLE video_films_fts USING fts5(Name, "
                          "content='video_films', tokenize='trigram', detail=none)"),
              std::string("INSERT INTO video_films_fts (video_films_fts, rank) "
                          "VALUES ('automerge', 16)"),
              "PRAGMA user_version = " + std::to_string(c.nVersion)}) {
            ASSERT_EQ(Query(sql), "");
        }
        CTorrentTable::SetDatabasePath(m_path);
        CTorrentTable table;
        table.SetTableName("video_films");
        EXPECT_EQ(CTorrentTable::Connect(), c.bAccepted);
        EXPECT_EQ(table.Count(), c.bAccepted ? 2 : 0);
        const std::string indexes = Query(
            "SELECT count(*) FROM sqlite_master WHERE name IN ('video_films_Entry', "
            "'old_leaf_Entry')");
        // The writes leave merging to the merge steps.
        EXPECT_EQ(Query("SELECT v FROM video_films_fts_config WHERE k = 'automerge'"),
                  c.bAccepted ? "0" : "16");
        if (c.bAccepted) {
            EXPECT_EQ(Query("PRAGMA user_version"), "3");
            EXPECT_EQ(indexes, c.nVersion == 2 ? "0" : "2");
            EXPECT_EQ(Query("SELECT group_concat(Addr0) FROM (SELECT Addr0 FROM video_films "
                            "UNION ALL SELECT Addr0 FROM old_leaf)"),
                      "a,b,c");
            continue;
        }
        // Refused, named with both versions, and left as it was.
        EXPECT_NE(CTorrentTable::LastError().find("version 99"), std::string::npos);
        EXPECT_NE(CTorrentTable::LastError().find("version 3 "), std::string::npos);
        std::string error;
        EXPECT_FALSE(CreateCatalogue(m_path, {"video_films"}, error));
        EXPECT_NE(error.find("version 99"), std::string::npos);
        EXPECT_EQ(Query("PRAGMA user_version"), "99");
        EXPECT_EQ(indexes, "0");
    }
    SetAdoTraceSink({});
}

TEST_F(Catalogue, StoredEntriesAreDroppedBeforeTheyGoIn) {
    CTorrentTable table;
    table.SetTableName("video_films");
    TorrentRecord noAddress = Entry(4);
    noAddress.Addr0.clear();
    ASSERT_TRUE(table.InsertBatch({Entry(1), Entry(2), noAddress}));

    const auto with = [](TorrentRecord record, auto change) {
        change(record);
        return record;
    };
    struct Case {
        const char* what;
        TorrentRecord record;
        bool bKept;
    };
    const std::vector<Case> cases = {
        {"stored", Entry(1), false},
        {"stored without an address", noAddress, false},
        {"another plug-in", with(Entry(1), [](TorrentRecord& r) { r.DllID = 4; }), true},
        {"another address", with(Entry(2), [](TorrentRecord& r) { r.Addr0 += "x"; }), true},
        {"listed again with a new date",
         with(Entry(2), [](TorrentRecord& r) { r.AddDate.m_dt += 1.0 / 86400; }), true},
        {"new", Entry(3), true},
        {"new, repeated in the batch", Entry(3), false},
    };
    // Once the batch's date range holds many more stored rows than the
    // batch, the check goes entry by entry; the answers stay the same.
    for (const bool bCrowded : {false, true}) {
        SCOPED_TRACE(bCrowded ? "crowded date range" : "sparse date range");
        if (bCrowded) {
            TorrentRecordArray crowd;
            for (int k = 1; k <= 40; ++k) {
                crowd.push_back(with(Entry(2), [k](TorrentRecord& r) {
                    r.Addr0 += "/" + std::to_string(k);
                    r.AddDate.m_dt += k / (1440.0 * 100);
                }));
            }
            ASSERT_TRUE(table.InsertBatch(crowd));
        }
        TorrentRecordArray batch;
        for (const Case& c : cases) {
            batch.push_back(c.record);
            batch.back().Seeds = static_cast<int32_t>(batch.size());
        }
        ASSERT_TRUE(table.DropStoredEntries(batch));
        std::vector<int32_t> kept;
        for (const TorrentRecord& record : batch) {
            kept.push_back(record.Seeds);
        }
        std::vector<int32_t> expected;
        for (size_t i = 0; i < cases.size(); ++i) {
            if (cases[i].bKept) {
                expected.push_back(static_cast<int32_t>(i + 1));
            }
        }
        EXPECT_EQ(kept, expected);
    }
}

TEST_F(Catalogue, WritersWaitForOtherProcessesAndSeeTheirChanges) {
    CTorrentTable table;
    table.SetTableName("video_films");
    const std::optional<int64_t> before = CTorrentTable::DataVersion();
    ASSERT_TRUE(before.has_value());
    ASSERT_TRUE(table.InsertBatch(Entries(1, 3)));
    // Read apart from the table cursors, so the process's own writes count
    // too, and a cursor standing on a row cannot hide a later change.
    const std::optional<int64_t> afterOwnWrite = CTorrentTable::DataVersion();
    EXPECT_NE(afterOwnWrite, before);
    ASSERT_TRUE(table.Open());
    ASSERT_TRUE(table.MoveFirst());

    // Another connection holds the write lock for longer than a short busy
    // wait would allow; the batch still goes in once it is released.
    std::promise<void> locked;
    std::thread holder([&] {
        sqlite3* pDb = nullptr;
        sqlite3_open(m_path.c_str(), &pDb);
        sqlite3_exec(pDb, "BEGIN IMMEDIATE; INSERT INTO video_films (Seeds) VALUES (-7)", nullptr,
                     nullptr, nullptr);
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        sqlite3_exec(pDb, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(pDb);
    });
    locked.get_future().wait();
    EXPECT_TRUE(table.InsertBatch(Entries(4, 6)));
    holder.join();
    EXPECT_EQ(table.Count(), 7);
    EXPECT_NE(CTorrentTable::DataVersion(), afterOwnWrite);
}

TEST_F(Catalogue, KilledWriterLeavesWholeBatches) {
    constexpr int kBatchRows = 3000;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        CTorrentTable table;
        table.SetTableName("video_films");
        for (int32_t batch = 1;; ++batch) {
            TorrentRecordArray records = Entries(1, kBatchRows);
            for (TorrentRecord& record : records) {
                record.Seeds = batch;
            }
            if (table.InsertBatch(records) && write(fds[1], &batch, sizeof batch) < 0) {
                _exit(1);
            }
        }
    }
    close(fds[1]);
    std::set<int32_t> reported;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (reported.size() < 4 && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fds[0], POLLIN, 0};
        int32_t batch = 0;
        if (poll(&pfd, 1, 1000) == 1 && read(fds[0], &batch, sizeof batch) == sizeof batch) {
            reported.insert(batch);
        }
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    int32_t batch = 0;
    while (read(fds[0], &batch, sizeof batch) == sizeof batch) {
        reported.insert(batch);
    }
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(reported.size(), 4u);

    EXPECT_EQ(Query("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Query("INSERT INTO video_films_fts(video_films_fts) VALUES('integrity-check')"), "");
    for (int32_t committed : reported) {
        EXPECT_EQ(
            Query("SELECT count(*) FROM video_films WHERE Seeds = " + std::to_string(committed)),
            std::to_string(kBatchRows));
    }
    // Whatever else made it in is whole too.
    EXPECT_EQ(Query("SELECT count(*) FROM (SELECT Seeds FROM video_films GROUP BY Seeds "
                    "HAVING count(*) <> " +
                    std::to_string(kBatchRows) + ")"),
              "0");
    CTorrentTable table;
    table.SetTableName("video_films");
    EXPECT_EQ(std::to_string(table.Count()), Query("SELECT count(*) FROM video_films"));
}

}  // namespace
