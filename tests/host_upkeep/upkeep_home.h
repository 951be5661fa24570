// A temporary home for the upkeep tests: a catalogue with one table per leaf
// of a small tree (categories 3 and 4), the real wren plug-in listed in
// kernel/dllmgr.ini (it serves slots 3,1 and 3,2 and writes its refresh
// dates there), a settable clock and a time zone with daylight saving.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "category_node.h"
#include "ini_file.h"
#include "ole_date.h"
#include "torrent_table.h"

namespace upkeep_test {

inline int64_t LocalSeconds(int year, int month, int day, int hour, int minute) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&fields));
}

// Europe/Berlin changes to summer time on 2024-03-31 and back on 2024-10-27.
class BerlinTime : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* previous = std::getenv("TZ");
        m_previousTz = previous ? previous : "";
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        setenv("TZ", m_previousTz.c_str(), 1);
        tzset();
    }

    int64_t m_now = 0;
    // A clock for the engines under test that reads m_now.
    std::function<int64_t()> Clock() {
        return [this] { return m_now; };
    }

  private:
    std::string m_previousTz;
};

class UpkeepHome {
  public:
    UpkeepHome() {
        std::string dir = (std::filesystem::temp_directory_path() / "upkeepXXXXXX").string();
        EXPECT_NE(mkdtemp(dir.data()), nullptr);
        m_dir = dir + "/";
        std::filesystem::create_directories(Kernel());
        std::filesystem::create_directories(m_dir + "torrents");
    }
    ~UpkeepHome() {
        m_pRoot.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    UpkeepHome(const UpkeepHome&) = delete;
    UpkeepHome& operator=(const UpkeepHome&) = delete;

    const std::string& Dir() const { return m_dir; }
    std::string Kernel() const { return m_dir + "kernel/"; }

    // wren.so as the only plug-in, or an empty list.
    void ListWren(bool bWithWren = true) const {
        std::ofstream registry(Kernel() + "dllmgr.ini");
        if (!bWithWren) {
            registry << "[DLL]\ncount=0\n";
            return;
        }
        std::filesystem::copy_file(WREN_PLUGIN_PATH, Kernel() + "wren.so");
        registry << "[DLL]\ncount=1\n0=wren.so\n";
    }

    // Root, category 3 with leaves 3,1 and 3,2, category 4 with leaf 4,1;
    // each leaf's table is created in a fresh catalogue.
    CCategoryNode& BuildTree() {
        std::string strError;
        const std::string strDb = Kernel() + "websdata.db";
        EXPECT_TRUE(CreateCatalogue(strDb, {"anime", "comic", "music"}, strError)) << strError;
        CTorrentTable::SetDatabasePath(strDb);
        m_pRoot = std::make_unique<CCategoryNode>(0, 0, 2, "root");
        m_pRoot->AppendChild(CCategoryNode::MakeSentinel());
        CCategoryNode* c3 = m_pRoot->AppendChild(std::make_unique<CCategoryNode>(3, 0, 2, "c3"));
        c3->AppendChild(CCategoryNode::MakeSentinel());
        c3->AppendChild(std::make_unique<CCategoryNode>(3, 1, 1, "anime", "anime"));
        c3->AppendChild(std::make_unique<CCategoryNode>(3, 2, 1, "comic", "comic"));
        CCategoryNode* c4 = m_pRoot->AppendChild(std::make_unique<CCategoryNode>(4, 0, 1, "c4"));
        c4->AppendChild(CCategoryNode::MakeSentinel());
        c4->AppendChild(std::make_unique<CCategoryNode>(4, 1, 1, "music", "music"));
        return *m_pRoot;
    }
    CCategoryNode& Leaf(int c, int i) const { return *m_pRoot->GetChild(c - 2)->GetChild(i); }

    // The refresh date wren wrote for slot (group, index); empty when none.
    std::string RefreshDate(int group, int index) const {
        std::string value;
        CIniFile(Kernel() + "dllmgr.ini")
            .GetString("RefreshDate_wren.so", std::to_string(group) + std::to_string(index), value);
        return value;
    }

    // A file in torrents/ last modified at `modified`.
    void AddTorrentFile(const std::string& name, int64_t modified) const {
        const std::string path = m_dir + "torrents/" + name;
        std::ofstream(path) << "d8:announce0:e";
        const struct timespec times[2] = {{static_cast<time_t>(modified), 0},
                                          {static_cast<time_t>(modified), 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    bool HasTorrentFile(const std::string& name) const {
        return std::filesystem::exists(m_dir + "torrents/" + name);
    }

  private:
    std::string m_dir;
    std::unique_ptr<CCategoryNode> m_pRoot;
};

// "%.9lf" of the date, as the plug-ins write it.
inline std::string IniDate(const OleDate& date) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9lf", date.m_dt);
    return text;
}

}  // namespace upkeep_test
