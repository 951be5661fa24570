// A home laid out by the built tessaro-cli that lists only wren.so, with
// its site at `base`, and helpers to put rows and torrent files of known
// ages into it and read wren's refresh dates back.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ini_file.h"
#include "run_process.h"
#include "torrent_table.h"
#include "wren_pages.h"

namespace cli_upkeep {

// Local midnight `daysBack` calendar days before today, plus `seconds`.
inline time_t Midnight(int daysBack, int seconds = 0) {
    const time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = local.tm_min = 0;
    local.tm_sec = seconds;
    local.tm_mday -= daysBack;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// A date as the plug-ins write it.
inline std::string IniDate(const OleDate& date) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9lf", date.m_dt);
    return text;
}

// Rows dated back from yesterday noon, so the year the site leaves out is
// inferred right; `date` is the row's date as the plug-in keeps it.
struct Row {
    wren_pages::Row row;
    OleDate date;
};
inline Row RowAgo(int id, int minutesAgo) {
    const time_t when = std::time(nullptr) - 24 * 3600 - minutesAgo * 60;
    std::tm local{};
    localtime_r(&when, &local);
    Row result;
    result.row = {local.tm_mon + 1,
                  local.tm_mday,
                  local.tm_hour,
                  local.tm_min,
                  "row " + std::to_string(id),
                  "",
                  "1.0MB",
                  1,
                  1,
                  id};
    result.date = OleDate::FromFields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                      local.tm_hour, local.tm_min);
    return result;
}

inline std::string Listing(int cateId, int page) {
    return "/index.php?cateId=" + std::to_string(cateId) + "&page=" + std::to_string(page) +
           "&order=default&by=DESC";
}

class UpkeepCliHome {
  public:
    explicit UpkeepCliHome(const std::string& base) {
        char pattern[] = "/tmp/tessaro-upkeep-XXXXXX";
        EXPECT_NE(mkdtemp(pattern), nullptr);
        m_home = std::string(pattern) + "/";
        const auto init = Run({"init"});
        EXPECT_EQ(init.exitCode, 0) << init.err;
        std::ofstream(m_home + "kernel/dllmgr.ini", std::ios::trunc)
            << "[DLL]\ncount=1\n0=wren.so\n\n[Site_wren.so]\nBase=" << base << "\n";
        CTorrentTable::SetDatabasePath(m_home + "kernel/websdata.db");
    }
    ~UpkeepCliHome() {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    UpkeepCliHome(const UpkeepCliHome&) = delete;
    UpkeepCliHome& operator=(const UpkeepCliHome&) = delete;

    const std::string& Path() const { return m_home; }

    std::vector<std::string> Command(std::vector<std::string> args) const {
        args.insert(args.begin(), {TESSARO_CLI_PATH, "--home", m_home});
        return args;
    }
    testing_support::ProcessResult Run(std::vector<std::string> args,
                                       testing_support::ProcessOptions options = {}) const {
        return testing_support::RunProcess(Command(std::move(args)), options);
    }

    void AddRows(const std::string& table, const std::vector<time_t>& added) const {
        CTorrentTable leaf;
        leaf.SetTableName(table);
        TorrentRecordArray rows(added.size());
        for (size_t i = 0; i < added.size(); ++i) {
            rows[i].AddDate = OleDate::FromUnixTime(added[i]);
        }
        ASSERT_TRUE(leaf.InsertBatch(rows));
    }
    int64_t Count(const std::string& table) const {
        CTorrentTable leaf;
        leaf.SetTableName(table);
        return leaf.Count();
    }

    void AddTorrentFile(const std::string& name, time_t modified) const {
        const std::string path = m_home + "torrents/" + name;
        std::ofstream(path) << "d8:announce0:e";
        const struct timespec times[2] = {{modified, 0}, {modified, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    bool HasTorrentFile(const std::string& name) const {
        return std::filesystem::exists(m_home + "torrents/" + name);
    }

    // wren's refresh date for the slot; empty when none was written.
    std::string RefreshDate(int group, int index) const {
        std::string value;
        CIniFile(m_home + "kernel/dllmgr.ini")
            .GetString("RefreshDate_wren.so", std::to_string(group) + std::to_string(index), value);
        return value;
    }

  private:
    std::string m_home;
};

}  // namespace cli_upkeep
