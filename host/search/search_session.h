// CSearchSession: one keyword search over the local catalogue and the index
// sites at once, and the keyword history that goes with it.
//
// Start() looks the keyword up in every leaf table at once (categories and
// leaves in tree order) and starts the site search on every plug-in. The
// site results arrive while the plug-ins work: Poll(), the front end's
// 100 ms tick, reads the combined progress, appends what the plug-ins
// collected and ends the search when the progress reaches 100. Rows found
// stay when a search ends or is stopped; the next start clears them.
//
// The history holds the most recent keywords, newest first, at most
// config::kMaxSearchList; a keyword that differs from a listed one only in
// letter case replaces it. It is read from and written to global.ini on
// request (the GUI writes it when its form closes, the CLI after a start).
//
// Single-threaded, driven by Poll(); the session never sleeps.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "category_node.h"
#include "global_config.h"
#include "plugin_host.h"
#include "torrent_record.h"

class CSearchSession {
  public:
    static constexpr int kPollIntervalMs = 100;

    enum class Source { kLocal, kSite };

    struct ResultRow {
        TorrentRecord record;
        Source source = Source::kLocal;
        // The leaf whose table holds a local row; null for a site row.
        CCategoryNode* pLeaf = nullptr;
    };

    enum class StartResult {
        kStarted,
        kEmptyKeyword,  // nothing but blanks: nothing searched, history unchanged
    };

    struct Scope {
        bool bLocal = true;
        bool bSites = true;
    };

    CSearchSession(PluginHost& host, CGlobalConfig& config);
    // Stops a running site search, so the plug-ins free their tasks.
    ~CSearchSession();
    CSearchSession(const CSearchSession&) = delete;
    CSearchSession& operator=(const CSearchSession&) = delete;

    // Clears the rows, stops a running search, then searches for the keyword
    // without its outer blanks and puts it at the top of the history. Local
    // matches are in the rows when this returns; the site search runs until
    // Poll() sees it finish (a search of the local catalogue alone ends at
    // once).
    StartResult Start(const std::string& strKeyword, Scope scope = Scope{true, true});
    // The 100 ms tick: progress, then the rows collected since the last tick,
    // then the end of the search when the progress is 100.
    void Poll();
    // Ends the site search; the rows found so far stay.
    void Stop();

    bool IsSearching() const { return m_bSearching; }
    // Combined progress of the site search, 0..100.
    int GetProgress() const { return m_nProgress; }
    const std::string& GetKeyword() const { return m_strKeyword; }

    const std::vector<ResultRow>& GetRows() const { return m_rows; }
    // Removes the rows at the given positions (any order, duplicates allowed).
    void DeleteRows(std::vector<size_t> positions);
    void DeleteAllRows() { m_rows.clear(); }
    // A download of the entry completed: the first row with its Addr0 takes
    // the task's state and FileName.
    void UpdateEntry(const TorrentRecord& task);

    void LoadHistory();
    // False when the history could not be written.
    [[nodiscard]] bool SaveHistory();
    const std::vector<std::string>& GetHistory() const { return m_history; }
    void AddToHistory(const std::string& strKeyword);
    // Equal but for letter case (Unicode simple case folding).
    static bool SameKeyword(const std::string& strA, const std::string& strB);

  private:
    void CollectSiteRows();

    PluginHost& m_host;
    CGlobalConfig& m_config;
    std::string m_strKeyword;
    std::vector<ResultRow> m_rows;
    PluginHost::SearchHandles m_handles;
    bool m_bSearching = false;
    int m_nProgress = 0;
    std::vector<std::string> m_history;
};
