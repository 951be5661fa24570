// Pieces shared by the access layer's modules; not part of its interface.
#pragma once

#include <sqlite3.h>

#include <source_location>
#include <string>
#include <vector>

#include "ado_variant.h"

namespace ado_detail {

struct StatementEntry {
    sqlite3_stmt* pStmt = nullptr;
    bool bLent = false;

    StatementEntry() = default;
    StatementEntry(const StatementEntry&) = delete;
    StatementEntry& operator=(const StatementEntry&) = delete;
    ~StatementEntry() { sqlite3_finalize(pStmt); }
};

// Writes "Warning: <operation> failed. Error: <message>; file: <f>; line: <n>".
void Trace(const char* pszOperation, const std::string& strMessage,
           std::source_location where = std::source_location::current());

// Hands the layer's one user message to the installed handler, if any.
void ShowMessage(const std::string& strText, const std::string& strCaption);

// Binds the values to ?1..?n; false (nothing traced) when SQLite refuses.
bool BindParams(sqlite3_stmt* pStmt, const std::vector<AdoVariant>& params);

// How a column's declared type shapes the type code of its values.
enum class ColumnKind { kPlain, kDate, kBool, kByte, kInt16 };
ColumnKind KindOfDeclaredType(const char* pszDeclType);

// The value of one result column, typed by its storage class and kind.
AdoVariant ReadColumn(sqlite3_stmt* pStmt, int nColumn, ColumnKind kind);

// A double-quoted SQL identifier.
std::string QuoteIdentifier(const std::string& strName);

}  // namespace ado_detail
