// CAdoConnection: the catalogue connection of the access layer, over one
// SQLite database file.
//
// No operation throws: every SQLite error is caught here, written as one line
// to the trace sink (operation, SQLite's message, source file and line) and
// turned into the operation's failure result. GetLastErrorText keeps the
// last error's message and codes until the next error.
//
// Single-threaded: the connection and its cursors belong to the thread that
// made them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <unordered_map>
#include <vector>

#include "ado_variant.h"

struct sqlite3;
struct sqlite3_stmt;

// Receives every trace line. The default writes to stderr, in release builds
// too: a failed write is lost data, and nobody would learn of it otherwise.
// An empty function restores that default.
using AdoTraceSink = std::function<void(const std::string& strLine)>;
void SetAdoTraceSink(AdoTraceSink sink);

// Shows the one message the layer has for a user: a cursor read while the
// connection is gone. The core shows nothing itself; the GUI installs a
// handler that opens an information box.
using AdoMessageHandler =
    std::function<void(const std::string& strText, const std::string& strCaption)>;
void SetAdoMessageHandler(AdoMessageHandler handler);

// Command types of Execute and CAdoRecordSet::Open.
enum AdoCommandType : int { kAdoCmdText = 1, kAdoCmdTable = 2 };

class CAdoConnection;

namespace ado_detail {
struct StatementEntry;
}

// A prepared statement borrowed from a connection's statement cache. Giving
// it back (destruction) resets it and clears its bindings, so the next user
// finds it ready; a statement outliving its connection is finalized then.
class AdoStatement {
  public:
    AdoStatement() = default;
    explicit AdoStatement(std::shared_ptr<ado_detail::StatementEntry> entry);
    AdoStatement(AdoStatement&& other) noexcept = default;
    AdoStatement& operator=(AdoStatement&& other) noexcept;
    ~AdoStatement();

    sqlite3_stmt* get() const;
    explicit operator bool() const { return static_cast<bool>(m_entry); }

  private:
    void Release();
    std::shared_ptr<ado_detail::StatementEntry> m_entry;
};

// What Execute returns: success, the number of rows changed, and for a query
// that produced rows the statement standing on its first row (hand it to
// CAdoRecordSet::Attach to read it).
class AdoResult {
  public:
    bool IsOk() const { return m_bOk; }
    bool HasRows() const { return static_cast<bool>(m_statement); }
    int64_t Changes() const { return m_nChanges; }

  private:
    friend class CAdoConnection;
    friend class CAdoRecordSet;
    bool m_bOk = false;
    int64_t m_nChanges = 0;
    AdoStatement m_statement;
    CAdoConnection* m_pOwner = nullptr;
    uint64_t m_nGeneration = 0;
};

class CAdoConnection {
  public:
    CAdoConnection();
    virtual ~CAdoConnection();
    CAdoConnection(const CAdoConnection&) = delete;
    CAdoConnection& operator=(const CAdoConnection&) = delete;

    // Opens the database file named by strConnect (or the remembered one when
    // empty). The file must exist: opening never creates a database. An open
    // connection is closed first. The connection runs in WAL mode with
    // synchronous=NORMAL, and a statement that finds the file locked by
    // another writer waits up to kBusyTimeoutMs for it. nOptions is accepted for callers that pass
    // the connect options (-1, unspecified) and has no effect.
    [[nodiscard]] bool Open(const std::string& strConnect = {}, int nOptions = -1);
    void Close();
    bool IsOpen() const;
    const std::string& GetConnectionString() const { return m_strConnect; }

    // Runs one text statement with its ? parameters bound in order (see
    // AdoVariant). A query's rows stay in the result; anything else runs to
    // completion. The prepared statement is cached and reused by the next
    // Execute of the same text.
    [[nodiscard]] AdoResult Execute(const std::string& strSql,
                                    const std::vector<AdoVariant>& params = {},
                                    int nOptions = kAdoCmdText);

    [[nodiscard]] bool BeginTrans();
    [[nodiscard]] bool CommitTrans();
    bool RollbackTrans();
    // False once SQLite has rolled a transaction back on its own (a full
    // disk, an I/O error): statements after that would commit one by one.
    bool IsInTransaction() const;

    // "Description: %s\r\nState: %d, Native: %d, Source: %s\r\n" for the last
    // error (SQLite's message, primary and extended result code, the
    // database file); empty when there was none or the connection was never
    // opened.
    std::string GetLastErrorText() const;
    // SQLite's message of the last error alone; empty when there was none.
    const std::string& GetLastErrorMessage() const { return m_strLastError; }

    // SQLite's data_version: a value that changes when another connection
    // (another process) has committed to the file. Nullopt when the
    // connection is not open or the pragma fails.
    std::optional<int64_t> GetDataVersion();

    // Write-ahead-log checkpoints: with 0 pages no commit runs one, and the
    // owner runs CheckpointPassive where it stalls nothing (SQLite's default
    // runs one inside the commit that takes the log past 1000 pages).
    bool SetAutoCheckpoint(int nPages);
    // Copies what the log holds into the database as far as no reader stands
    // in the way, without waiting for anyone.
    bool CheckpointPassive();
    // Rows written by every statement since the connection opened, those of
    // triggers and virtual tables included.
    int64_t TotalChanges() const;

    // Long enough for the largest write another process makes at once (a
    // delete works in batches well under this).
    static constexpr int kBusyTimeoutMs = 30000;

  private:
    friend class CAdoRecordSet;

    struct DatabaseCloser {
        void operator()(sqlite3* pDb) const;
    };

    // A cached statement for the text, or a private one while the cached one
    // is lent out. Empty (and traced) on failure.
    AdoStatement Prepare(const std::string& strSql, const char* pszOperation,
                         std::source_location where = std::source_location::current());
    // Records SQLite's current error for GetLastErrorText and traces it.
    void RecordError(const char* pszOperation,
                     std::source_location where = std::source_location::current());
    bool RunSimple(const char* pszSql, const char* pszOperation, std::source_location where);
    // Changes whenever the connection is closed, so cursors can tell that
    // what they read is gone.
    uint64_t Generation() const { return m_nGeneration; }

    std::string m_strConnect;
    std::unique_ptr<sqlite3, DatabaseCloser> m_pDb;
    std::unordered_map<std::string, std::shared_ptr<ado_detail::StatementEntry>> m_statements;
    std::string m_strLastError;
    int m_nLastCode = 0;
    int m_nLastExtendedCode = 0;
    uint64_t m_nGeneration = 0;
};
