// What the upkeep tests share: a time zone with daylight saving, a settable
// clock, and a temporary home without plug-ins whose catalogue holds a small
// tree (category 3 with leaves 3,1 and 3,2; category 4 with leaf 4,1).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "category_node.h"
#include "local_time.h"
#include "torrent_table.h"

namespace upkeep_test {

using testing_support::LocalSeconds;

// Europe/Berlin moves to summer time on 2024-03-31 and back on 2024-10-27.
class BerlinTime : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
    std::function<int64_t()> Clock() {
        return [this] { return m_now; };
    }

    int64_t m_now = 0;
};

class UpkeepHome {
  public:
    UpkeepHome() {
        std::string dir = (std::filesystem::temp_directory_path() / "upkeepXXXXXX").string();
        EXPECT_NE(mkdtemp(dir.data()), nullptr);
        m_dir = dir + "/";
        std::filesystem::create_directories(m_dir + "kernel");
    }
    ~UpkeepHome() {
        m_pRoot.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    UpkeepHome(const UpkeepHome&) = delete;
    UpkeepHome& operator=(const UpkeepHome&) = delete;

    const std::string& Dir() const { return m_dir; }

    CCategoryNode& BuildTree() {
        std::string strError;
        const std::string strDb = m_dir + "kernel/websdata.db";
        EXPECT_TRUE(CreateCatalogue(strDb, {"t31", "t32", "t41"}, strError)) << strError;
        CTorrentTable::SetDatabasePath(strDb);
        m_pRoot = std::make_unique<CCategoryNode>(0, 0, 2, "root");
        m_pRoot->AppendChild(CCategoryNode::MakeSentinel());
        for (auto [c, leaves] : {std::pair{3, 2}, {4, 1}}) {
            auto* category = m_pRoot->AppendChild(
                std::make_unique<CCategoryNode>(c, 0, leaves, "c" + std::to_string(c)));
            category->AppendChild(CCategoryNode::MakeSentinel());
            for (int i = 1; i <= leaves; ++i) {
                const std::string name = "t" + std::to_string(c) + std::to_string(i);
                category->AppendChild(std::make_unique<CCategoryNode>(c, i, 1, name, name));
            }
        }
        return *m_pRoot;
    }

  private:
    std::string m_dir;
    std::unique_ptr<CCategoryNode> m_pRoot;
};

}  // namespace upkeep_test
