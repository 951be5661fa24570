// CAdoRecordSet: a cursor of the access layer.
//
// Two kinds of cursor share the class:
//  - A table cursor (Open with kAdoCmdTable) yields the rows of one table in
//    the order set by SetSort ("<column> [ASC|DESC]", ties by row id
//    ascending; without a sort, by row id). It moves both ways, counts,
//    returns to a bookmark (the row id) and writes rows. It never loads the
//    table: it holds a window of rows around its position and reads the
//    next window with a seek on the sort column's index (row values are
//    compared as the index orders them), so memory stays flat whatever the
//    table size. Rows written by others appear when their window is read.
//  - A result cursor (Attach to an Execute result, or Open with a text
//    statement) reads a query's rows forward; it can start over and count,
//    but not move backward, jump to a bookmark or write.
//
// Values come typed from the column's storage class and declared type: NULL
// 1, INTEGER 3 (20 beyond 32 bits; 2 in SMALLINT, 17 in TINYINT and 11 in
// BOOLEAN columns when the value fits), REAL 5, TEXT 8, BLOB 65, and 7 for
// the numbers of a column declared as a date or time. The typed getters then
// convert as ado_variant.h says.
//
// Every failure is a result (and a trace line), never an exception; a cursor
// used before it is opened fails every operation without harm.
#pragma once

#include <cstdint>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

#include "ado_connection.h"
#include "ado_variant.h"
#include "ole_date.h"
#include "torrent_record.h"

namespace ado_detail {
enum class ColumnKind;
}

enum AdoCursorLocation : int { kAdoUseServer = 2, kAdoUseClient = 3 };

class CAdoRecordSet {
  public:
    CAdoRecordSet();
    virtual ~CAdoRecordSet();
    CAdoRecordSet(const CAdoRecordSet&) = delete;
    CAdoRecordSet& operator=(const CAdoRecordSet&) = delete;

    void SetConnection(CAdoConnection* pConnection) { m_pConnection = pConnection; }
    // Every cursor keeps its rows in the client; the location is remembered
    // for callers that ask.
    bool SetCursorLocation(int nLocation);
    int GetCursorLocation() const { return m_nCursorLocation; }

    // Opens the source: a table name with kAdoCmdTable (the cursor then
    // stands on the first row), or a statement with kAdoCmdText. An empty
    // source reuses the last one. Cursor and lock types are accepted for
    // callers that pass them: every table cursor moves both ways and writes.
    bool Open(const std::string& strSource, int nCommandType = kAdoCmdTable, int nCursorType = 3,
              int nLockType = 3);
    // Takes over the rows of an Execute result (a failed or row-less result
    // gives an open, empty cursor).
    bool Attach(AdoResult&& result);
    void Close();
    bool IsOpen() const;

    bool IsEOF() const;
    bool IsBOF() const;
    bool MoveFirst();
    bool MoveLast();
    bool MoveNext();
    bool MovePrevious();
    // Moves a table cursor to the row at the zero-based position in cursor
    // order; past the last row the cursor stands after it (EOF). The rows
    // skipped are counted in the sort column's index, never read.
    bool MoveToPosition(int64_t nPosition);

    // The number of rows; -1 when the cursor is not open.
    int64_t GetRecordCount();
    // "<column> [ASC|DESC]" on a table cursor; the cursor moves to the first
    // row of the new order.
    bool SetSort(const std::string& strSort);

    // Starts a new row; PutCollect fills it and Update inserts it (the cursor
    // then stands on it). Without AddNew, PutCollect and Update change the
    // current row. A refused Update drops the pending change and fails.
    // Moving with a change pending updates first.
    [[nodiscard]] bool AddNew();
    [[nodiscard]] bool Update();
    void CancelUpdate();

    // Typed setters: an empty text is written as NULL.
    [[nodiscard]] bool PutCollect(const std::string& strColumn, const std::string& strValue);
    [[nodiscard]] bool PutCollect(const std::string& strColumn, int16_t nValue);
    [[nodiscard]] bool PutCollect(const std::string& strColumn, int32_t nValue);
    [[nodiscard]] bool PutCollect(const std::string& strColumn, uint8_t nValue);
    [[nodiscard]] bool PutCollect(const std::string& strColumn, OleDate dtValue);
    [[nodiscard]] bool PutCollect(const std::string& strColumn, const AdoVariant& value);

    // Typed getters of the current row (conversions: ado_variant.h). A
    // missing column or no current row fails and leaves the target
    // unchanged. The text getter on a cursor that is not open also reports
    // the lost connection through the layer's message handler.
    bool GetValue(const std::string& strColumn, OleDate& dtValue);
    bool GetValue(const std::string& strColumn, bool& bValue);
    bool GetValue(const std::string& strColumn, uint8_t& nValue);
    bool GetValue(const std::string& strColumn, int16_t& nValue);
    bool GetValue(const std::string& strColumn, int32_t& nValue);
    bool GetValue(const std::string& strColumn, double& dValue);
    bool GetValue(const std::string& strColumn, uint32_t& nValue);
    bool GetValue(const std::string& strColumn, std::string& strValue);
    bool GetValue(const std::string& strColumn, AdoVariant& value);

    // The current row of a table cursor.
    bool GetBookmark(RecordBookmark& bookmark);
    // Moves a table cursor to the row; fails (position unchanged) when the
    // row is gone.
    bool SetBookmark(RecordBookmark bookmark);

    // Spare slot for the caller's paging position; the cursor never reads it.
    std::optional<RecordBookmark> m_vtPageBookmark;

  private:
    enum class Mode { kClosed, kTable, kResult };
    enum class Position { kRow, kBOF, kEOF, kEmpty };

    struct Row {
        int64_t nRowId = 0;
        AdoVariant key;  // the sort column's value as the row was read
        std::vector<AdoVariant> values;
    };

    bool CheckOpen(const char* pszOperation,
                   std::source_location where = std::source_location::current()) const;
    int ColumnIndex(const std::string& strColumn) const;
    const AdoVariant* CurrentValue(const std::string& strColumn, const char* pszOperation,
                                   std::source_location where = std::source_location::current());
    bool FlushPending();
    bool RunWrite(const std::string& strSql, const std::vector<AdoVariant>& params,
                  const char* pszOperation);

    bool OpenTable(const std::string& strTable);
    // Reads up to nLimit rows of one statement into rows, in its order.
    bool FetchInto(const std::string& strSql, const std::vector<AdoVariant>& params, size_t nLimit,
                   std::vector<Row>& rows);
    // The rows after (forward) or before (!forward) the given row in cursor
    // order, nearest first; the first or last rows when from is null.
    bool FetchWindow(const Row* pFrom, bool bForward, std::vector<Row>& rows);
    bool ReadRowById(int64_t nRowId, Row& row);
    void SetWindow(std::vector<Row> rows, bool bForward);

    bool StepResult(const char* pszOperation);
    bool RestartResult(const char* pszOperation);

    CAdoConnection* m_pConnection = nullptr;
    uint64_t m_nGeneration = 0;
    std::string m_strSource;
    int m_nCursorLocation = kAdoUseClient;
    Mode m_mode = Mode::kClosed;
    Position m_position = Position::kEmpty;

    std::vector<std::string> m_columnNames;
    std::vector<ado_detail::ColumnKind> m_columnKinds;
    AdoVariant m_resultValue;  // the result cursor's value last handed out

    // Table cursor.
    std::string m_strTable;
    std::string m_strSelect;  // SELECT rowid, <every column> FROM <table>
    int m_nSortColumn = -1;
    bool m_bSortDescending = false;
    std::vector<Row> m_window;
    size_t m_nWindowIndex = 0;
    bool m_bAdding = false;
    std::vector<std::pair<int, AdoVariant>> m_pending;

    // Result cursor.
    AdoStatement m_statement;
    int64_t m_nResultRow = 0;
};
