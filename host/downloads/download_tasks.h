// CDownloadTasks: the table of download tasks that fetch the .torrent files
// of catalogue and search entries through the plug-in that produced them,
// into <home>/torrents/.
//
// A task is a complete copy of its entry, made when the task is added, so it
// lives on when the list that showed the entry is reloaded. Four fields of
// the copy carry the task:
//   bCompleted  the state (low 8 bits): 0..99 downloading (the plug-in's
//               percent), 100 completed, 101 stopped, 102 waiting for a free
//               slot, 255 failed
//   DownHd      the plug-in's handle while the download runs, else 0
//   Reserved    the auto-open flag: 1 opens the file when the download ends
//   FileName    the name under torrents/ without extension, chosen at start
// Two entries are the same task when their Addr0 texts are equal.
//
// At most MaxDownTasks tasks download at once; the limit is read from the
// settings at every start, so a change in the options applies at once. A
// task counts as running while its state is below 100.
//
// Single-threaded and tick-driven: the front end calls Poll() from its
// 500 ms timer (GUI) or loop (CLI). The callbacks run at the end of a poll
// with copies of the tasks, so they may change the table. The clock (Unix
// seconds) names files and dates the clean-up; tests inject it. The host
// and the configuration must outlive the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "global_config.h"
#include "plugin_host.h"
#include "torrent_record.h"

class CDownloadTasks {
  public:
    enum TaskState : uint8_t {
        kCompleted = 100,
        kStopped = 101,
        kWaiting = 102,
        kFailed = 255,
    };

    enum class OpenResult {
        kOpened,
        kNoHandler,  // the desktop could not open an existing file
        kMissing,    // there is no file to open
    };

    using Clock = std::function<int64_t()>;
    // Hands the file to the desktop's handler for .torrent files, with `dir`
    // as the working folder; false when that failed. Provided by the front
    // end; without one, every open fails with kNoHandler.
    using FileOpener = std::function<bool(const std::string& path, const std::string& dir)>;
    using TaskCallback = std::function<void(const TorrentRecord& task)>;
    using OpenFailedCallback = std::function<void(OpenResult result, const TorrentRecord& task)>;

    struct AddResult {
        size_t nIndex = 0;    // the task of the entry
        bool bAdded = false;  // false when a task with its Addr0 existed
    };

    // The host's home decides the torrents folder; the configuration gives
    // MaxDownTasks and the category tree whose rows receive the file names.
    CDownloadTasks(PluginHost& host, CGlobalConfig& config,
                   Clock clock = CGlobalConfig::SystemClock);
    // Stops the running downloads, so no plug-in task keeps its lock file.
    ~CDownloadTasks();
    CDownloadTasks(const CDownloadTasks&) = delete;
    CDownloadTasks& operator=(const CDownloadTasks&) = delete;

    // Adds a stopped copy of the entry (its Reserved field is the auto-open
    // flag) and starts it, unless a task with the same Addr0 exists, which
    // is answered unchanged.
    AddResult AddTask(const TorrentRecord& entry);

    // Downloads when a slot is free, else waits (102). False when the
    // plug-in refused the start: the task keeps its state (a waiting task is
    // then tried again at every poll). A running task is left alone (true).
    bool StartTask(size_t nIndex);
    // A running or waiting task becomes stopped (101); its plug-in task ends.
    void StopTask(size_t nIndex);
    // Stops the task if it runs and removes it from the table.
    void DeleteTask(size_t nIndex);

    // The timer tick, over the table in order: a running task takes the
    // plug-in's status; a completed one records its file name in its store
    // row, ends its plug-in task, is reported and, when flagged, opened; a
    // failed one ends its plug-in task; a waiting one is started when a slot
    // is free. A file name the store did not take (a catalogue locked by
    // another process) is written again at every tick until it is.
    void Poll();
    // Completed downloads whose file name their store row has not taken yet.
    size_t GetUnrecordedCount() const { return m_unrecorded.size(); }

    size_t GetCount() const { return m_tasks.size(); }
    // nIndex below GetCount(), as for every operation taking a task index.
    const TorrentRecord& GetTask(size_t nIndex) const { return Task(nIndex); }
    std::optional<size_t> FindTask(const std::string& strAddr0) const;
    int GetRunningCount() const;
    // True while some task runs or waits.
    bool HasPendingTasks() const;
    void SetAutoOpen(size_t nIndex, bool bAutoOpen);

    // Reorders the table by the list's comparison (a strict weak order);
    // tasks that compare equal keep their relative order.
    void SortTasks(const std::function<bool(const TorrentRecord&, const TorrentRecord&)>& less);

    static uint8_t GetState(const TorrentRecord& task) {
        return static_cast<uint8_t>(task.bCompleted & 0xFF);
    }
    static bool IsRunning(const TorrentRecord& task) { return GetState(task) < kCompleted; }
    // The task list's image and percent column for the task's state.
    static int GetStateIcon(const TorrentRecord& task);
    static std::string GetPercentText(const TorrentRecord& task);

    // <home>/torrents/, where the plug-ins write.
    const std::string& GetTorrentDir() const { return m_strTorrentDir; }
    // The entry's file: the torrents folder + FileName + ".torrent".
    std::string GetTorrentPath(const TorrentRecord& entry) const;
    // False for an empty FileName, else whether the file is there.
    bool TorrentFileExists(const TorrentRecord& entry) const;
    // A free name under torrents/ for the entry's file: its Name without
    // control characters, the nine characters \ / : * ? " < > | and outer
    // blanks, followed by a number (one above the clock's seconds, counted up
    // until free) when the name or its .tmp is taken or a running task uses
    // it. The name, the number and the longest suffix a plug-in writes
    // (".torrent.part") fit in NAME_MAX bytes: a longer name is cut at a
    // character boundary.
    [[nodiscard]] std::string MakeFileName(const TorrentRecord& entry) const;

    OpenResult OpenTorrentFile(const TorrentRecord& entry) const;
    // The message for a failed open.
    static std::string_view GetOpenFailureText(OpenResult result);

    // Deletes every file (not folder) of the torrents folder whose age is
    // nDays or more (bNewer false) or nDays or less (bNewer true), except the
    // lock and part files of downloads that run (in this table, or in any
    // process that holds its lock); answers how many were deleted.
    int CleanTorrentFolder(int nDays, bool bNewer) const;
    // Whole periods of 86,400 seconds from the modification time to now. A
    // time in the future counts as 0.
    static int AgeInDays(time_t modified, time_t now);

    void SetFileOpener(FileOpener opener) { m_opener = std::move(opener); }
    // Called for every completed download (the lists then show the entry as
    // downloaded and take its FileName).
    void SetCompletedCallback(TaskCallback callback) { m_onCompleted = std::move(callback); }
    void SetOpenFailedCallback(OpenFailedCallback callback) {
        m_onOpenFailed = std::move(callback);
    }

  private:
    TorrentRecord& Task(size_t nIndex) const;
    int GetMaxDownTasks() const;
    // False when the task's row did not take the file name.
    [[nodiscard]] bool RecordFileName(const TorrentRecord& task);
    CCategoryNode* FindLeaf(int32_t nType) const;
    // Whether a file of the torrents folder (its name) is the lock or part
    // file of a running download.
    bool IsHeldByDownload(const std::string& strFile) const;

    PluginHost& m_host;
    CGlobalConfig& m_config;
    Clock m_clock;
    std::string m_strTorrentDir;
    std::vector<std::unique_ptr<TorrentRecord>> m_tasks;
    std::vector<TorrentRecord> m_unrecorded;
    FileOpener m_opener;
    TaskCallback m_onCompleted;
    OpenFailedCallback m_onOpenFailed;
};
