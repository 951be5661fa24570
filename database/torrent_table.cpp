#include "torrent_table.h"

#include <sqlite3.h>

#include <strings.h>
#include <cctype>
#include <memory>
#include <set>

#include "ado_connection.h"
#include "ado_internal.h"
#include "ado_recordset.h"
#include "catalogue_schema.h"

namespace {

using ado_detail::QuoteIdentifier;
using ado_detail::Trace;

// Shared by every table: the tables' cursors point at this one connection
// object, so it lives as long as any table does and is only reopened. The
// state itself is never destroyed, so tables that outlive the program's
// other statics still find it.
struct SharedState {
    std::unique_ptr<CAdoConnection> pConnection;
    bool bConnected = false;
    int16_t nLiveTables = 0;
    std::string strDatabasePath;
};

SharedState& Shared() {
    static SharedState* const pState = new SharedState;
    return *pState;
}

bool IsPlainIdentifier(const std::string& strName) {
    if (strName.empty() || strName.size() > 64 ||
        !(std::isalpha(static_cast<unsigned char>(strName[0])) || strName[0] == '_')) {
        return false;
    }
    for (char c : strName) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
            return false;
        }
    }
    return true;
}

std::string Lower(std::string strText) {
    for (char& c : strText) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return strText;
}

bool ObjectExists(CAdoConnection& connection, const char* pszType, const std::string& strName) {
    CAdoRecordSet result;
    return result.Attach(
               connection.Execute("SELECT 1 FROM sqlite_master WHERE type = ?1 AND name = ?2",
                                  {AdoVariant::Text(pszType), AdoVariant::Text(strName)})) &&
           !result.IsEOF();
}

// The search index query for a keyword: its distinct trigrams (of code
// points, as the index counts them), all required. Empty for keywords
// shorter than a trigram. Sixteen trigrams narrow a search as well as all.
std::string TrigramQuery(const std::string& strKeyword) {
    constexpr size_t kMaxTrigrams = 16;
    std::vector<std::string> characters;
    for (size_t i = 0; i < strKeyword.size();) {
        size_t nLength = 1;
        while (i + nLength < strKeyword.size() &&
               (static_cast<unsigned char>(strKeyword[i + nLength]) & 0xC0) == 0x80) {
            ++nLength;
        }
        characters.push_back(strKeyword.substr(i, nLength));
        i += nLength;
    }
    std::set<std::string> trigrams;
    std::string strQuery;
    for (size_t i = 0; i + 3 <= characters.size() && trigrams.size() < kMaxTrigrams; ++i) {
        const std::string strTrigram = characters[i] + characters[i + 1] + characters[i + 2];
        if (!trigrams.insert(strTrigram).second) {
            continue;
        }
        strQuery += strQuery.empty() ? "\"" : " AND \"";
        for (char c : strTrigram) {
            strQuery += c;
            if (c == '"') {
                strQuery += '"';
            }
        }
        strQuery += '"';
    }
    return strQuery;
}

// Reads the current row's columns; a column that cannot be read keeps the
// field as it was.
void ReadRecord(CAdoRecordSet& recordSet, TorrentRecord& record) {
    recordSet.GetValue("AddDate", record.AddDate);
    recordSet.GetValue("Name", record.Name);
    recordSet.GetValue("Addr0", record.Addr0);
    recordSet.GetValue("Addr1", record.Addr1);
    recordSet.GetValue("Addr2", record.Addr2);
    recordSet.GetValue("Addr3", record.Addr3);
    recordSet.GetValue("WebAddr", record.WebAddr);
    int16_t nShort = 0;
    if (recordSet.GetValue("Type", nShort)) {
        record.Type = nShort;
    }
    recordSet.GetValue("Size", record.Size);
    recordSet.GetValue("RefreshDate", record.RefreshDate);
    recordSet.GetValue("Seeds", record.Seeds);
    recordSet.GetValue("Peers", record.Peers);
    recordSet.GetValue("Comment", record.Comment);
    uint8_t nByte = 0;
    if (recordSet.GetValue("bCompleted", nByte)) {
        record.bCompleted = nByte;
    }
    recordSet.GetValue("FileName", record.FileName);
    uint32_t nHandle = 0;
    if (recordSet.GetValue("DownHd", nHandle)) {
        record.DownHd = static_cast<int32_t>(nHandle);
    }
    if (recordSet.GetValue("DllID", nShort)) {
        record.DllID = nShort;
    }
}

// Every column but DownHd, which new rows take from the column default.
std::string InsertStatement(const std::string& strTable) {
    std::string strColumns;
    std::string strValues;
    for (const char* pszColumn : catalogue_schema::kColumns) {
        if (std::string_view(pszColumn) == "DownHd") {
            continue;
        }
        strColumns += (strColumns.empty() ? "\"" : ", \"") + std::string(pszColumn) + "\"";
        strValues += strValues.empty() ? "?" : ", ?";
    }
    return "INSERT INTO " + QuoteIdentifier(strTable) + " (" + strColumns + ") VALUES (" +
           strValues + ")";
}

void RecordParams(const TorrentRecord& record, std::vector<AdoVariant>& params) {
    params.clear();
    params.push_back(AdoVariant::Date(record.AddDate));
    params.push_back(AdoVariant::Text(record.Name));
    params.push_back(AdoVariant::Text(record.Addr0));
    params.push_back(AdoVariant::Text(record.Addr1));
    params.push_back(AdoVariant::Text(record.Addr2));
    params.push_back(AdoVariant::Text(record.Addr3));
    params.push_back(AdoVariant::Text(record.WebAddr));
    params.push_back(AdoVariant::Int16(static_cast<int16_t>(record.Type)));
    params.push_back(AdoVariant::Text(record.Size));
    params.push_back(AdoVariant::Date(record.RefreshDate));
    params.push_back(AdoVariant::Int32(record.Seeds));
    params.push_back(AdoVariant::Int32(record.Peers));
    params.push_back(AdoVariant::Text(record.Comment));
    params.push_back(AdoVariant::Byte(static_cast<uint8_t>(record.bCompleted)));
    params.push_back(AdoVariant::Text(record.FileName));
    params.push_back(AdoVariant::Int16(static_cast<int16_t>(record.DllID)));
}

}  // namespace

// Names of the form the configuration uses. The index objects of a table
// take its name plus a suffix, so names that would collide with them, with
// the row-count table or with SQLite's own objects are refused.
bool IsValidTableName(const std::string& strName) {
    if (!IsPlainIdentifier(strName)) {
        return false;
    }
    const std::string strLower = Lower(strName);
    return strLower.rfind("sqlite_", 0) != 0 && strLower != catalogue_schema::kCountsTable &&
           !strLower.ends_with("_fts") && strLower.find("_fts_") == std::string::npos;
}

CTorrentTable::CTorrentTable() : m_pRecordSet(std::make_unique<CAdoRecordSet>()) {
    ++Shared().nLiveTables;
}

CTorrentTable::~CTorrentTable() {
    if (m_bOpen) {
        m_pRecordSet->Close();
    }
    m_pRecordSet.reset();
    if (--Shared().nLiveTables == 0 && Shared().pConnection) {
        if (Shared().bConnected) {
            Shared().pConnection->Close();
            Shared().bConnected = false;
        }
        Shared().pConnection.reset();
    }
}

void CTorrentTable::SetDatabasePath(const std::string& strPath) {
    if (strPath == Shared().strDatabasePath) {
        return;
    }
    Shared().strDatabasePath = strPath;
    if (Shared().pConnection) {
        Shared().pConnection->Close();
    }
    Shared().bConnected = false;
}

std::string CTorrentTable::GetDatabasePath() {
    return Shared().strDatabasePath;
}

std::optional<int64_t> CTorrentTable::GetDataVersion() {
    if (!Connect()) {
        return std::nullopt;
    }
    return Shared().pConnection->GetDataVersion();
}

bool CTorrentTable::Connect() {
    if (Shared().bConnected && Shared().pConnection && Shared().pConnection->IsOpen()) {
        return true;
    }
    if (!Shared().pConnection) {
        Shared().pConnection = std::make_unique<CAdoConnection>();
    }
    Shared().bConnected = Shared().pConnection->Open(Shared().strDatabasePath, -1);
    return Shared().bConnected;
}

bool CTorrentTable::Open() {
    if (!Connect()) {
        return false;
    }
    // The flag alone is not enough: a reconnection leaves the old cursor
    // unusable.
    if (m_bOpen && m_pRecordSet->IsOpen()) {
        return true;
    }
    m_bOpen = false;
    if (!IsValidTableName(m_strTableName)) {
        Trace("Open", "\"" + m_strTableName + "\" is not a catalogue table name");
        return false;
    }
    m_pRecordSet->SetConnection(Shared().pConnection.get());
    m_pRecordSet->SetCursorLocation(kAdoUseClient);
    m_bOpen = m_pRecordSet->Open(m_strTableName, kAdoCmdTable, 3, 3);
    if (m_bOpen) {
        m_pRecordSet->SetSort("AddDate DESC");
    }
    return m_bOpen;
}

void CTorrentTable::SetTableName(const std::string& strTableName) {
    if (strTableName == m_strTableName) {
        return;
    }
    m_pRecordSet->Close();
    m_bOpen = false;
    m_strTableName = strTableName;
}

bool CTorrentTable::MoveFirst() {
    if (!Open()) {
        return false;
    }
    m_pRecordSet->MoveFirst();
    return !m_pRecordSet->IsEOF();
}

bool CTorrentTable::ReadNext(TorrentRecord& record) {
    if (!m_bOpen || m_pRecordSet->IsEOF()) {
        return false;
    }
    ReadRecord(*m_pRecordSet, record);
    m_pRecordSet->GetBookmark(record.Bookmark);
    m_pRecordSet->MoveNext();
    return true;
}

bool CTorrentTable::ReadPrevious(TorrentRecord& record) {
    if (!m_bOpen || m_pRecordSet->IsBOF()) {
        return false;
    }
    // After the last row there is no row to read: start from the last one
    // instead of handing back an unfilled record.
    if (m_pRecordSet->IsEOF() && (!m_pRecordSet->MoveLast() || m_pRecordSet->IsEOF())) {
        return false;
    }
    ReadRecord(*m_pRecordSet, record);
    m_pRecordSet->GetBookmark(record.Bookmark);
    m_pRecordSet->MovePrevious();
    return true;
}

bool CTorrentTable::IsEOF() {
    return m_pRecordSet->IsEOF();
}

bool CTorrentTable::IsBOF() {
    return m_pRecordSet->IsBOF();
}

void CTorrentTable::MoveLast() {
    if (Open()) {
        m_pRecordSet->MoveLast();
    }
}

bool CTorrentTable::InsertBatch(const TorrentRecordArray& records) {
    if (records.empty()) {
        return true;
    }
    if (!Connect()) {
        return false;
    }
    if (!IsValidTableName(m_strTableName)) {
        Trace("InsertBatch", "\"" + m_strTableName + "\" is not a catalogue table name");
        return false;
    }
    CAdoConnection& connection = *Shared().pConnection;
    if (!connection.BeginTrans()) {
        return false;
    }
    const std::string strInsert = InsertStatement(m_strTableName);
    std::vector<AdoVariant> params;
    for (const TorrentRecord& record : records) {
        RecordParams(record, params);
        // A refused row is left out; the rest of the batch still goes in.
        if (!connection.Execute(strInsert, params).IsOk() && !connection.IsInTransaction()) {
            return false;
        }
    }
    return connection.CommitTrans();
}

bool CTorrentTable::SetFileName(const TorrentRecord& record, RecordBookmark bookmark) {
    if (!m_bOpen || !m_pRecordSet->IsOpen()) {
        return false;
    }
    CAdoRecordSet& recordSet = *m_pRecordSet;
    RecordBookmark current;
    const bool bHadRow = !recordSet.IsEOF() && !recordSet.IsBOF() && recordSet.GetBookmark(current);
    const bool bWasAtEnd = !bHadRow && recordSet.IsEOF() && !recordSet.IsBOF();
    if (!recordSet.SetBookmark(bookmark)) {
        return false;
    }
    // Row ids of deleted rows can come back for new rows; the record must
    // still describe the row before its file name is written there.
    TorrentRecord stored;
    ReadRecord(recordSet, stored);
    bool bWritten = false;
    if (stored.Name == record.Name && stored.Addr0 == record.Addr0 &&
        stored.AddDate == record.AddDate) {
        bWritten = recordSet.PutCollect("FileName", record.FileName) && recordSet.Update();
    } else {
        Trace("SetFileName", "the bookmarked row holds another entry");
    }
    if (bHadRow) {
        recordSet.SetBookmark(current);
    } else if (bWasAtEnd) {
        recordSet.MoveLast();
        recordSet.MoveNext();
    } else {
        recordSet.MoveFirst();
        recordSet.MovePrevious();
    }
    return bWritten;
}

void CTorrentTable::DeleteAll() {
    if (!Connect()) {
        return;
    }
    m_pRecordSet->Close();
    m_bOpen = false;
    if (IsValidTableName(m_strTableName)) {
        CAdoConnection& connection = *Shared().pConnection;
        const std::string strTable = QuoteIdentifier(m_strTableName);
        const std::string strTrigger = catalogue_schema::DeleteTriggerName(m_strTableName);
        if (!ObjectExists(connection, "trigger", strTrigger)) {
            connection.Execute("DELETE FROM " + strTable);
        } else if (connection.BeginTrans()) {
            // Row by row, the delete trigger would keep the search index in
            // step one row at a time; emptying both at once takes
            // milliseconds instead of minutes on a large table.
            const std::string strFts =
                QuoteIdentifier(catalogue_schema::SearchIndexName(m_strTableName));
            const bool bDone =
                connection.Execute("DROP TRIGGER " + QuoteIdentifier(strTrigger)).IsOk() &&
                connection.Execute("DELETE FROM " + strTable).IsOk() &&
                connection
                    .Execute("INSERT INTO " + strFts + " (" + strFts + ") VALUES ('delete-all')")
                    .IsOk() &&
                connection
                    .Execute(std::string("UPDATE ") + catalogue_schema::kCountsTable +
                                 " SET n = 0 WHERE tbl = ?1",
                             {AdoVariant::Text(m_strTableName)})
                    .IsOk() &&
                connection.Execute(catalogue_schema::CreateDeleteTrigger(m_strTableName)).IsOk();
            if (bDone) {
                connection.CommitTrans();
            } else if (connection.IsInTransaction()) {
                connection.RollbackTrans();
            }
        }
    }
    Open();
}

bool CTorrentTable::DeleteByDate(OleDate dtCutOff, bool bRecent) {
    if (!Connect()) {
        return false;
    }
    m_pRecordSet->Close();
    m_bOpen = false;
    bool bDeleted = false;
    if (IsValidTableName(m_strTableName)) {
        bDeleted =
            Shared()
                .pConnection
                ->Execute("DELETE FROM " + QuoteIdentifier(m_strTableName) +
                              (bRecent ? " WHERE \"AddDate\" >= ?1" : " WHERE \"AddDate\" < ?1"),
                          {AdoVariant::Real(dtCutOff.m_dt)})
                .IsOk();
    } else {
        Trace("DeleteByDate", "\"" + m_strTableName + "\" is not a catalogue table name");
    }
    Open();
    return bDeleted;
}

namespace {
constexpr const char* kRowIdColumn = "search_rowid";
}  // namespace

void CTorrentTable::SearchByName(const std::string& strKeyword, TorrentRecordArray& records) {
    if (!Connect()) {
        return;
    }
    if (!IsValidTableName(m_strTableName)) {
        Trace("SearchByName", "\"" + m_strTableName + "\" is not a catalogue table name");
        return;
    }
    CAdoConnection& connection = *Shared().pConnection;
    const std::string strTable = QuoteIdentifier(m_strTableName);
    const AdoVariant pattern = AdoVariant::Text("%" + strKeyword + "%");
    const std::string strFtsName = catalogue_schema::SearchIndexName(m_strTableName);
    // The trigram index answers keywords of three characters or more without
    // wildcards: it names the rows holding every trigram of the keyword, a
    // superset (it also folds case beyond ASCII and ignores the trigrams'
    // order), and LIKE then decides, so both ways give the same rows. The
    // unary + keeps the date index from driving the query: the matches are
    // few, the table is large.
    const std::string strTrigrams = TrigramQuery(strKeyword);
    const bool bIndexed = !strTrigrams.empty() &&
                          strKeyword.find_first_of("%_") == std::string::npos &&
                          ObjectExists(connection, "table", strFtsName);
    AdoResult result;
    if (bIndexed) {
        const std::string strFts = QuoteIdentifier(strFtsName);
        result = connection.Execute("SELECT t.*, t.rowid AS " + std::string(kRowIdColumn) +
                                        " FROM " + strFts + " JOIN " + strTable +
                                        " AS t ON t.rowid = " + strFts + ".rowid WHERE " + strFts +
                                        " MATCH ?1 AND t.\"Name\" LIKE ?2"
                                        " ORDER BY +t.\"AddDate\" DESC, t.rowid",
                                    {AdoVariant::Text(strTrigrams), pattern});
    } else {
        result = connection.Execute("SELECT *, rowid AS " + std::string(kRowIdColumn) + " FROM " +
                                        strTable +
                                        " WHERE \"Name\" LIKE ?1 ORDER BY +\"AddDate\" DESC, rowid",
                                    {pattern});
    }
    CAdoRecordSet rows;
    if (!rows.Attach(std::move(result))) {
        return;
    }
    while (!rows.IsEOF()) {
        TorrentRecord record;
        ReadRecord(rows, record);
        // The row's identity, so a download started from a search result
        // records its file name in the row.
        AdoVariant rowId;
        if (rows.GetValue(kRowIdColumn, rowId)) {
            record.Bookmark.nRowId = rowId.nValue;
        }
        records.push_back(std::move(record));
        if (!rows.MoveNext()) {
            break;
        }
    }
}

int64_t CTorrentTable::Count() {
    if (!Open()) {
        return 0;
    }
    // The row count kept by the table's triggers answers at once; a table
    // made without them is counted.
    if (ObjectExists(*Shared().pConnection, "table", catalogue_schema::kCountsTable)) {
        CAdoRecordSet counted;
        int64_t nCount = 0;
        AdoVariant value;
        if (counted.Attach(Shared().pConnection->Execute(
                std::string("SELECT n FROM ") + catalogue_schema::kCountsTable + " WHERE tbl = ?1",
                {AdoVariant::Text(m_strTableName)})) &&
            !counted.IsEOF() && counted.GetValue("n", value)) {
            nCount = value.nValue;
            return nCount < 0 ? 0 : nCount;
        }
    }
    const int64_t nCount = m_pRecordSet->GetRecordCount();
    return nCount < 0 ? 0 : nCount;
}

bool CreateCatalogue(const std::string& strPath, const std::vector<std::string>& tableNames,
                     std::string& strError) {
    strError.clear();
    for (const std::string& strName : tableNames) {
        if (!IsValidTableName(strName)) {
            strError = "\"" + strName + "\" is not a valid catalogue table name";
            return false;
        }
    }
    sqlite3* pRaw = nullptr;
    const int rc = sqlite3_open_v2(strPath.c_str(), &pRaw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> pDb(pRaw, &sqlite3_close_v2);
    const auto fail = [&](const std::string& strWhat) {
        strError = strPath + ": " + strWhat + ": " +
                   (pDb ? sqlite3_errmsg(pDb.get()) : sqlite3_errstr(rc));
        if (pDb && sqlite3_get_autocommit(pDb.get()) == 0) {
            sqlite3_exec(pDb.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return false;
    };
    if (rc != SQLITE_OK) {
        return fail("cannot open the catalogue");
    }
    const auto run = [&](const std::string& strSql) {
        return sqlite3_exec(pDb.get(), strSql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    const auto exists = [&](const std::string& strName) {
        sqlite3_stmt* pStmt = nullptr;
        sqlite3_prepare_v2(pDb.get(), "SELECT 1 FROM sqlite_master WHERE name = ?1", -1, &pStmt,
                           nullptr);
        const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(
            pStmt, &sqlite3_finalize);
        return pStmt != nullptr &&
               sqlite3_bind_text(pStmt, 1, strName.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
               sqlite3_step(pStmt) == SQLITE_ROW;
    };
    if (!run("PRAGMA journal_mode=WAL") || !run("BEGIN IMMEDIATE")) {
        return fail("cannot start the catalogue");
    }
    if (!run(catalogue_schema::CreateCountsTable())) {
        return fail("cannot create the row counts");
    }
    for (const std::string& strName : tableNames) {
        const bool bHadSearchIndex = exists(catalogue_schema::SearchIndexName(strName));
        std::string strFill;
        for (const std::string& strSql : catalogue_schema::TableStatements(strName, strFill)) {
            if (!run(strSql)) {
                return fail("cannot create table " + strName);
            }
        }
        if (!bHadSearchIndex && !run(strFill)) {
            return fail("cannot fill the search index of " + strName);
        }
    }
    if (!run("PRAGMA user_version = " + std::to_string(catalogue_schema::kSchemaVersion)) ||
        !run("COMMIT")) {
        return fail("cannot commit the catalogue");
    }
    return true;
}
