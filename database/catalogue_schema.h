// The catalogue's schema: the statements that make a leaf table and its
// indexes, shared by catalogue creation, the upgrade of older catalogues and
// the store's bulk delete.
//
// Per leaf table <t>:
//  - <t> with the sixteen catalogue columns;
//  - <t>_AddDate, the date index the table cursor seeks on;
//  - <t>_Entry on (DllID, AddDate), which makes "is this entry stored
//    already" one lookup;
//  - <t>_fts, an external-content FTS5 trigram index on Name;
//  - triggers <t>_ins, <t>_del and <t>_upd that keep <t>_fts and the
//    table's row in catalogue_counts in step with every write.
// The store works on a table without any of the indexes, only slower.
#pragma once

#include <string>
#include <vector>

namespace catalogue_schema {

// Kept in the file's user_version. Version 0 is a file made before versions
// were kept, read as version 1.
inline constexpr int kSchemaVersion = 3;
inline constexpr const char kCountsTable[] = "catalogue_counts";

// The columns in table order.
inline constexpr const char* kColumns[] = {
    "AddDate",     "Name",  "Addr0", "Addr1",   "Addr2",      "Addr3",    "WebAddr", "Type", "Size",
    "RefreshDate", "Seeds", "Peers", "Comment", "bCompleted", "FileName", "DownHd",  "DllID"};

std::string SearchIndexName(const std::string& strTable);
std::string CreateEntryIndex(const std::string& strTable);
std::string DeleteTriggerName(const std::string& strTable);
// The search index's merge settings (see the definition).
std::vector<std::string> SearchIndexSettings(const std::string& strTable);

// Every statement that brings one table up to the schema; each is a no-op
// for what already exists, except the row count, which is taken afresh.
// Returns the statements that must run only when the search index is new
// (filling it from the rows) separately in strFillSearchIndex.
std::vector<std::string> TableStatements(const std::string& strTable,
                                         std::string& strFillSearchIndex);
std::string CreateCountsTable();
std::string CreateDeleteTrigger(const std::string& strTable);

// One step of the upgrade: the statements that bring one table of a
// catalogue at version nToVersion - 1 to nToVersion. Each step runs in one
// transaction over every table; none of them drops or rewrites a row.
struct Migration {
    int nToVersion;
    std::vector<std::string> (*tableStatements)(const std::string& strTable, bool bHasSearchIndex);
};
// In ascending order of version, the last reaching kSchemaVersion.
const std::vector<Migration>& Migrations();

}  // namespace catalogue_schema
