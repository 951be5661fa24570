#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ado_connection.h"
#include "ado_recordset.h"
#include "ado_variant.h"

namespace {

AdoVariant Make(uint16_t vt, int64_t n = 0, double d = 0.0, const char* text = "") {
    AdoVariant value;
    value.vt = vt;
    value.nValue = n;
    value.dValue = d;
    value.strValue = text;
    return value;
}

TEST(AdoVariant, TypedGetterConversions) {
    const OleDate may1 = OleDate::FromFields(2006, 5, 1, 13, 45, 0);
    struct Case {
        AdoVariant value;
        int32_t nLong;
        int16_t nShort;
        uint8_t nByte;
        double dReal;
        const char* pszText;
    };
    const Case cases[] = {
        {AdoVariant::Null(), 0, 0, 0, 0.0, ""},
        {Make(kVtEmpty), 0, 0, 0, 0.0, ""},
        {Make(kVtI2, -5), -5, -5, 0xFB, -5.0, "-5"},
        {Make(kVtBool, -1), -1, -1, 0, -1.0, "TRUE"},
        {Make(kVtBool, 0), 0, 0, 0, 0.0, "FALSE"},
        {Make(kVtUI2, 65535), -1, -1, 0, -1.0, "65535"},
        {Make(kVtI4, 123456), 123456, 0, 0, 123456.0, "123456"},
        {Make(kVtUI4, 0xFFFFFFFF), -1, 0, 0, -1.0, "-1"},
        {Make(kVtI8, 0x100000005), 0, 0, 0, 0.0, "5"},
        {Make(kVtR8, 0, 2.5), 3, 0, 0, 2.5, "2.50000000"},
        {Make(kVtR8, 0, -2.5), -2, 0, 0, -2.5, "-2.50000000"},
        {Make(kVtR4, 0, 1.25), 1, 0, 0, 1.25, "1.2500"},
        {Make(kVtBstr, 0, 0, "42abc"), 42, 0, 0, 42.0, "42abc"},
        {Make(kVtBstr, 0, 0, "2.5 GB"), 2, 0, 0, 2.5, "2.5 GB"},
        {Make(kVtBstr, 0, 0, "abc"), 0, 0, 0, 0.0, "abc"},
        {Make(kVtI1, -1), 255, 255, 0xFF, 255.0, "-1"},
        {Make(kVtUI1, 200), 200, 200, 200, 200.0, "200"},
        {AdoVariant::Date(may1), 0, 0, 0, 0.0, "2006-05-01 13:45:00"},
        {AdoVariant::Blob("\x01\x02"), 0, 0, 0, 0.0, "[BLOB]"},
        {Make(99), 0, 0, 0, 0.0, "UN_KNOW"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.value.vt) + " text " + c.pszText);
        int32_t nLong = 77;
        int16_t nShort = 77;
        uint8_t nByte = 77;
        double dReal = 77.0;
        EXPECT_TRUE(VariantToInt32(c.value, nLong));
        EXPECT_TRUE(VariantToInt16(c.value, nShort));
        EXPECT_TRUE(VariantToByte(c.value, nByte));
        EXPECT_TRUE(VariantToReal(c.value, dReal));
        EXPECT_EQ(nLong, c.nLong);
        EXPECT_EQ(nShort, c.nShort);
        EXPECT_EQ(nByte, c.nByte);
        EXPECT_DOUBLE_EQ(dReal, c.dReal);
        EXPECT_EQ(VariantToText(c.value), c.pszText);
    }

    // Only date values are dates; NULL and everything else is the null date.
    OleDate date;
    VariantToDate(AdoVariant::Date(may1), date);
    EXPECT_EQ(date, may1);
    VariantToDate(AdoVariant::Null(), date);
    EXPECT_FALSE(date.IsValid());
    VariantToDate(AdoVariant::Real(38838.5), date);
    EXPECT_FALSE(date.IsValid());

    bool bFlag = true;
    VariantToBool(AdoVariant::Int32(1), bFlag);
    EXPECT_FALSE(bFlag);
    VariantToBool(AdoVariant::Bool(true), bFlag);
    EXPECT_TRUE(bFlag);

    // The unsigned getter refuses what is not a 32-bit integer or NULL.
    uint32_t nHandle = 5;
    EXPECT_TRUE(VariantToUInt32(AdoVariant::Int32(-1), nHandle));
    EXPECT_EQ(nHandle, 0xFFFFFFFFu);
    EXPECT_TRUE(VariantToUInt32(AdoVariant::Null(), nHandle));
    EXPECT_EQ(nHandle, 0u);
    nHandle = 5;
    EXPECT_FALSE(VariantToUInt32(AdoVariant::Real(1.0), nHandle));
    EXPECT_FALSE(VariantToUInt32(AdoVariant::Text("7"), nHandle));
    EXPECT_EQ(nHandle, 5u);

    EXPECT_EQ(AdoVariant::Text("").vt, kVtNull);
}

class AdoLayer : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ado_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_path = m_dir + "/layer.db";
        sqlite3* pDb = nullptr;
        ASSERT_EQ(sqlite3_open(m_path.c_str(), &pDb), SQLITE_OK);
        const char* pszSchema =
            "CREATE TABLE t (d DATETIME REAL, txt TEXT, i INTEGER, r REAL, b BLOB, "
            "s SMALLINT, y TINYINT, f BOOLEAN, n TEXT NOT NULL DEFAULT 'x');";
        ASSERT_EQ(sqlite3_exec(pDb, pszSchema, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(pDb);
        SetAdoTraceSink([this](const std::string& line) { m_trace.push_back(line); });
        ASSERT_TRUE(m_connection.Open(m_path));
    }
    void TearDown() override {
        SetAdoTraceSink({});
        SetAdoMessageHandler({});
        m_connection.Close();
        std::filesystem::remove_all(m_dir);
    }

    std::string m_dir;
    std::string m_path;
    std::vector<std::string> m_trace;
    CAdoConnection m_connection;
};

TEST_F(AdoLayer, ColumnsReadWithTheirTypeCodes) {
    ASSERT_TRUE(
        m_connection
            .Execute("INSERT INTO t VALUES (38838.5, 'hi', 7, 1.5, x'00', 300, 200, 1, 'n')")
            .IsOk());
    ASSERT_TRUE(m_connection
                    .Execute("INSERT INTO t VALUES (NULL, NULL, 5000000000, NULL, NULL, 70000, "
                             "300, NULL, 'n')")
                    .IsOk());
    CAdoRecordSet rs;
    rs.SetConnection(&m_connection);
    ASSERT_TRUE(rs.Open("t", kAdoCmdTable));
    const auto type = [&](const char* column) {
        AdoVariant value;
        EXPECT_TRUE(rs.GetValue(column, value)) << column;
        return value.vt;
    };
    EXPECT_EQ(type("d"), kVtDate);
    EXPECT_EQ(type("txt"), kVtBstr);
    EXPECT_EQ(type("i"), kVtI4);
    EXPECT_EQ(type("r"), kVtR8);
    EXPECT_EQ(type("b"), kVtBlob);
    EXPECT_EQ(type("s"), kVtI2);
    EXPECT_EQ(type("y"), kVtUI1);
    EXPECT_EQ(type("f"), kVtBool);
    std::string text;
    EXPECT_TRUE(rs.GetValue("d", text));
    EXPECT_EQ(text, "2006-05-01 12:00:00");
    // A yes/no column is not a byte.
    uint8_t nByte = 9;
    EXPECT_TRUE(rs.GetValue("f", nByte));
    EXPECT_EQ(nByte, 0);

    ASSERT_TRUE(rs.MoveNext());
    EXPECT_EQ(type("d"), kVtNull);
    EXPECT_EQ(type("i"), kVtI8);
    EXPECT_EQ(type("s"), kVtI4);  // out of the declared width
    EXPECT_EQ(type("y"), kVtI4);
    EXPECT_FALSE(rs.GetValue("no_such_column", text));
}

TEST_F(AdoLayer, WritesThroughTheCursorAndDropsRefusedRows) {
    CAdoRecordSet rs;
    rs.SetConnection(&m_connection);
    ASSERT_TRUE(rs.Open("t", kAdoCmdTable));
    ASSERT_TRUE(rs.AddNew());
    ASSERT_TRUE(rs.PutCollect("txt", std::string()));
    ASSERT_TRUE(rs.PutCollect("s", int16_t{-3}));
    ASSERT_TRUE(rs.Update());
    // The new row is current; its empty text went in as NULL.
    std::string text = "unchanged";
    EXPECT_TRUE(rs.GetValue("txt", text));
    EXPECT_EQ(text, "");
    AdoVariant value;
    EXPECT_TRUE(rs.GetValue("txt", value));
    EXPECT_EQ(value.vt, kVtNull);

    // NOT NULL refuses the row: nothing stays pending and nothing is written.
    ASSERT_TRUE(rs.AddNew());
    ASSERT_TRUE(rs.PutCollect("n", std::string()));
    EXPECT_FALSE(rs.Update());
    EXPECT_TRUE(rs.Update());
    EXPECT_TRUE(rs.MoveFirst());
    EXPECT_EQ(rs.GetRecordCount(), 1);

    // Editing the current row.
    ASSERT_TRUE(rs.PutCollect("txt", std::string("edited")));
    ASSERT_TRUE(rs.Update());
    EXPECT_TRUE(rs.GetValue("txt", text));
    EXPECT_EQ(text, "edited");
}

TEST_F(AdoLayer, ResultCursorCountsByWalkingAndKeepsItsRow) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(
            m_connection.Execute("INSERT INTO t (i) VALUES (?1)", {AdoVariant::Int32(i)}).IsOk());
    }
    CAdoRecordSet rs;
    ASSERT_TRUE(rs.Attach(m_connection.Execute("SELECT i FROM t ORDER BY i")));
    ASSERT_TRUE(rs.MoveNext());
    ASSERT_TRUE(rs.MoveNext());
    EXPECT_EQ(rs.GetRecordCount(), 5);
    int32_t n = -1;
    EXPECT_TRUE(rs.GetValue("i", n));
    EXPECT_EQ(n, 2);
    EXPECT_FALSE(rs.MovePrevious());
    RecordBookmark bookmark;
    EXPECT_FALSE(rs.GetBookmark(bookmark));

    CAdoRecordSet none;
    ASSERT_TRUE(none.Attach(m_connection.Execute("SELECT i FROM t WHERE i > 99")));
    EXPECT_TRUE(none.IsEOF());
    EXPECT_TRUE(none.IsBOF());
    EXPECT_EQ(none.GetRecordCount(), 0);
}

TEST_F(AdoLayer, TableCursorWalksTiesAndNullsInIndexOrder) {
    ASSERT_TRUE(m_connection.Execute("CREATE INDEX t_d ON t (d DESC)").IsOk());
    ASSERT_TRUE(m_connection.BeginTrans());
    // Many equal dates, NULL dates and more rows than one window holds.
    for (int i = 0; i < 700; ++i) {
        const AdoVariant date = i % 50 == 0 ? AdoVariant::Null() : AdoVariant::Real((i * 37) % 90);
        ASSERT_TRUE(
            m_connection
                .Execute("INSERT INTO t (d, i) VALUES (?1, ?2)", {date, AdoVariant::Int32(i)})
                .IsOk());
    }
    ASSERT_TRUE(m_connection.CommitTrans());

    for (const char* pszSort : {"d DESC", "d ASC", ""}) {
        SCOPED_TRACE(pszSort);
        const std::string strOrder =
            std::string(pszSort).empty() ? "rowid" : std::string(pszSort) + ", rowid";
        std::vector<int32_t> expected;
        CAdoRecordSet sorted;
        ASSERT_TRUE(sorted.Attach(m_connection.Execute("SELECT i FROM t ORDER BY " + strOrder)));
        for (; !sorted.IsEOF(); sorted.MoveNext()) {
            int32_t n = 0;
            sorted.GetValue("i", n);
            expected.push_back(n);
        }

        CAdoRecordSet rs;
        rs.SetConnection(&m_connection);
        ASSERT_TRUE(rs.Open("t", kAdoCmdTable));
        ASSERT_TRUE(rs.SetSort(pszSort));
        std::vector<int32_t> forward;
        for (; !rs.IsEOF(); rs.MoveNext()) {
            int32_t n = 0;
            rs.GetValue("i", n);
            forward.push_back(n);
        }
        EXPECT_EQ(forward, expected);
        EXPECT_FALSE(rs.MoveNext());

        std::vector<int32_t> backward;
        ASSERT_TRUE(rs.MovePrevious());
        for (; !rs.IsBOF(); rs.MovePrevious()) {
            int32_t n = 0;
            rs.GetValue("i", n);
            backward.insert(backward.begin(), n);
        }
        EXPECT_EQ(backward, expected);

        // A bookmark brings back the row and the walk continues from it.
        ASSERT_TRUE(rs.MoveLast());
        RecordBookmark last;
        ASSERT_TRUE(rs.GetBookmark(last));
        ASSERT_TRUE(rs.MoveFirst());
        ASSERT_TRUE(rs.SetBookmark(last));
        ASSERT_TRUE(rs.MovePrevious());
        int32_t n = 0;
        rs.GetValue("i", n);
        EXPECT_EQ(n, expected[expected.size() - 2]);
    }
}

TEST_F(AdoLayer, FailuresAreTracedResults) {
    CAdoRecordSet closed;
    std::vector<std::string> messages;
    SetAdoMessageHandler(
        [&](const std::string& text, const std::string&) { messages.push_back(text); });
    std::string text;
    EXPECT_FALSE(closed.GetValue("txt", text));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(closed.MoveNext());
    EXPECT_FALSE(closed.AddNew());
    EXPECT_FALSE(closed.Update());
    EXPECT_EQ(closed.GetRecordCount(), -1);
    EXPECT_TRUE(closed.IsEOF());

    // After the last row the text getter fails quietly.
    CAdoRecordSet rs;
    rs.SetConnection(&m_connection);
    ASSERT_TRUE(rs.Open("t", kAdoCmdTable));
    EXPECT_FALSE(rs.GetValue("txt", text));
    EXPECT_EQ(messages.size(), 1u);

    m_trace.clear();
    EXPECT_FALSE(m_connection.Execute("SELECT nonsense FROM t").IsOk());
    ASSERT_EQ(m_trace.size(), 1u);
    EXPECT_NE(m_trace[0].find("Warning: Execute failed. Error: no such column: nonsense; file: "),
              std::string::npos);
    EXPECT_NE(m_trace[0].find("; line: "), std::string::npos);
    EXPECT_NE(m_connection.GetLastErrorText().find(
                  "Description: no such column: nonsense\r\nState: 1, Native: 1, Source: "),
              std::string::npos);
    // One statement at a time: nothing after the first runs.
    EXPECT_FALSE(m_connection.Execute("DELETE FROM t; DROP TABLE t").IsOk());
    EXPECT_TRUE(rs.Open("t", kAdoCmdTable));

    // Closing the connection leaves its cursors unusable, not dangling.
    m_connection.Close();
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_FALSE(rs.MoveFirst());
}

TEST_F(AdoLayer, OpenRefusesMissingAndDamagedFiles) {
    CAdoConnection connection;
    EXPECT_FALSE(connection.Open());
    EXPECT_FALSE(connection.Open(m_dir + "/missing.db"));
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/missing.db"));
    const std::string damaged = m_dir + "/damaged.db";
    FILE* pFile = std::fopen(damaged.c_str(), "wb");
    ASSERT_NE(pFile, nullptr);
    std::fputs("this is not a database, only some text long enough to fill a header page", pFile);
    std::fclose(pFile);
    EXPECT_FALSE(connection.Open(damaged));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_NE(connection.GetLastErrorText().find("not a database"), std::string::npos);
}

// Without automatic checkpoints the log keeps every commit until the
// passive checkpoint copies it; then the next commit reuses the log's start.
TEST_F(AdoLayer, PassiveCheckpointTakesOverFromTheCommits) {
    const std::string wal = m_path + "-wal";
    auto commitFiveMegabytes = [this] {
        ASSERT_TRUE(m_connection.Execute("INSERT INTO t (b) VALUES (zeroblob(5000000))").IsOk());
    };
    auto walMegabytes = [&wal] { return std::filesystem::file_size(wal) / 1000000; };
    commitFiveMegabytes();
    commitFiveMegabytes();
    EXPECT_EQ(walMegabytes(), 5U);  // each commit past 1000 pages checkpoints
    ASSERT_TRUE(m_connection.SetAutoCheckpoint(0));
    commitFiveMegabytes();
    commitFiveMegabytes();
    EXPECT_EQ(walMegabytes(), 10U);
    ASSERT_TRUE(m_connection.CheckpointPassive());
    commitFiveMegabytes();
    EXPECT_EQ(walMegabytes(), 10U);
    CAdoConnection closed;
    EXPECT_FALSE(closed.CheckpointPassive());
}

}  // namespace
