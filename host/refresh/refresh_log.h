// CRefreshLog: the host's own account of each plug-in's refreshes, in
// <home>/kernel/refreshlog.ini, because a plug-in tells the host only a
// percentage. One section per plug-in, named by its registry name:
//
//   LastRefresh      Unix seconds when its last refresh ended
//   Rows             the rows it brought in that refresh (every leaf of it)
//   LastFailure      why it last failed as far as the host could tell:
//                    not loadable, its site not answering, or its rows not
//                    stored; kept until the next failure
//   LastFailureTime  Unix seconds of that failure
//
// A site whose rows stay at 0 refresh after refresh while its pages load has
// most likely changed its layout; the log makes that visible.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "ini_file.h"

class CRefreshLog {
  public:
    struct Entry {
        int64_t nLastRefresh = 0;  // 0: never refreshed
        int64_t nRows = 0;
        std::string strLastFailure;
        int64_t nLastFailureTime = 0;
    };

    // strHome ends in '/'.
    explicit CRefreshLog(const std::string& strHome);

    Entry Read(const std::string& strPlugin) const;

    // Adds one leaf's outcome for the plug-in to the refresh being gathered;
    // an empty reason is no failure.
    void Add(const std::string& strPlugin, int64_t nRows, const std::string& strFailure);
    // Writes what was gathered, every plug-in as refreshed at `now`, and
    // starts gathering anew. False when the file could not be written.
    [[nodiscard]] bool Save(int64_t now);

  private:
    struct Pending {
        int64_t nRows = 0;
        std::string strFailure;
    };
    CIniFile m_file;
    std::map<std::string, Pending> m_pending;
};
