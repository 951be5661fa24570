#include "catalogue_schema.h"

#include "ado_internal.h"

namespace catalogue_schema {

namespace {

using ado_detail::QuoteIdentifier;

// Dates are declared as dates (the access layer reads their numbers as date
// values) with REAL affinity, so OLE day numbers are kept as reals.
const char kColumnDefinitions[] =
    "\"AddDate\" DATETIME REAL, \"Name\" TEXT, \"Addr0\" TEXT, \"Addr1\" TEXT, "
    "\"Addr2\" TEXT, \"Addr3\" TEXT, \"WebAddr\" TEXT, \"Type\" SMALLINT, \"Size\" TEXT, "
    "\"RefreshDate\" DATETIME REAL, \"Seeds\" INTEGER, \"Peers\" INTEGER, \"Comment\" TEXT, "
    "\"bCompleted\" TINYINT, \"FileName\" TEXT, \"DownHd\" INTEGER DEFAULT 0, "
    "\"DllID\" SMALLINT";

// Table names are plain identifiers (checked by the callers), so they can
// stand in a string literal as they are.
std::string CountChange(const std::string& strTable, const char* pszChange) {
    return std::string("UPDATE ") + kCountsTable + " SET n = n " + pszChange + " WHERE tbl = '" +
           strTable + "';";
}

}  // namespace

std::string SearchIndexName(const std::string& strTable) {
    return strTable + "_fts";
}

std::string DeleteTriggerName(const std::string& strTable) {
    return strTable + "_del";
}

// Without Addr0: a plug-in lists few entries under one date, and long
// addresses in random order would make every insert and delete touch pages
// all over a large index.
std::string CreateEntryIndex(const std::string& strTable) {
    return "CREATE INDEX IF NOT EXISTS " + QuoteIdentifier(strTable + "_Entry") + " ON " +
           QuoteIdentifier(strTable) + " (\"DllID\", \"AddDate\")";
}

// Merging is left to MergeSearchIndexStep, which the front ends run between
// their polls: a merge inside a write would stall it by up to a second on a
// large leaf. A merge starts once a level holds sixteen segments (fewer,
// larger merges cost the writes least); should nobody merge, the write that
// makes the 64th segment of a level merges them itself.
std::vector<std::string> SearchIndexSettings(const std::string& strTable) {
    const std::string strFts = QuoteIdentifier(SearchIndexName(strTable));
    const std::string strSet = "INSERT INTO " + strFts + " (" + strFts + ", rank) VALUES ";
    return {strSet + "('automerge', 0)", strSet + "('usermerge', 16)",
            strSet + "('crisismerge', 64)"};
}

const std::vector<Migration>& Migrations() {
    static const std::vector<Migration> migrations = {
        {2, [](const std::string& strTable,
               bool) { return std::vector<std::string>{CreateEntryIndex(strTable)}; }},
        {3,
         [](const std::string& strTable, bool bHasSearchIndex) {
             return bHasSearchIndex ? SearchIndexSettings(strTable) : std::vector<std::string>{};
         }},
    };
    return migrations;
}

std::string CreateCountsTable() {
    return std::string("CREATE TABLE IF NOT EXISTS ") + kCountsTable +
           " (tbl TEXT PRIMARY KEY, n INTEGER NOT NULL) WITHOUT ROWID";
}

std::string CreateDeleteTrigger(const std::string& strTable) {
    const std::string strFts = QuoteIdentifier(SearchIndexName(strTable));
    return "CREATE TRIGGER IF NOT EXISTS " + QuoteIdentifier(DeleteTriggerName(strTable)) +
           " AFTER DELETE ON " + QuoteIdentifier(strTable) + " BEGIN INSERT INTO " + strFts + " (" +
           strFts + ", rowid, \"Name\") VALUES ('delete', old.rowid, old.\"Name\"); " +
           CountChange(strTable, "- 1") + " END";
}

std::vector<std::string> TableStatements(const std::string& strTable,
                                         std::string& strFillSearchIndex) {
    const std::string strName = QuoteIdentifier(strTable);
    const std::string strFts = QuoteIdentifier(SearchIndexName(strTable));
    const std::string strCounts = kCountsTable;
    strFillSearchIndex = "INSERT INTO " + strFts + " (" + strFts + ") VALUES ('rebuild')";
    std::vector<std::string> statements = {
        "CREATE TABLE IF NOT EXISTS " + strName + " (" + kColumnDefinitions + ")",
        // Descending, so that the index's own order (date descending, then
        // row id ascending) is the cursor's order.
        "CREATE INDEX IF NOT EXISTS " + QuoteIdentifier(strTable + "_AddDate") + " ON " + strName +
            " (\"AddDate\" DESC)",
        CreateEntryIndex(strTable),
        // Trigram matching folds case like LIKE does for ASCII (and further
        // for other scripts). The index only has to name candidate rows, which
        // the search re-checks with LIKE, so it keeps no positions and no
        // sizes: that halves what every insert writes.
        "CREATE VIRTUAL TABLE IF NOT EXISTS " + strFts + " USING fts5(\"Name\", content='" +
            strTable + "', tokenize='trigram case_sensitive 0', detail=none, columnsize=0)",
        "CREATE TRIGGER IF NOT EXISTS " + QuoteIdentifier(strTable + "_ins") + " AFTER INSERT ON " +
            strName + " BEGIN INSERT INTO " + strFts +
            " (rowid, \"Name\") VALUES (new.rowid, new.\"Name\"); " + CountChange(strTable, "+ 1") +
            " END",
        CreateDeleteTrigger(strTable),
        "CREATE TRIGGER IF NOT EXISTS " + QuoteIdentifier(strTable + "_upd") +
            " AFTER UPDATE OF \"Name\" ON " + strName + " BEGIN INSERT INTO " + strFts + " (" +
            strFts + ", rowid, \"Name\") VALUES ('delete', old.rowid, old.\"Name\"); INSERT INTO " +
            strFts + " (rowid, \"Name\") VALUES (new.rowid, new.\"Name\"); END",
        "INSERT OR REPLACE INTO " + strCounts + " (tbl, n) VALUES ('" + strTable +
            "', (SELECT count(*) FROM " + strName + "))",
    };
    for (std::string& strSetting : SearchIndexSettings(strTable)) {
        statements.push_back(std::move(strSetting));
    }
    return statements;
}

}  // namespace catalogue_schema
