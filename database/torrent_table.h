// CTorrentTable: one catalogue table (one category leaf) over the shared
// catalogue connection.
//
// Every leaf of the category tree owns one CTorrentTable. All tables share one
// connection to the catalogue file, made on first use and closed when the
// last table is destroyed. Only the GUI thread (or the CLI loop) calls these
// operations; nothing here locks.
//
// Failures are results, never exceptions: a missing or damaged catalogue
// makes Open/MoveFirst/ReadNext/ReadPrevious fail, Count answer 0,
// DeleteByDate answer false and a search find nothing. Every database error
// is written to the trace (see ado_connection.h), and LastError() keeps the
// last one for a caller that reports it.
//
// The connection reads the catalogue's schema version: a catalogue made by a
// newer program is refused, an older one is brought up to date in place,
// one transaction per step, keeping every row.
//
// The table's cursor yields rows newest first (AddDate descending, then the
// row id ascending for equal dates, so entries of one date keep the order in
// which they were appended). It keeps its position between calls, so
// the list view can page with ReadNext/ReadPrevious; it never loads the table
// into memory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ole_date.h"
#include "torrent_record.h"

class CAdoConnection;
class CAdoRecordSet;

class CTorrentTable {
  public:
    CTorrentTable();
    virtual ~CTorrentTable();
    CTorrentTable(const CTorrentTable&) = delete;
    CTorrentTable& operator=(const CTorrentTable&) = delete;

    // The catalogue file every table uses (normally <home>/kernel/websdata.db).
    // Takes effect at the next connection: call it before the first table
    // operation. Changing it while connected closes the shared connection
    // and every open table cursor becomes unusable until reopened.
    static void SetDatabasePath(const std::string& strPath);
    static std::string GetDatabasePath();

    // Makes the shared connection unless it exists, upgrading an older
    // catalogue. A failed connection is retried by the next operation.
    [[nodiscard]] static bool Connect();
    // The last failure of the shared connection as one sentence (a refused
    // schema version, the database's error text); empty when none.
    static std::string LastError();
    // The catalogue's data_version (see CAdoConnection::GetDataVersion) as a
    // connection of its own sees it: it moves with every commit to the file,
    // this process's included, whatever the table cursors stand on; nullopt
    // without a catalogue.
    static std::optional<int64_t> DataVersion();
    // The shared connection's log checkpoints (see CAdoConnection): a front
    // end that writes on its UI thread turns them off and runs the passive
    // one between its refresh polls. False without a catalogue.
    static bool SetAutoCheckpoint(bool bOn);
    static bool CheckpointPassive();
    // One bounded step of merging the search indexes' segments: every write
    // adds a segment and the writes themselves never merge (a merge on a
    // large leaf takes up to a second), so a writer runs steps where they
    // stall nothing, for example between its polls. A step merges about
    // nPages pages of one index and returns whether another step may find
    // work; the first step after connecting looks at every leaf.
    static bool MergeSearchIndexStep(int nPages);

    // Opens the table's cursor (newest first) unless it is open already, in
    // which case the position is kept.
    bool Open();
    bool IsOpen() const { return m_bOpen; }

    // Set once by the tree loader. Only plain identifiers (letters, digits,
    // '_', not starting with a digit) are accepted; any other name leaves the
    // table unusable (every operation fails as for a missing table).
    void SetTableName(const std::string& strTableName);
    const std::string& GetTableName() const { return m_strTableName; }

    // Opens if needed and moves to the newest row; false when the table is
    // empty or cannot be opened.
    bool MoveFirst();
    // Reads the row at the cursor into the record (Bookmark included) and
    // moves towards older rows; false at the end or when not open.
    bool ReadNext(TorrentRecord& record);
    // Reads the row at the cursor and moves towards newer rows; false before
    // the first row or when not open.
    bool ReadPrevious(TorrentRecord& record);
    bool IsEOF();
    bool IsBOF();
    // Moves to the oldest row.
    void MoveLast();
    // Opens if needed and moves to the row at the zero-based position,
    // newest first, in about the time of counting that many rows; past the
    // last row the cursor stands after it. False when the table cannot be
    // opened.
    bool MoveTo(int64_t nPosition);

    // Appends every record as a new row (all columns but DownHd) in one
    // transaction. Duplicates are kept. Writes whether or not the cursor is
    // open. A row the database refuses is left out. False when the batch
    // could not be written at all (no catalogue, a bad table name, the write
    // lock not had in time, a failed commit); an empty batch is true.
    [[nodiscard]] bool InsertBatch(const TorrentRecordArray& records);

    // Removes from records the entries stored already (same DllID, Addr0 and
    // AddDate) and the repeats of an entry within records, keeping the order
    // of the rest. False, records unchanged, when the table cannot be read.
    [[nodiscard]] bool DropStoredEntries(TorrentRecordArray& records);

    // Writes record.FileName into the row named by the bookmark (from a
    // record this table's ReadNext/ReadPrevious filled). The cursor's
    // position is unchanged.
    [[nodiscard]] bool SetFileName(const TorrentRecord& record, RecordBookmark bookmark);

    // Deletes every row; the cursor is reopened at its first row. False when
    // the rows could not be deleted.
    [[nodiscard]] bool DeleteAll();
    // Deletes the rows with AddDate >= cut-off (bRecent) or < cut-off
    // (!bRecent), compared on the stored day number; the cursor is reopened
    // at its first row. Works in batches, each its own transaction, so that
    // a refresh writing meanwhile is kept waiting a moment, not for the
    // whole delete. False when not connected or a batch failed (the batches
    // before it stay deleted).
    [[nodiscard]] bool DeleteByDate(OleDate dtCutOff, bool bRecent);

    // Appends every row whose Name contains the keyword ('%' and '_' in the
    // keyword act as wildcards, ASCII letters match either case), newest
    // first, each with its row's Bookmark. The cursor is not touched.
    void SearchByName(const std::string& strKeyword, TorrentRecordArray& records);

    // Number of rows; 0 when the table cannot be opened.
    int64_t Count();

    // The table's cursor; its spare slot keeps the list view's paging
    // position.
    CAdoRecordSet& RecordSet() { return *m_pRecordSet; }

  private:
    std::unique_ptr<CAdoRecordSet> m_pRecordSet;
    std::string m_strTableName;
    bool m_bOpen = false;
};

// True for a name the catalogue accepts as a table name.
bool IsValidTableName(const std::string& strName);

// Creates the catalogue file when missing and, for every name, the table
// with the catalogue columns, its date index and its name search
// index. Existing tables and rows are kept; missing indexes are added and an
// older catalogue is upgraded. False with a sentence in strError when the
// file cannot be written, was made by a newer program, or a name is not a
// plain identifier.
[[nodiscard]] bool CreateCatalogue(const std::string& strPath,
                                   const std::vector<std::string>& tableNames,
                                   std::string& strError);
