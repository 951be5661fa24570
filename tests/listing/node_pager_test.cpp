#include "node_pager.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "global_config.h"
#include "torrent_table.h"

namespace fs = std::filesystem;

namespace {

// A category of three leaves whose rows interleave by date, ties included.
class NodePagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pager-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ + "/global.ini")
            << "[FILETYPE]\ncount=1\n[FILETYPE1]\nsubcount=3\nsub_dbasename1=leaf_a\n"
               "sub_dbasename2=leaf_b\nsub_dbasename3=leaf_c\n";
        std::string error;
        ASSERT_TRUE(CreateCatalogue(dir_ + "/websdata.db", {"leaf_a", "leaf_b", "leaf_c"}, error))
            << error;
        CTorrentTable::SetDatabasePath(dir_ + "/websdata.db");
        config_ = std::make_unique<CGlobalConfig>(dir_ + "/global.ini", CGlobalConfig::SystemClock,
                                                  CGlobalConfig::Front::kHeadless);
        const OleDate base = OleDate::FromFields(2024, 3, 10);
        std::vector<CCategoryNode*> leaves = Category().GetLeaves();
        for (size_t leaf = 0; leaf < leaves.size(); ++leaf) {
            TorrentRecordArray records;
            for (int n = 0; n < 20 + 7 * static_cast<int>(leaf); ++n) {
                TorrentRecord record;
                record.Name = leaves[leaf]->m_Table.GetTableName() + "/" + std::to_string(n);
                record.AddDate.m_dt = base.m_dt - (n * (leaf + 1) / 2) / 24.0;
                records.push_back(record);
            }
            ASSERT_TRUE(leaves[leaf]->m_Table.InsertBatch(records));
        }
    }
    void TearDown() override {
        config_.reset();
        CTorrentTable::SetDatabasePath("");
        fs::remove_all(dir_);
    }

    CCategoryNode& Category() { return *config_->GetRoot().GetChild(1); }

    static std::vector<std::string> Names(const std::vector<ListedRow>& rows) {
        std::vector<std::string> names;
        for (const ListedRow& row : rows) {
            names.push_back(row.record.Name);
        }
        return names;
    }

    std::string dir_;
    std::unique_ptr<CGlobalConfig> config_;
};

TEST_F(NodePagerTest, PageAtStartsWhereTheWalkWouldAndPagesOnFromThere) {
    constexpr size_t kPage = 7;
    for (CCategoryNode* node : {&Category(), Category().GetChild(3)}) {
        std::vector<std::string> walk;
        CNodePager walker(node, kPage);
        std::vector<ListedRow> page;
        for (walker.FirstPage(page); !page.empty(); walker.NextPage(page)) {
            const std::vector<std::string> names = Names(page);
            walk.insert(walk.end(), names.begin(), names.end());
            if (walker.IsLastPage()) {
                break;
            }
        }
        ASSERT_EQ(static_cast<int64_t>(walk.size()), CNodePager::CountRows(*node));

        const auto slice = [&](int64_t from) {
            const auto begin = static_cast<size_t>(std::clamp<int64_t>(from, 0, walk.size()));
            const size_t end = std::min(begin + kPage, walk.size());
            return std::vector<std::string>(walk.begin() + begin, walk.begin() + end);
        };
        const auto total = static_cast<int64_t>(walk.size());
        for (int64_t offset : {int64_t{0}, int64_t{1}, int64_t{6}, int64_t{7}, int64_t{13},
                               int64_t{40}, total - 1, total, total + 5}) {
            SCOPED_TRACE((node->IsLeaf() ? "leaf, offset " : "category, offset ") +
                         std::to_string(offset));
            CNodePager pager(node, kPage);
            pager.PageAt(offset, page);
            EXPECT_EQ(Names(page), slice(offset));
            EXPECT_EQ(pager.IsLastPage(), offset + static_cast<int64_t>(kPage) >= total);
            if (offset + static_cast<int64_t>(kPage) >= total) {
                continue;
            }
            pager.NextPage(page);
            EXPECT_EQ(Names(page), slice(offset + kPage));
            pager.PrevPage(page);
            EXPECT_EQ(Names(page), slice(offset));
        }
    }
}

}  // namespace
