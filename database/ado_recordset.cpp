#include "ado_recordset.h"

#include <strings.h>

#include <algorithm>
#include <sstream>
#include <utility>

#include "ado_internal.h"

namespace {

using ado_detail::QuoteIdentifier;
using ado_detail::Trace;

// Rows read per seek: a page of the list view plus slack, so paging costs one
// statement per page.
constexpr size_t kWindowRows = 128;

const char kLostConnectionText[] = "数据库可能已经断开,\r\n请重新连接、然后重试.";
const char kLostConnectionCaption[] = "提示";

AdoVariant Limit(size_t nRows) {
    return AdoVariant::Int64(static_cast<int64_t>(nRows));
}

}  // namespace

CAdoRecordSet::CAdoRecordSet() = default;

CAdoRecordSet::~CAdoRecordSet() {
    Close();
}

bool CAdoRecordSet::SetCursorLocation(int nLocation) {
    m_nCursorLocation = nLocation;
    return true;
}

bool CAdoRecordSet::Open(const std::string& strSource, int nCommandType, int /*nCursorType*/,
                         int /*nLockType*/) {
    if (!strSource.empty()) {
        m_strSource = strSource;
    }
    if (m_pConnection == nullptr) {
        Trace("Open", "the cursor has no connection");
        return false;
    }
    if (m_strSource.empty()) {
        Trace("Open", "no table or statement given");
        return false;
    }
    Close();
    if (!m_pConnection->IsOpen()) {
        Trace("Open", "the connection is not open");
        return false;
    }
    if (nCommandType == kAdoCmdTable) {
        return OpenTable(m_strSource);
    }
    if (nCommandType == kAdoCmdText) {
        return Attach(m_pConnection->Execute(m_strSource));
    }
    Trace("Open", "unsupported command type");
    return false;
}

bool CAdoRecordSet::Attach(AdoResult&& result) {
    Close();
    if (!result.IsOk() || result.m_pOwner == nullptr) {
        Trace("Attach", "the statement failed");
        return false;
    }
    m_pConnection = result.m_pOwner;
    m_nGeneration = result.m_nGeneration;
    m_mode = Mode::kResult;
    m_nResultRow = 0;
    if (!result.HasRows()) {
        m_position = Position::kEmpty;
        return true;
    }
    m_statement = std::move(result.m_statement);
    sqlite3_stmt* pStmt = m_statement.get();
    const int nColumns = sqlite3_column_count(pStmt);
    for (int i = 0; i < nColumns; ++i) {
        const char* pszName = sqlite3_column_name(pStmt, i);
        m_columnNames.emplace_back(pszName != nullptr ? pszName : "");
        m_columnKinds.push_back(ado_detail::KindOfDeclaredType(sqlite3_column_decltype(pStmt, i)));
    }
    m_position = Position::kRow;
    m_nResultRow = 1;
    return true;
}

void CAdoRecordSet::Close() {
    CancelUpdate();
    m_statement = AdoStatement();
    m_window.clear();
    m_window.shrink_to_fit();
    m_nWindowIndex = 0;
    m_columnNames.clear();
    m_columnKinds.clear();
    m_strTable.clear();
    m_strSelect.clear();
    m_nSortColumn = -1;
    m_bSortDescending = false;
    m_mode = Mode::kClosed;
    m_position = Position::kEmpty;
}

bool CAdoRecordSet::IsOpen() const {
    return m_mode != Mode::kClosed && m_pConnection != nullptr && m_pConnection->IsOpen() &&
           m_pConnection->Generation() == m_nGeneration;
}

bool CAdoRecordSet::IsEOF() const {
    return !IsOpen() || m_position == Position::kEOF || m_position == Position::kEmpty;
}

bool CAdoRecordSet::IsBOF() const {
    return !IsOpen() || m_position == Position::kBOF || m_position == Position::kEmpty;
}

bool CAdoRecordSet::CheckOpen(const char* pszOperation, std::source_location where) const {
    if (IsOpen()) {
        return true;
    }
    Trace(pszOperation, "the cursor is not open", where);
    return false;
}

bool CAdoRecordSet::OpenTable(const std::string& strTable) {
    AdoStatement probe =
        m_pConnection->Prepare("SELECT * FROM " + QuoteIdentifier(strTable), "Open");
    if (!probe) {
        return false;
    }
    const int nColumns = sqlite3_column_count(probe.get());
    m_strSelect = "SELECT rowid";
    for (int i = 0; i < nColumns; ++i) {
        const char* pszName = sqlite3_column_name(probe.get(), i);
        m_columnNames.emplace_back(pszName != nullptr ? pszName : "");
        m_columnKinds.push_back(
            ado_detail::KindOfDeclaredType(sqlite3_column_decltype(probe.get(), i)));
        m_strSelect += ", " + QuoteIdentifier(m_columnNames.back());
    }
    m_strSelect += " FROM " + QuoteIdentifier(strTable);
    m_strTable = strTable;
    m_mode = Mode::kTable;
    m_nGeneration = m_pConnection->Generation();
    if (!MoveFirst()) {
        Close();
        return false;
    }
    return true;
}

int CAdoRecordSet::ColumnIndex(const std::string& strColumn) const {
    for (size_t i = 0; i < m_columnNames.size(); ++i) {
        if (strcasecmp(m_columnNames[i].c_str(), strColumn.c_str()) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CAdoRecordSet::FetchInto(const std::string& strSql, const std::vector<AdoVariant>& params,
                              size_t nLimit, std::vector<Row>& rows) {
    AdoStatement statement = m_pConnection->Prepare(strSql, "Move");
    if (!statement) {
        return false;
    }
    sqlite3_stmt* pStmt = statement.get();
    if (!ado_detail::BindParams(pStmt, params)) {
        m_pConnection->RecordError("Move");
        return false;
    }
    const size_t nColumns = m_columnNames.size();
    for (size_t n = 0; n < nLimit; ++n) {
        const int rc = sqlite3_step(pStmt);
        if (rc == SQLITE_DONE) {
            break;
        }
        if (rc != SQLITE_ROW) {
            m_pConnection->RecordError("Move");
            return false;
        }
        Row row;
        row.nRowId = sqlite3_column_int64(pStmt, 0);
        row.values.reserve(nColumns);
        for (size_t i = 0; i < nColumns; ++i) {
            row.values.push_back(
                ado_detail::ReadColumn(pStmt, static_cast<int>(i) + 1, m_columnKinds[i]));
        }
        if (m_nSortColumn >= 0) {
            row.key = row.values[static_cast<size_t>(m_nSortColumn)];
        }
        rows.push_back(std::move(row));
    }
    return true;
}

bool CAdoRecordSet::FetchWindow(const Row* pFrom, bool bForward, std::vector<Row>& rows) {
    rows.clear();
    const char* pszRowIdOrder = bForward ? "ASC" : "DESC";
    if (m_nSortColumn < 0) {
        if (pFrom == nullptr) {
            return FetchInto(m_strSelect + " ORDER BY rowid " + pszRowIdOrder + " LIMIT ?1",
                             {Limit(kWindowRows)}, kWindowRows, rows);
        }
        return FetchInto(m_strSelect + (bForward ? " WHERE rowid > ?1" : " WHERE rowid < ?1") +
                             " ORDER BY rowid " + pszRowIdOrder + " LIMIT ?2",
                         {AdoVariant::Int64(pFrom->nRowId), Limit(kWindowRows)}, kWindowRows, rows);
    }

    // Cursor order is (sort column in its direction, row id ascending); a
    // backward walk reverses both. Every statement below is one range of the
    // sort column's index, so a seek costs the rows it returns.
    const std::string strColumn =
        QuoteIdentifier(m_columnNames[static_cast<size_t>(m_nSortColumn)]);
    const bool bWalkDescending = bForward == m_bSortDescending;
    const std::string strOrder = " ORDER BY " + strColumn + (bWalkDescending ? " DESC" : " ASC") +
                                 ", rowid " + pszRowIdOrder;
    if (pFrom == nullptr) {
        return FetchInto(m_strSelect + strOrder + " LIMIT ?1", {Limit(kWindowRows)}, kWindowRows,
                         rows);
    }

    const auto remaining = [&] { return kWindowRows - rows.size(); };
    // Rows sharing the key, beyond the given row.
    if (!FetchInto(m_strSelect + " WHERE " + strColumn + " IS ?1 AND rowid " +
                       (bForward ? ">" : "<") + " ?2 ORDER BY rowid " + pszRowIdOrder + " LIMIT ?3",
                   {pFrom->key, AdoVariant::Int64(pFrom->nRowId), Limit(remaining())}, remaining(),
                   rows)) {
        return false;
    }
    // Then the values beyond the key. NULL sorts below every value, so the
    // NULL rows follow the values on a descending walk and precede them on
    // an ascending one.
    const bool bKeyNull = pFrom->key.IsNull();
    if (!bKeyNull && remaining() > 0 &&
        !FetchInto(m_strSelect + " WHERE " + strColumn + (bWalkDescending ? " < ?1" : " > ?1") +
                       strOrder + " LIMIT ?2",
                   {pFrom->key, Limit(remaining())}, remaining(), rows)) {
        return false;
    }
    if (!bKeyNull && bWalkDescending && remaining() > 0) {
        return FetchInto(m_strSelect + " WHERE " + strColumn + " IS NULL ORDER BY rowid " +
                             pszRowIdOrder + " LIMIT ?1",
                         {Limit(remaining())}, remaining(), rows);
    }
    if (bKeyNull && !bWalkDescending && remaining() > 0) {
        return FetchInto(
            m_strSelect + " WHERE " + strColumn + " IS NOT NULL" + strOrder + " LIMIT ?1",
            {Limit(remaining())}, remaining(), rows);
    }
    return true;
}

bool CAdoRecordSet::ReadRowById(int64_t nRowId, Row& row) {
    std::vector<Row> rows;
    if (!FetchInto(m_strSelect + " WHERE rowid = ?1", {AdoVariant::Int64(nRowId)}, 1, rows) ||
        rows.empty()) {
        return false;
    }
    row = std::move(rows.front());
    return true;
}

void CAdoRecordSet::SetWindow(std::vector<Row> rows, bool bForward) {
    if (!bForward) {
        std::reverse(rows.begin(), rows.end());
    }
    m_window = std::move(rows);
    m_nWindowIndex = bForward ? 0 : m_window.size() - 1;
    m_position = Position::kRow;
}

bool CAdoRecordSet::StepResult(const char* pszOperation) {
    const int rc = sqlite3_step(m_statement.get());
    if (rc == SQLITE_ROW) {
        m_position = Position::kRow;
        ++m_nResultRow;
        return true;
    }
    m_position = m_nResultRow == 0 ? Position::kEmpty : Position::kEOF;
    if (rc == SQLITE_DONE) {
        return true;
    }
    m_pConnection->RecordError(pszOperation);
    return false;
}

bool CAdoRecordSet::RestartResult(const char* pszOperation) {
    if (!m_statement) {
        m_position = Position::kEmpty;
        return true;
    }
    sqlite3_reset(m_statement.get());
    m_nResultRow = 0;
    return StepResult(pszOperation);
}

bool CAdoRecordSet::FlushPending() {
    return (m_bAdding || !m_pending.empty()) ? Update() : true;
}

bool CAdoRecordSet::MoveFirst() {
    if (!CheckOpen("MoveFirst")) {
        return false;
    }
    FlushPending();
    if (m_mode == Mode::kResult) {
        return RestartResult("MoveFirst");
    }
    std::vector<Row> rows;
    if (!FetchWindow(nullptr, true, rows)) {
        return false;
    }
    if (rows.empty()) {
        m_window.clear();
        m_position = Position::kEmpty;
        return true;
    }
    SetWindow(std::move(rows), true);
    return true;
}

bool CAdoRecordSet::MoveLast() {
    if (!CheckOpen("MoveLast")) {
        return false;
    }
    if (m_mode == Mode::kResult) {
        Trace("MoveLast", "a query result only moves forward");
        return false;
    }
    FlushPending();
    std::vector<Row> rows;
    if (!FetchWindow(nullptr, false, rows)) {
        return false;
    }
    if (rows.empty()) {
        m_window.clear();
        m_position = Position::kEmpty;
        return true;
    }
    SetWindow(std::move(rows), false);
    return true;
}

bool CAdoRecordSet::MoveNext() {
    if (!CheckOpen("MoveNext")) {
        return false;
    }
    if (m_position == Position::kEOF || m_position == Position::kEmpty) {
        Trace("MoveNext", "the cursor is after its last row");
        return false;
    }
    FlushPending();
    if (m_mode == Mode::kResult) {
        return StepResult("MoveNext");
    }
    if (m_position == Position::kBOF) {
        return MoveFirst();
    }
    if (m_nWindowIndex + 1 < m_window.size()) {
        ++m_nWindowIndex;
        return true;
    }
    std::vector<Row> rows;
    if (!FetchWindow(&m_window.back(), true, rows)) {
        return false;
    }
    if (rows.empty()) {
        m_position = Position::kEOF;
        return true;
    }
    SetWindow(std::move(rows), true);
    return true;
}

bool CAdoRecordSet::MovePrevious() {
    if (!CheckOpen("MovePrevious")) {
        return false;
    }
    if (m_mode == Mode::kResult) {
        Trace("MovePrevious", "a query result only moves forward");
        return false;
    }
    if (m_position == Position::kBOF || m_position == Position::kEmpty) {
        Trace("MovePrevious", "the cursor is before its first row");
        return false;
    }
    FlushPending();
    if (m_position == Position::kEOF) {
        return MoveLast();
    }
    if (m_nWindowIndex > 0) {
        --m_nWindowIndex;
        return true;
    }
    std::vector<Row> rows;
    if (!FetchWindow(&m_window.front(), false, rows)) {
        return false;
    }
    if (rows.empty()) {
        m_position = Position::kBOF;
        return true;
    }
    SetWindow(std::move(rows), false);
    return true;
}

bool CAdoRecordSet::MoveToPosition(int64_t nPosition) {
    if (!CheckOpen("MoveToPosition")) {
        return false;
    }
    if (m_mode != Mode::kTable) {
        Trace("MoveToPosition", "a query result only moves forward");
        return false;
    }
    if (nPosition <= 0) {
        return MoveFirst();
    }
    FlushPending();
    std::string strOrder = " ORDER BY rowid ASC";
    if (m_nSortColumn >= 0) {
        strOrder = " ORDER BY " +
                   QuoteIdentifier(m_columnNames[static_cast<size_t>(m_nSortColumn)]) +
                   (m_bSortDescending ? " DESC" : " ASC") + ", rowid ASC";
    }
    AdoStatement statement = m_pConnection->Prepare(
        "SELECT rowid FROM " + QuoteIdentifier(m_strTable) + strOrder + " LIMIT 1 OFFSET ?1",
        "MoveToPosition");
    if (!statement) {
        return false;
    }
    if (!ado_detail::BindParams(statement.get(), {AdoVariant::Int64(nPosition)})) {
        m_pConnection->RecordError("MoveToPosition");
        return false;
    }
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) {
        // Where MoveNext leaves the cursor after the last row.
        if (!MoveLast()) {
            return false;
        }
        if (m_position == Position::kRow) {
            m_position = Position::kEOF;
        }
        return true;
    }
    if (rc != SQLITE_ROW) {
        m_pConnection->RecordError("MoveToPosition");
        return false;
    }
    Row row;
    if (!ReadRowById(sqlite3_column_int64(statement.get(), 0), row)) {
        return false;
    }
    std::vector<Row> rows;
    rows.push_back(std::move(row));
    SetWindow(std::move(rows), true);
    return true;
}

int64_t CAdoRecordSet::GetRecordCount() {
    if (!CheckOpen("GetRecordCount")) {
        return -1;
    }
    if (m_mode == Mode::kTable) {
        AdoStatement statement = m_pConnection->Prepare(
            "SELECT count(*) FROM " + QuoteIdentifier(m_strTable), "GetRecordCount");
        if (!statement) {
            return -1;
        }
        if (sqlite3_step(statement.get()) != SQLITE_ROW) {
            m_pConnection->RecordError("GetRecordCount");
            return -1;
        }
        return sqlite3_column_int64(statement.get(), 0);
    }
    // A query result can only be counted by walking it; the walk starts over
    // and then returns to the row the cursor stood on.
    const bool bAtEnd = m_position != Position::kRow;
    const int64_t nRow = m_nResultRow;
    if (!RestartResult("GetRecordCount")) {
        return -1;
    }
    while (m_position == Position::kRow) {
        if (!StepResult("GetRecordCount")) {
            return -1;
        }
    }
    const int64_t nCount = m_nResultRow;
    if (!RestartResult("GetRecordCount")) {
        return -1;
    }
    while (m_position == Position::kRow && (bAtEnd || m_nResultRow < nRow)) {
        if (!StepResult("GetRecordCount")) {
            return -1;
        }
    }
    return nCount;
}

bool CAdoRecordSet::SetSort(const std::string& strSort) {
    if (!CheckOpen("SetSort")) {
        return false;
    }
    if (m_mode != Mode::kTable) {
        Trace("SetSort", "only a table cursor can be sorted");
        return false;
    }
    std::istringstream words(strSort);
    std::string strColumn;
    std::string strDirection;
    std::string strExtra;
    words >> strColumn >> strDirection >> strExtra;
    int nColumn = -1;
    bool bDescending = false;
    if (!strColumn.empty()) {
        nColumn = ColumnIndex(strColumn);
        const bool bValidDirection = strDirection.empty() ||
                                     strcasecmp(strDirection.c_str(), "ASC") == 0 ||
                                     strcasecmp(strDirection.c_str(), "DESC") == 0;
        if (nColumn < 0 || !bValidDirection || !strExtra.empty()) {
            Trace("SetSort", "cannot sort by \"" + strSort + "\"");
            return false;
        }
        bDescending = strcasecmp(strDirection.c_str(), "DESC") == 0;
    }
    FlushPending();
    m_nSortColumn = nColumn;
    m_bSortDescending = bDescending;
    return MoveFirst();
}

bool CAdoRecordSet::AddNew() {
    if (!CheckOpen("AddNew")) {
        return false;
    }
    if (m_mode != Mode::kTable) {
        Trace("AddNew", "a query result cannot be written");
        return false;
    }
    FlushPending();
    m_bAdding = true;
    m_pending.clear();
    return true;
}

void CAdoRecordSet::CancelUpdate() {
    m_bAdding = false;
    m_pending.clear();
}

bool CAdoRecordSet::RunWrite(const std::string& strSql, const std::vector<AdoVariant>& params,
                             const char* pszOperation) {
    AdoStatement statement = m_pConnection->Prepare(strSql, pszOperation);
    if (!statement) {
        return false;
    }
    if (!ado_detail::BindParams(statement.get(), params) ||
        sqlite3_step(statement.get()) != SQLITE_DONE) {
        m_pConnection->RecordError(pszOperation);
        return false;
    }
    return true;
}

bool CAdoRecordSet::Update() {
    if (!CheckOpen("Update")) {
        CancelUpdate();
        return false;
    }
    if (!m_bAdding && m_pending.empty()) {
        return true;
    }
    std::vector<AdoVariant> params;
    std::string strSql;
    const std::string strTable = QuoteIdentifier(m_strTable);
    if (m_bAdding) {
        std::string strColumns;
        std::string strValues;
        for (const auto& [nColumn, value] : m_pending) {
            strColumns += (strColumns.empty() ? "" : ", ") +
                          QuoteIdentifier(m_columnNames[static_cast<size_t>(nColumn)]);
            strValues += strValues.empty() ? "?" : ", ?";
            params.push_back(value);
        }
        strSql = m_pending.empty() ? "INSERT INTO " + strTable + " DEFAULT VALUES"
                                   : "INSERT INTO " + strTable + " (" + strColumns + ") VALUES (" +
                                         strValues + ")";
    } else {
        strSql = "UPDATE " + strTable + " SET ";
        for (const auto& [nColumn, value] : m_pending) {
            strSql += (params.empty() ? "" : ", ") +
                      QuoteIdentifier(m_columnNames[static_cast<size_t>(nColumn)]) + " = ?";
            params.push_back(value);
        }
        strSql += " WHERE rowid = ?";
        params.push_back(AdoVariant::Int64(m_window[m_nWindowIndex].nRowId));
    }
    const bool bAdding = m_bAdding;
    // The pending change is gone whatever the outcome: a refused row must not
    // be written again by the next move.
    CancelUpdate();
    if (!RunWrite(strSql, params, "Update")) {
        return false;
    }
    if (bAdding) {
        RecordBookmark added;
        added.nRowId = sqlite3_last_insert_rowid(m_pConnection->m_pDb.get());
        return SetBookmark(added);
    }
    Row fresh;
    if (ReadRowById(m_window[m_nWindowIndex].nRowId, fresh)) {
        // The key stays as read: the window's neighbours were found by it.
        m_window[m_nWindowIndex].values = std::move(fresh.values);
    }
    return true;
}

bool CAdoRecordSet::PutCollect(const std::string& strColumn, const std::string& strValue) {
    return PutCollect(strColumn, AdoVariant::Text(strValue));
}

bool CAdoRecordSet::PutCollect(const std::string& strColumn, int16_t nValue) {
    return PutCollect(strColumn, AdoVariant::Int16(nValue));
}

bool CAdoRecordSet::PutCollect(const std::string& strColumn, int32_t nValue) {
    return PutCollect(strColumn, AdoVariant::Int32(nValue));
}

bool CAdoRecordSet::PutCollect(const std::string& strColumn, uint8_t nValue) {
    return PutCollect(strColumn, AdoVariant::Byte(nValue));
}

bool CAdoRecordSet::PutCollect(const std::string& strColumn, OleDate dtValue) {
    return PutCollect(strColumn, AdoVariant::Date(dtValue));
}

bool CAdoRecordSet::PutCollect(const std::string& strColumn, const AdoVariant& value) {
    if (!CheckOpen("PutCollect")) {
        return false;
    }
    if (m_mode != Mode::kTable) {
        Trace("PutCollect", "a query result cannot be written");
        return false;
    }
    if (!m_bAdding && m_position != Position::kRow) {
        Trace("PutCollect", "no current row");
        return false;
    }
    const int nColumn = ColumnIndex(strColumn);
    if (nColumn < 0) {
        Trace("PutCollect", "no column " + strColumn);
        return false;
    }
    for (auto& [nPending, pending] : m_pending) {
        if (nPending == nColumn) {
            pending = value;
            return true;
        }
    }
    m_pending.emplace_back(nColumn, value);
    return true;
}

const AdoVariant* CAdoRecordSet::CurrentValue(const std::string& strColumn,
                                              const char* pszOperation,
                                              std::source_location where) {
    if (!CheckOpen(pszOperation, where)) {
        return nullptr;
    }
    if (m_position != Position::kRow) {
        Trace(pszOperation, "no current row", where);
        return nullptr;
    }
    const int nColumn = ColumnIndex(strColumn);
    if (nColumn < 0) {
        Trace(pszOperation, "no column " + strColumn, where);
        return nullptr;
    }
    if (m_mode == Mode::kTable) {
        return &m_window[m_nWindowIndex].values[static_cast<size_t>(nColumn)];
    }
    m_resultValue = ado_detail::ReadColumn(m_statement.get(), nColumn,
                                           m_columnKinds[static_cast<size_t>(nColumn)]);
    return &m_resultValue;
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, OleDate& dtValue) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(date)");
    return pValue != nullptr && VariantToDate(*pValue, dtValue);
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, bool& bValue) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(bool)");
    return pValue != nullptr && VariantToBool(*pValue, bValue);
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, uint8_t& nValue) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(byte)");
    return pValue != nullptr && VariantToByte(*pValue, nValue);
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, int16_t& nValue) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(short)");
    return pValue != nullptr && VariantToInt16(*pValue, nValue);
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, int32_t& nValue) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(long)");
    return pValue != nullptr && VariantToInt32(*pValue, nValue);
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, double& dValue) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(double)");
    return pValue != nullptr && VariantToReal(*pValue, dValue);
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, uint32_t& nValue) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(dword)");
    if (pValue == nullptr) {
        return false;
    }
    if (!VariantToUInt32(*pValue, nValue)) {
        Trace("GetValue(dword)", "column " + strColumn + " holds no 32-bit integer");
        return false;
    }
    return true;
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, std::string& strValue) {
    if (!IsOpen()) {
        ado_detail::ShowMessage(kLostConnectionText, kLostConnectionCaption);
        return false;
    }
    if (m_position == Position::kEOF || m_position == Position::kEmpty) {
        return false;
    }
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue(text)");
    if (pValue == nullptr) {
        return false;
    }
    strValue = VariantToText(*pValue);
    return true;
}

bool CAdoRecordSet::GetValue(const std::string& strColumn, AdoVariant& value) {
    const AdoVariant* pValue = CurrentValue(strColumn, "GetValue");
    if (pValue == nullptr) {
        return false;
    }
    value = *pValue;
    return true;
}

bool CAdoRecordSet::GetBookmark(RecordBookmark& bookmark) {
    if (!CheckOpen("GetBookmark")) {
        return false;
    }
    if (m_mode != Mode::kTable || m_position != Position::kRow) {
        Trace("GetBookmark", "no current table row");
        return false;
    }
    bookmark = RecordBookmark{};
    bookmark.nRowId = m_window[m_nWindowIndex].nRowId;
    return true;
}

bool CAdoRecordSet::SetBookmark(RecordBookmark bookmark) {
    if (!CheckOpen("SetBookmark")) {
        return false;
    }
    if (m_mode != Mode::kTable) {
        Trace("SetBookmark", "a query result has no bookmarks");
        return false;
    }
    FlushPending();
    Row row;
    if (!ReadRowById(bookmark.nRowId, row)) {
        Trace("SetBookmark", "the row is gone");
        return false;
    }
    std::vector<Row> rows;
    rows.push_back(std::move(row));
    SetWindow(std::move(rows), true);
    return true;
}
