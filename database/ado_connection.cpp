#include "ado_connection.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "ado_internal.h"

namespace {

// Never destroyed: tables destroyed after the program's other statics may
// still trace.
AdoTraceSink& TraceSink() {
    static AdoTraceSink* const pSink = new AdoTraceSink;
    return *pSink;
}

AdoMessageHandler& MessageHandler() {
    static AdoMessageHandler* const pHandler = new AdoMessageHandler;
    return *pHandler;
}

// Enough for every cursor of a full category tree; beyond it the idle
// statements are dropped so arbitrary texts cannot grow the cache forever.
constexpr size_t kMaxCachedStatements = 512;

bool OnlySeparatorsLeft(const char* pszTail) {
    for (; pszTail != nullptr && *pszTail != '\0'; ++pszTail) {
        if (!std::isspace(static_cast<unsigned char>(*pszTail)) && *pszTail != ';') {
            return false;
        }
    }
    return true;
}

}  // namespace

void SetAdoTraceSink(AdoTraceSink sink) {
    TraceSink() = std::move(sink);
}

void SetAdoMessageHandler(AdoMessageHandler handler) {
    MessageHandler() = std::move(handler);
}

namespace ado_detail {

void Trace(const char* pszOperation, const std::string& strMessage, std::source_location where) {
    char line[160];
    std::snprintf(line, sizeof line, "; file: %s; line: %u\n", where.file_name(),
                  static_cast<unsigned>(where.line()));
    const std::string strLine =
        std::string("Warning: ") + pszOperation + " failed. Error: " + strMessage + line;
    if (TraceSink()) {
        TraceSink()(strLine);
        return;
    }
    std::fputs(strLine.c_str(), stderr);
}

void ShowMessage(const std::string& strText, const std::string& strCaption) {
    if (MessageHandler()) {
        MessageHandler()(strText, strCaption);
    }
}

bool BindParams(sqlite3_stmt* pStmt, const std::vector<AdoVariant>& params) {
    int nIndex = 0;
    for (const AdoVariant& value : params) {
        ++nIndex;
        int rc = SQLITE_OK;
        switch (value.vt) {
            case kVtEmpty:
            case kVtNull:
                rc = sqlite3_bind_null(pStmt, nIndex);
                break;
            case kVtI2:
            case kVtI4:
            case kVtBool:
            case kVtI1:
            case kVtUI1:
            case kVtUI2:
            case kVtUI4:
            case kVtI8:
            case kVtUI8:
            case kVtInt:
            case kVtUInt:
                rc = sqlite3_bind_int64(pStmt, nIndex, value.nValue);
                break;
            case kVtR4:
            case kVtR8:
            case kVtDate:
            case kVtDecimal:
                rc = sqlite3_bind_double(pStmt, nIndex, value.dValue);
                break;
            case kVtBstr:
            case kVtLpstr:
            case kVtLpwstr:
                // Copied: a query's rows are read after the caller's values are gone.
                rc = sqlite3_bind_text64(pStmt, nIndex, value.strValue.data(),
                                         value.strValue.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            case kVtBlob:
            case kVtBlobObject:
            case kVtArrayUI1:
                rc = sqlite3_bind_blob64(pStmt, nIndex, value.strValue.data(),
                                         value.strValue.size(), SQLITE_TRANSIENT);
                break;
            default:
                return false;
        }
        if (rc != SQLITE_OK) {
            return false;
        }
    }
    return true;
}

ColumnKind KindOfDeclaredType(const char* pszDeclType) {
    if (pszDeclType == nullptr) {
        return ColumnKind::kPlain;
    }
    std::string strType(pszDeclType);
    std::transform(strType.begin(), strType.end(), strType.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto has = [&](const char* pszPart) {
        return strType.find(pszPart) != std::string::npos;
    };
    if (has("DATE") || has("TIME")) {
        return ColumnKind::kDate;
    }
    if (has("BOOL") || has("YESNO") || strType == "BIT") {
        return ColumnKind::kBool;
    }
    if (has("TINYINT")) {
        return ColumnKind::kByte;
    }
    if (has("SMALLINT")) {
        return ColumnKind::kInt16;
    }
    return ColumnKind::kPlain;
}

AdoVariant ReadColumn(sqlite3_stmt* pStmt, int nColumn, ColumnKind kind) {
    AdoVariant value;
    switch (sqlite3_column_type(pStmt, nColumn)) {
        case SQLITE_INTEGER: {
            const int64_t n = sqlite3_column_int64(pStmt, nColumn);
            if (kind == ColumnKind::kDate) {
                value.vt = kVtDate;
                value.dValue = static_cast<double>(n);
            } else if (kind == ColumnKind::kBool) {
                value = AdoVariant::Bool(n != 0);
            } else if (kind == ColumnKind::kByte && n >= 0 && n <= UINT8_MAX) {
                value = AdoVariant::Byte(static_cast<uint8_t>(n));
            } else if (kind == ColumnKind::kInt16 && n >= INT16_MIN && n <= INT16_MAX) {
                value = AdoVariant::Int16(static_cast<int16_t>(n));
            } else if (n >= INT32_MIN && n <= INT32_MAX) {
                value = AdoVariant::Int32(static_cast<int32_t>(n));
            } else {
                value = AdoVariant::Int64(n);
            }
            break;
        }
        case SQLITE_FLOAT:
            value.vt = kind == ColumnKind::kDate ? kVtDate : kVtR8;
            value.dValue = sqlite3_column_double(pStmt, nColumn);
            break;
        case SQLITE_TEXT: {
            const auto* pText = reinterpret_cast<const char*>(sqlite3_column_text(pStmt, nColumn));
            value.vt = kVtBstr;
            value.strValue.assign(pText != nullptr ? pText : "",
                                  static_cast<size_t>(sqlite3_column_bytes(pStmt, nColumn)));
            break;
        }
        case SQLITE_BLOB: {
            const auto* pBytes = static_cast<const char*>(sqlite3_column_blob(pStmt, nColumn));
            value.vt = kVtBlob;
            if (pBytes != nullptr) {
                value.strValue.assign(pBytes,
                                      static_cast<size_t>(sqlite3_column_bytes(pStmt, nColumn)));
            }
            break;
        }
        default:
            value.vt = kVtNull;
    }
    return value;
}

std::string QuoteIdentifier(const std::string& strName) {
    std::string strQuoted = "\"";
    for (char c : strName) {
        strQuoted += c;
        if (c == '"') {
            strQuoted += '"';
        }
    }
    strQuoted += '"';
    return strQuoted;
}

}  // namespace ado_detail

AdoStatement::AdoStatement(std::shared_ptr<ado_detail::StatementEntry> entry)
    : m_entry(std::move(entry)) {}

AdoStatement& AdoStatement::operator=(AdoStatement&& other) noexcept {
    if (this != &other) {
        Release();
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

AdoStatement::~AdoStatement() {
    Release();
}

sqlite3_stmt* AdoStatement::get() const {
    return m_entry ? m_entry->pStmt : nullptr;
}

void AdoStatement::Release() {
    if (!m_entry) {
        return;
    }
    sqlite3_reset(m_entry->pStmt);
    sqlite3_clear_bindings(m_entry->pStmt);
    m_entry->bLent = false;
    m_entry.reset();
}

void CAdoConnection::DatabaseCloser::operator()(sqlite3* pDb) const {
    // The _v2 form waits for statements still lent out to be finalized.
    sqlite3_close_v2(pDb);
}

CAdoConnection::CAdoConnection() = default;

CAdoConnection::~CAdoConnection() {
    Close();
}

bool CAdoConnection::Open(const std::string& strConnect, int /*nOptions*/) {
    if (!strConnect.empty()) {
        m_strConnect = strConnect;
    }
    if (m_strConnect.empty()) {
        ado_detail::Trace("Open", "no database file given");
        return false;
    }
    Close();

    sqlite3* pRaw = nullptr;
    // A connection belongs to one thread: SQLite's own locking of it would
    // only cost time.
    const int rc = sqlite3_open_v2(m_strConnect.c_str(), &pRaw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    // Owned at once: SQLite hands out a handle even when opening fails.
    std::unique_ptr<sqlite3, DatabaseCloser> pDb(pRaw);
    if (pDb) {
        sqlite3_extended_result_codes(pDb.get(), 1);
    }
    m_pDb = std::move(pDb);
    if (rc != SQLITE_OK) {
        RecordError("Open");
        ado_detail::Trace("Open", GetLastErrorText() + "\r\n");
        m_pDb.reset();
        return false;
    }
    sqlite3_busy_timeout(m_pDb.get(), kBusyTimeoutMs);
    // The first statement reads the file header, so a file that is not a
    // database fails here rather than at the first cursor.
    const std::source_location where = std::source_location::current();
    if (!RunSimple("PRAGMA journal_mode=WAL", "Open", where) ||
        !RunSimple("PRAGMA synchronous=NORMAL", "Open", where) ||
        !RunSimple("PRAGMA cache_size=-16384", "Open", where)) {
        ado_detail::Trace("Open", GetLastErrorText() + "\r\n");
        m_statements.clear();
        m_pDb.reset();
        return false;
    }
    return true;
}

void CAdoConnection::Close() {
    if (!m_pDb) {
        return;
    }
    m_statements.clear();
    m_pDb.reset();
    ++m_nGeneration;
}

bool CAdoConnection::IsOpen() const {
    return static_cast<bool>(m_pDb);
}

AdoResult CAdoConnection::Execute(const std::string& strSql, const std::vector<AdoVariant>& params,
                                  int nOptions) {
    AdoResult result;
    result.m_pOwner = this;
    result.m_nGeneration = m_nGeneration;
    if (!m_pDb) {
        ado_detail::Trace("Execute", "the connection is not open");
        return result;
    }
    if (nOptions != kAdoCmdText) {
        ado_detail::Trace("Execute", "only text commands are supported");
        return result;
    }
    AdoStatement statement = Prepare(strSql, "Execute");
    if (!statement) {
        return result;
    }
    if (!ado_detail::BindParams(statement.get(), params)) {
        RecordError("Execute");
        return result;
    }
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) {
        result.m_bOk = true;
        result.m_statement = std::move(statement);
        return result;
    }
    if (rc != SQLITE_DONE) {
        RecordError("Execute");
        return result;
    }
    result.m_bOk = true;
    result.m_nChanges = sqlite3_changes64(m_pDb.get());
    return result;
}

bool CAdoConnection::BeginTrans() {
    if (!m_pDb) {
        ado_detail::Trace("BeginTrans", "the connection is not open");
        return false;
    }
    // IMMEDIATE takes the write lock now: a deferred transaction that later
    // needs it could fail with "database is locked" halfway through.
    return RunSimple("BEGIN IMMEDIATE", "BeginTrans", std::source_location::current());
}

bool CAdoConnection::CommitTrans() {
    if (!m_pDb) {
        ado_detail::Trace("CommitTrans", "the connection is not open");
        return false;
    }
    if (RunSimple("COMMIT", "CommitTrans", std::source_location::current())) {
        return true;
    }
    // A transaction left open would silently swallow every later statement.
    if (!sqlite3_get_autocommit(m_pDb.get())) {
        RunSimple("ROLLBACK", "CommitTrans", std::source_location::current());
    }
    return false;
}

bool CAdoConnection::RollbackTrans() {
    if (!m_pDb) {
        ado_detail::Trace("RollbackTrans", "the connection is not open");
        return false;
    }
    return RunSimple("ROLLBACK", "RollbackTrans", std::source_location::current());
}

bool CAdoConnection::IsInTransaction() const {
    return m_pDb && sqlite3_get_autocommit(m_pDb.get()) == 0;
}

std::string CAdoConnection::GetLastErrorText() const {
    if (m_strLastError.empty()) {
        return {};
    }
    char codes[64];
    std::snprintf(codes, sizeof codes, "\r\nState: %d, Native: %d, Source: ", m_nLastCode,
                  m_nLastExtendedCode);
    return "Description: " + m_strLastError + codes + m_strConnect + "\r\n";
}

std::optional<int64_t> CAdoConnection::GetDataVersion() {
    AdoStatement statement = Prepare("PRAGMA data_version", "GetDataVersion");
    if (!statement) {
        return std::nullopt;
    }
    if (sqlite3_step(statement.get()) != SQLITE_ROW) {
        RecordError("GetDataVersion");
        return std::nullopt;
    }
    return sqlite3_column_int64(statement.get(), 0);
}

bool CAdoConnection::SetAutoCheckpoint(int nPages) {
    if (!m_pDb) {
        ado_detail::Trace("SetAutoCheckpoint", "the connection is not open");
        return false;
    }
    if (sqlite3_wal_autocheckpoint(m_pDb.get(), nPages) != SQLITE_OK) {
        RecordError("SetAutoCheckpoint");
        return false;
    }
    return true;
}

bool CAdoConnection::CheckpointPassive() {
    if (!m_pDb) {
        ado_detail::Trace("CheckpointPassive", "the connection is not open");
        return false;
    }
    if (sqlite3_wal_checkpoint_v2(m_pDb.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                  nullptr) != SQLITE_OK) {
        RecordError("CheckpointPassive");
        return false;
    }
    return true;
}

int64_t CAdoConnection::TotalChanges() const {
    return m_pDb ? sqlite3_total_changes64(m_pDb.get()) : 0;
}

AdoStatement CAdoConnection::Prepare(const std::string& strSql, const char* pszOperation,
                                     std::source_location where) {
    if (!m_pDb) {
        ado_detail::Trace(pszOperation, "the connection is not open", where);
        return {};
    }
    const auto found = m_statements.find(strSql);
    if (found != m_statements.end() && !found->second->bLent) {
        found->second->bLent = true;
        return AdoStatement(found->second);
    }
    sqlite3_stmt* pStmt = nullptr;
    const char* pszTail = nullptr;
    const int rc = sqlite3_prepare_v3(m_pDb.get(), strSql.c_str(), static_cast<int>(strSql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &pStmt, &pszTail);
    auto entry = std::make_shared<ado_detail::StatementEntry>();
    entry->pStmt = pStmt;
    if (rc != SQLITE_OK) {
        RecordError(pszOperation, where);
        return {};
    }
    if (pStmt == nullptr || !OnlySeparatorsLeft(pszTail)) {
        ado_detail::Trace(pszOperation, "exactly one statement is expected: " + strSql, where);
        return {};
    }
    entry->bLent = true;
    if (found == m_statements.end()) {
        if (m_statements.size() >= kMaxCachedStatements) {
            std::erase_if(m_statements, [](const auto& item) { return !item.second->bLent; });
        }
        m_statements.emplace(strSql, entry);
    }
    return AdoStatement(std::move(entry));
}

void CAdoConnection::RecordError(const char* pszOperation, std::source_location where) {
    if (m_pDb) {
        m_strLastError = sqlite3_errmsg(m_pDb.get());
        m_nLastCode = sqlite3_errcode(m_pDb.get());
        m_nLastExtendedCode = sqlite3_extended_errcode(m_pDb.get());
    } else {
        m_strLastError = "out of memory";
        m_nLastCode = SQLITE_NOMEM;
        m_nLastExtendedCode = SQLITE_NOMEM;
    }
    ado_detail::Trace(pszOperation, m_strLastError, where);
}

bool CAdoConnection::RunSimple(const char* pszSql, const char* pszOperation,
                               std::source_location where) {
    AdoStatement statement = Prepare(pszSql, pszOperation, where);
    if (!statement) {
        return false;
    }
    int rc = sqlite3_step(statement.get());
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(statement.get());
    }
    if (rc != SQLITE_DONE) {
        RecordError(pszOperation, where);
        return false;
    }
    return true;
}
