#include "torrent_table.h"

#include <sqlite3.h>

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <tuple>

#include "ado_connection.h"
#include "ado_internal.h"
#include "ado_recordset.h"
#include "catalogue_schema.h"

namespace {

using ado_detail::QuoteIdentifier;
using ado_detail::Trace;

// Rows per transaction of DeleteByDate.
constexpr int32_t kDeleteBatchRows = 20000;

// Shared by every table: the tables' cursors point at this one connection
// object, so it lives as long as any table does and is only reopened. The
// state itself is never destroyed, so tables that outlive the program's
// other statics still find it.
struct SharedState {
    std::unique_ptr<CAdoConnection> pConnection;
    // Asks data_version only: the shared connection's table cursors hold a
    // read transaction while they stand on a row, and a connection inside a
    // read transaction never sees the value move.
    std::unique_ptr<CAdoConnection> pWatcher;
    bool bConnected = false;
    int16_t nLiveTables = 0;
    std::string strDatabasePath;
    std::string strLastError;
    // The leaves whose search index may hold segments to merge; unset until
    // the first merge step after connecting, which looks at every leaf.
    std::optional<std::set<std::string>> searchIndexesToMerge;
};

SharedState& Shared() {
    static SharedState* const pState = new SharedState;
    return *pState;
}

void NoteSearchIndexWritten(const std::string& strTable) {
    if (Shared().searchIndexesToMerge) {
        Shared().searchIndexesToMerge->insert(strTable);
    }
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

// Remembers a failure for LastError(), with the database's own words when
// it has any.
void NoteFailure(const std::string& strWhat) {
    std::string strError = strWhat;
    if (Shared().pConnection && !Shared().pConnection->GetLastErrorMessage().empty()) {
        strError += ": " + Shared().pConnection->GetLastErrorMessage();
    }
    Shared().strLastError = strError;
}

std::optional<int64_t> QueryInteger(CAdoConnection& connection, const std::string& strSql,
                                    const char* pszColumn) {
    CAdoRecordSet result;
    AdoVariant value;
    if (!result.Attach(connection.Execute(strSql)) || result.IsEOF() ||
        !result.GetValue(pszColumn, value)) {
        return std::nullopt;
    }
    return value.nValue;
}

// Every table that has the catalogue's key columns, whether or not the
// configuration names it now: an upgrade must reach them all.
std::vector<std::string> CatalogueTables(CAdoConnection& connection) {
    std::vector<std::string> tables;
    CAdoRecordSet result;
    if (!result.Attach(connection.Execute(
            "SELECT name FROM sqlite_master AS m WHERE type = 'table' AND (SELECT count(*) FROM "
            "pragma_table_info(m.name) WHERE name IN ('AddDate', 'Addr0', 'DllID')) = 3"))) {
        return tables;
    }
    while (!result.IsEOF()) {
        std::string strName;
        if (result.GetValue("name", strName) && IsPlainIdentifier(strName)) {
            tables.push_back(strName);
        }
        if (!result.MoveNext()) {
            break;
        }
    }
    return tables;
}

// Refuses a catalogue of a newer schema and runs the pending upgrade steps,
// each in one transaction, so a failed step leaves the catalogue as the
// step before left it.
bool UpgradeSchema(CAdoConnection& connection, const std::string& strPath, std::string& strError) {
    const char* const kVersionSql = "PRAGMA user_version";
    const std::optional<int64_t> nVersion = QueryInteger(connection, kVersionSql, "user_version");
    if (!nVersion) {
        strError = "cannot read the schema version of the catalogue " + strPath;
        return false;
    }
    if (*nVersion > catalogue_schema::kSchemaVersion) {
        strError = "the catalogue " + strPath + " has schema version " + std::to_string(*nVersion) +
                   ", newer than version " + std::to_string(catalogue_schema::kSchemaVersion) +
                   " that this program knows; it is left untouched";
        return false;
    }
    for (const catalogue_schema::Migration& migration : catalogue_schema::Migrations()) {
        if (migration.nToVersion <= *nVersion) {
            continue;
        }
        if (!connection.BeginTrans()) {
            strError = "cannot start upgrading the catalogue " + strPath;
            return false;
        }
        // Another process may have taken the step while this one waited.
        bool bDone = QueryInteger(connection, kVersionSql, "user_version").value_or(0) >=
                     migration.nToVersion;
        for (const std::string& strTable :
             bDone ? std::vector<std::string>{} : CatalogueTables(connection)) {
            const bool bHasSearchIndex =
                ObjectExists(connection, "table", catalogue_schema::SearchIndexName(strTable));
            for (const std::string& strSql : migration.tableStatements(strTable, bHasSearchIndex)) {
                if (!connection.Execute(strSql).IsOk()) {
                    connection.RollbackTrans();
                    strError = "cannot upgrade table " + strTable + " of the catalogue " + strPath +
                               " to schema version " + std::to_string(migration.nToVersion);
                    return false;
                }
            }
        }
        bDone = bDone ||
                connection.Execute("PRAGMA user_version = " + std::to_string(migration.nToVersion))
                    .IsOk();
        if (!bDone || !connection.CommitTrans()) {
            if (connection.IsInTransaction()) {
                connection.RollbackTrans();
            }
            strError = "cannot upgrade the catalogue " + strPath + " to schema version " +
                       std::to_string(migration.nToVersion);
            return false;
        }
    }
    return true;
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
// A statement per row would make the search index write a segment per row:
// the full-text index flushes what it gathered at every statement that can
// be rolled back on its own, and the insert trigger makes each insert one.
// So rows go in as many at once as one statement takes, in chunks of powers
// of two, which keeps the statement texts few.
constexpr size_t kMaxRowsPerInsert = 512;

std::string InsertStatement(const std::string& strTable, size_t nRows) {
    std::string strColumns;
    std::string strRow;
    for (const char* pszColumn : catalogue_schema::kColumns) {
        if (std::string_view(pszColumn) == "DownHd") {
            continue;
        }
        strColumns += (strColumns.empty() ? "\"" : ", \"") + std::string(pszColumn) + "\"";
        strRow += strRow.empty() ? "(?" : ", ?";
    }
    strRow += ")";
    std::string strSql =
        "INSERT INTO " + QuoteIdentifier(strTable) + " (" + strColumns + ") VALUES ";
    strSql.reserve(strSql.size() + nRows * (strRow.size() + 2));
    for (size_t i = 0; i < nRows; ++i) {
        strSql += i == 0 ? strRow : ", " + strRow;
    }
    return strSql;
}

void AppendRecordParams(const TorrentRecord& record, std::vector<AdoVariant>& params) {
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
        Shared().pWatcher.reset();
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
    Shared().pWatcher.reset();
    Shared().bConnected = false;
    Shared().searchIndexesToMerge.reset();
}

std::string CTorrentTable::GetDatabasePath() {
    return Shared().strDatabasePath;
}

bool CTorrentTable::Connect() {
    if (Shared().bConnected && Shared().pConnection && Shared().pConnection->IsOpen()) {
        return true;
    }
    if (!Shared().pConnection) {
        Shared().pConnection = std::make_unique<CAdoConnection>();
    }
    CAdoConnection& connection = *Shared().pConnection;
    Shared().bConnected = false;
    if (!connection.Open(Shared().strDatabasePath, -1)) {
        NoteFailure("cannot open the catalogue " + Shared().strDatabasePath);
        return false;
    }
    std::string strError;
    if (!UpgradeSchema(connection, Shared().strDatabasePath, strError)) {
        NoteFailure(strError);
        Trace("Connect", Shared().strLastError);
        connection.Close();
        return false;
    }
    Shared().bConnected = true;
    return true;
}

std::string CTorrentTable::LastError() {
    return Shared().strLastError;
}

bool CTorrentTable::SetAutoCheckpoint(bool bOn) {
    constexpr int kDefaultPages = 1000;
    return Connect() && Shared().pConnection->SetAutoCheckpoint(bOn ? kDefaultPages : 0);
}

bool CTorrentTable::CheckpointPassive() {
    return Connect() && Shared().pConnection->CheckpointPassive();
}

bool CTorrentTable::MergeSearchIndexStep(int nPages) {
    if (!Connect()) {
        return false;
    }
    SharedState& shared = Shared();
    CAdoConnection& connection = *shared.pConnection;
    if (!shared.searchIndexesToMerge) {
        std::set<std::string>& tables = shared.searchIndexesToMerge.emplace();
        for (const std::string& strTable : CatalogueTables(connection)) {
            if (ObjectExists(connection, "table", catalogue_schema::SearchIndexName(strTable))) {
                tables.insert(strTable);
            }
        }
    }
    std::set<std::string>& tables = *shared.searchIndexesToMerge;
    if (tables.empty()) {
        return false;
    }
    const auto table = tables.begin();
    const std::string strFts = QuoteIdentifier(catalogue_schema::SearchIndexName(*table));
    const int64_t nChangesBefore = connection.TotalChanges();
    const bool bMerged =
        connection
            .Execute("INSERT INTO " + strFts + " (" + strFts + ", rank) VALUES ('merge', ?1)",
                     {AdoVariant::Int32(nPages)})
            .IsOk();
    // A merge with nothing left to do writes less than two rows. A failed
    // one is tried again after the leaf's next write.
    if (!bMerged || connection.TotalChanges() - nChangesBefore < 2) {
        tables.erase(table);
    }
    return !tables.empty();
}

std::optional<int64_t> CTorrentTable::DataVersion() {
    if (!Connect()) {
        return std::nullopt;
    }
    SharedState& shared = Shared();
    if (!shared.pWatcher || !shared.pWatcher->IsOpen()) {
        shared.pWatcher = std::make_unique<CAdoConnection>();
        if (!shared.pWatcher->Open(shared.strDatabasePath, -1)) {
            shared.pWatcher.reset();
            return std::nullopt;
        }
    }
    return shared.pWatcher->GetDataVersion();
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

bool CTorrentTable::MoveTo(int64_t nPosition) {
    return Open() && m_pRecordSet->MoveToPosition(nPosition);
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
    const std::string strFailure = "cannot write to table " + m_strTableName;
    if (!connection.BeginTrans()) {
        NoteFailure(strFailure);
        return false;
    }
    std::vector<AdoVariant> params;
    const auto insert = [&](size_t nFirst, size_t nRows) {
        params.clear();
        for (size_t i = nFirst; i < nFirst + nRows; ++i) {
            AppendRecordParams(records[i], params);
        }
        return connection.Execute(InsertStatement(m_strTableName, nRows), params).IsOk();
    };
    for (size_t nDone = 0; nDone < records.size();) {
        size_t nRows = kMaxRowsPerInsert;
        while (nRows > records.size() - nDone) {
            nRows /= 2;
        }
        // A refused row fails its whole statement: the chunk then goes in row
        // by row, so that only the refused row is left out.
        if (!insert(nDone, nRows)) {
            for (size_t i = nDone; i < nDone + nRows && connection.IsInTransaction(); ++i) {
                insert(i, 1);
            }
        }
        if (!connection.IsInTransaction()) {
            NoteFailure(strFailure);
            return false;
        }
        nDone += nRows;
    }
    if (!connection.CommitTrans()) {
        NoteFailure(strFailure);
        return false;
    }
    NoteSearchIndexWritten(m_strTableName);
    return true;
}

bool CTorrentTable::DropStoredEntries(TorrentRecordArray& records) {
    if (records.empty()) {
        return true;
    }
    if (!Connect()) {
        return false;
    }
    if (!IsValidTableName(m_strTableName)) {
        Trace("DropStoredEntries", "\"" + m_strTableName + "\" is not a catalogue table name");
        return false;
    }
    CAdoConnection& connection = *Shared().pConnection;
    const std::string strTable = QuoteIdentifier(m_strTableName);
    using EntryKey = std::tuple<int32_t, std::string, double>;
    using EntryView = std::tuple<int32_t, std::string_view, double>;
    std::set<EntryKey, std::less<>> stored;

    // A refresh brings entries newer than every stored one as a rule: one
    // read of each plug-in's date range over the (DllID, AddDate) index finds
    // the few stored candidates. A range that holds many more rows than the
    // batch (an old date among new ones) is looked up entry by entry instead.
    std::map<int32_t, std::pair<double, double>> ranges;
    for (const TorrentRecord& record : records) {
        const double date = record.AddDate.m_dt;
        const auto [range, bNew] = ranges.try_emplace(record.DllID, date, date);
        range->second = {std::min(range->second.first, date), std::max(range->second.second, date)};
    }
    const int64_t nRangeLimit = static_cast<int64_t>(records.size()) * 4 + 1;
    const std::string strRange = "SELECT \"Addr0\", \"AddDate\" FROM " + strTable +
                                 " WHERE \"DllID\" = ?1 AND \"AddDate\" BETWEEN ?2 AND ?3"
                                 " LIMIT ?4";
    const std::string strLookup = "SELECT 1 FROM " + strTable +
                                  " WHERE \"Addr0\" IS ?1 AND \"DllID\" = ?2 AND "
                                  "\"AddDate\" = ?3 LIMIT 1";
    const auto readFailed = [this] {
        NoteFailure("cannot read table " + m_strTableName);
        return false;
    };
    std::set<int32_t> lookedUpOneByOne;
    for (const auto& [nDllID, range] : ranges) {
        // Bound as InsertBatch writes them, so equal means stored.
        AdoResult found = connection.Execute(
            strRange, {AdoVariant::Int16(static_cast<int16_t>(nDllID)),
                       AdoVariant::Date(OleDate{range.first}),
                       AdoVariant::Date(OleDate{range.second}), AdoVariant::Int64(nRangeLimit)});
        if (!found.IsOk()) {
            return readFailed();
        }
        std::vector<EntryKey> candidates;
        CAdoRecordSet rows;
        if (found.HasRows() && rows.Attach(std::move(found))) {
            for (; !rows.IsEOF(); rows.MoveNext()) {
                std::string strAddr0;
                OleDate date;
                if (!rows.GetValue("Addr0", strAddr0) || !rows.GetValue("AddDate", date)) {
                    return readFailed();
                }
                candidates.emplace_back(nDllID, std::move(strAddr0), date.m_dt);
            }
        }
        if (static_cast<int64_t>(candidates.size()) >= nRangeLimit) {
            lookedUpOneByOne.insert(nDllID);
        } else {
            stored.insert(std::make_move_iterator(candidates.begin()),
                          std::make_move_iterator(candidates.end()));
        }
    }

    std::set<EntryView> seen;
    std::vector<bool> keep(records.size(), false);
    for (size_t i = 0; i < records.size(); ++i) {
        const TorrentRecord& record = records[i];
        const EntryView key{record.DllID, record.Addr0, record.AddDate.m_dt};
        if (!seen.insert(key).second) {
            continue;
        }
        if (lookedUpOneByOne.count(record.DllID) == 0) {
            keep[i] = stored.count(key) == 0;
        } else {
            const AdoResult found = connection.Execute(
                strLookup, {AdoVariant::Text(record.Addr0),
                            AdoVariant::Int16(static_cast<int16_t>(record.DllID)),
                            AdoVariant::Date(record.AddDate)});
            if (!found.IsOk()) {
                return readFailed();
            }
            keep[i] = !found.HasRows();
        }
    }
    // Moved, not copied: a batch is hundreds of records of a dozen strings.
    size_t nKept = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (keep[i]) {
            if (nKept != i) {
                records[nKept] = std::move(records[i]);
            }
            ++nKept;
        }
    }
    records.resize(nKept);
    return true;
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

bool CTorrentTable::DeleteAll() {
    if (!Connect()) {
        return false;
    }
    m_pRecordSet->Close();
    m_bOpen = false;
    bool bDeleted = false;
    if (IsValidTableName(m_strTableName)) {
        CAdoConnection& connection = *Shared().pConnection;
        const std::string strTable = QuoteIdentifier(m_strTableName);
        const std::string strTrigger = catalogue_schema::DeleteTriggerName(m_strTableName);
        if (!ObjectExists(connection, "trigger", strTrigger)) {
            bDeleted = connection.Execute("DELETE FROM " + strTable).IsOk();
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
            bDeleted = bDone && connection.CommitTrans();
            if (!bDeleted && connection.IsInTransaction()) {
                connection.RollbackTrans();
            }
        }
    }
    if (!bDeleted) {
        NoteFailure("cannot delete the rows of table " + m_strTableName);
    }
    Open();
    return bDeleted;
}

bool CTorrentTable::DeleteByDate(OleDate dtCutOff, bool bRecent) {
    if (!Connect()) {
        return false;
    }
    m_pRecordSet->Close();
    m_bOpen = false;
    bool bDeleted = false;
    if (IsValidTableName(m_strTableName)) {
        // Batches through the date index: each holds the write lock for a
        // moment only, so a writer waiting meanwhile gets in between two.
        const std::string strTable = QuoteIdentifier(m_strTableName);
        const std::string strDelete =
            "DELETE FROM " + strTable + " WHERE rowid IN (SELECT rowid FROM " + strTable +
            (bRecent ? " WHERE \"AddDate\" >= ?1" : " WHERE \"AddDate\" < ?1") + " LIMIT ?2)";
        for (;;) {
            const AdoResult result = Shared().pConnection->Execute(
                strDelete, {AdoVariant::Real(dtCutOff.m_dt), AdoVariant::Int32(kDeleteBatchRows)});
            bDeleted = result.IsOk();
            if (!bDeleted || result.Changes() < kDeleteBatchRows) {
                break;
            }
        }
        NoteSearchIndexWritten(m_strTableName);
        if (!bDeleted) {
            NoteFailure("cannot delete from table " + m_strTableName);
        }
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
    {
        // Only this creates the file; the access layer never does.
        sqlite3* pRaw = nullptr;
        const int rc = sqlite3_open_v2(strPath.c_str(), &pRaw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        const std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> pDb(pRaw, &sqlite3_close_v2);
        if (rc != SQLITE_OK) {
            strError = strPath + ": cannot open the catalogue: " +
                       (pDb ? sqlite3_errmsg(pDb.get()) : sqlite3_errstr(rc));
            return false;
        }
    }
    CAdoConnection connection;
    const auto fail = [&](const std::string& strWhat) {
        strError = strPath + ": " + strWhat;
        if (!connection.GetLastErrorMessage().empty()) {
            strError += ": " + connection.GetLastErrorMessage();
        }
        if (connection.IsInTransaction()) {
            connection.RollbackTrans();
        }
        return false;
    };
    if (!connection.Open(strPath)) {
        return fail("cannot open the catalogue");
    }
    std::string strUpgradeError;
    if (!UpgradeSchema(connection, strPath, strUpgradeError)) {
        strError = strUpgradeError;
        return false;
    }
    if (!connection.BeginTrans()) {
        return fail("cannot start the catalogue");
    }
    if (!connection.Execute(catalogue_schema::CreateCountsTable()).IsOk()) {
        return fail("cannot create the row counts");
    }
    for (const std::string& strName : tableNames) {
        const bool bHadSearchIndex =
            ObjectExists(connection, "table", catalogue_schema::SearchIndexName(strName));
        std::string strFill;
        for (const std::string& strSql : catalogue_schema::TableStatements(strName, strFill)) {
            if (!connection.Execute(strSql).IsOk()) {
                return fail("cannot create table " + strName);
            }
        }
        if (!bHadSearchIndex && !connection.Execute(strFill).IsOk()) {
            return fail("cannot fill the search index of " + strName);
        }
    }
    if (!connection.CommitTrans()) {
        return fail("cannot commit the catalogue");
    }
    return true;
}
