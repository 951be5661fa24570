// A temporary home for the desktop program's tests, laid out from the
// installed defaults with no plug-ins, two published sites and the start-up
// notice already dismissed.
#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "application.h"

class TestHome {
  public:
    explicit TestHome(int nCategories = -1);

    const std::string& Path() const { return m_strHome; }
    void SetIni(const std::string& section, const std::string& key, const std::string& value);
    std::string Ini(const std::string& section, const std::string& key) const;

    // Rows dated `daysAgo` in the leaf's table, and an old torrent file.
    void AddRows(const std::string& table, int nRows, int daysAgo);
    // Rows named as given, each `secondsAgo` before a fixed moment of today.
    void AddDatedRows(const std::string& table,
                      const std::vector<std::pair<std::string, int64_t>>& rows);
    int64_t Count(const std::string& table) const;
    std::string AddTorrentFile(const std::string& name, int daysAgo);

  private:
    QTemporaryDir m_dir;
    std::string m_strHome;
};

// Starts the program on the home in this process; null when it did not
// reach its event loop.
std::unique_ptr<CTessaroApp> StartApp(const TestHome& home, std::vector<std::string> args = {});
