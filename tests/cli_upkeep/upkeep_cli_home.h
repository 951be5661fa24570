// A home laid out by the built tessaro-cli, listing only wren.so with its
// site on the test's fixture server, and helpers to put rows and torrent
// files of known ages into it.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ini_file.h"
#include "ole_date.h"
#include "run_process.h"
#include "torrent_table.h"

namespace cli_upkeep {

// Local midnight `daysBack` calendar days before today, plus `seconds`.
inline time_t Midnight(int daysBack, int seconds = 0) {
    const time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = seconds;
    local.tm_mday -= daysBack;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

inline std::string IniDate(const OleDate& date) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9lf", date.m_dt);
    return text;
}

class UpkeepCliHome {
  public:
    UpkeepCliHome() {
        char pattern[] = "/tmp/tessaro-upkeep-XXXXXX";
        EXPECT_NE(mkdtemp(pattern), nullptr);
        m_home = std::string(pattern) + "/";
    }
    ~UpkeepCliHome() {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    UpkeepCliHome(const UpkeepCliHome&) = delete;
    UpkeepCliHome& operator=(const UpkeepCliHome&) = delete;

    const std::string& Path() const { return m_home; }
    std::string Registry() const { return m_home + "kernel/dllmgr.ini"; }

    std::vector<std::string> Command(std::vector<std::string> args) const {
        args.insert(args.begin(), {TESSARO_CLI_PATH, "--home", m_home});
        return args;
    }
    testing_support::ProcessResult Run(std::vector<std::string> args,
                                       testing_support::ProcessOptions options = {}) const {
        options.environment.emplace_back("TESSARO_LANG", "en");
        return testing_support::RunProcess(Command(std::move(args)), options);
    }

    // Lays the home out with wren.so as its only plug-in, fetching from
    // `base`.
    void Init(const std::string& base) const {
        const auto init = Run({"init"});
        ASSERT_EQ(init.exitCode, 0) << init.err;
        std::ofstream(Registry(), std::ios::trunc)
            << "[DLL]\ncount=1\n0=wren.so\n\n[Site_wren.so]\nBase=" << base << "\n";
    }

    // Appends rows added at the given times to a leaf's table.
    void AddRows(const std::string& table, const std::vector<time_t>& added) const {
        CTorrentTable::SetDatabasePath(m_home + "kernel/websdata.db");
        CTorrentTable leaf;
        leaf.SetTableName(table);
        TorrentRecordArray rows;
        for (time_t when : added) {
            TorrentRecord row;
            row.AddDate = OleDate::FromUnixTime(when);
            row.Name = "row " + row.AddDate.Format();
            rows.push_back(row);
        }
        ASSERT_TRUE(leaf.InsertBatch(rows));
    }
    int64_t Count(const std::string& table) const {
        CTorrentTable::SetDatabasePath(m_home + "kernel/websdata.db");
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

    // wren's remembered date for slot (group, index); empty when none.
    std::string RefreshDate(int group, int index) const {
        std::string value;
        CIniFile(Registry())
            .GetString("RefreshDate_wren.so", std::to_string(group) + std::to_string(index), value);
        return value;
    }

  private:
    std::string m_home;
};

}  // namespace cli_upkeep
