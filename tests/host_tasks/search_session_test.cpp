#include "search_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "task_home.h"

namespace {

nlohmann::json Row(const std::string& strName) {
    return {{"Name", strName}, {"Addr0", "http://site.example/" + strName}};
}

class SearchSessionTest : public ::testing::Test {
  protected:
    explicit SearchSessionTest(int nPlugins = 2) : home(nPlugins) {
        home.WriteScript(0,
                         {{"searchBatches", {{Row("[p0] Ubuntu one")}, {Row("[p0] ubuntu two")}}}});
        home.WriteScript(1, {{"searchBatches", {{Row("[p1] UBUNTU three")}}}});
        config = std::make_unique<CGlobalConfig>(home.GlobalIni());
        host = std::make_unique<PluginHost>(home.Dir());
        session = std::make_unique<CSearchSession>(*host, *config);
    }
    ~SearchSessionTest() override {
        session.reset();
        host.reset();
        config.reset();
    }

    void Store(size_t nCategory, size_t nLeaf, const std::vector<std::string>& names) {
        TorrentRecordArray rows;
        for (size_t i = 0; i < names.size(); ++i) {
            // Later names are newer.
            rows.push_back(MakeEntry(names[i], "local:" + names[i], 0,
                                     "2024-03-0" + std::to_string(i + 1) + " 12:00:00"));
        }
        ASSERT_TRUE(
            config->GetRoot().GetChild(nCategory)->GetChild(nLeaf)->m_Table.InsertBatch(rows));
    }

    std::vector<std::string> RowNames() const {
        std::vector<std::string> names;
        for (const CSearchSession::ResultRow& row : session->GetRows()) {
            names.push_back(row.record.Name);
        }
        return names;
    }

    TaskHome home;
    std::unique_ptr<CGlobalConfig> config;
    std::unique_ptr<PluginHost> host;
    std::unique_ptr<CSearchSession> session;
};

TEST_F(SearchSessionTest, LocalRowsInTreeOrderThenSiteRowsAsTheyArrive) {
    Store(2, 1, {"beta ubuntu"});
    Store(1, 2, {"old Ubuntu two", "new ubuntu two", "debian"});
    Store(1, 1, {"ubuntu one"});

    ASSERT_EQ(session->Start("  ubuntu "), CSearchSession::StartResult::kStarted);
    EXPECT_EQ(session->GetKeyword(), "ubuntu");
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"ubuntu one", "new ubuntu two",
                                                    "old Ubuntu two", "beta ubuntu"}));
    EXPECT_EQ(session->GetRows()[1].pLeaf->m_strTableName, "alpha_two");
    EXPECT_TRUE(session->IsSearching());
    EXPECT_EQ(home.Script(0)->calls, std::vector<std::string>{"StartSearch ubuntu"});

    session->Poll();
    EXPECT_EQ(session->GetProgress(), 75);
    EXPECT_TRUE(session->IsSearching());
    session->Poll();
    EXPECT_EQ(session->GetProgress(), 100);
    EXPECT_FALSE(session->IsSearching());

    const std::vector<CSearchSession::ResultRow>& rows = session->GetRows();
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[3].source, CSearchSession::Source::kLocal);
    const std::vector<std::pair<std::string, int>> siteRows = {
        {rows[4].record.Name, rows[4].record.DllID},
        {rows[5].record.Name, rows[5].record.DllID},
        {rows[6].record.Name, rows[6].record.DllID}};
    EXPECT_EQ(siteRows,
              (std::vector<std::pair<std::string, int>>{
                  {"[p0] Ubuntu one", 0}, {"[p1] UBUNTU three", 1}, {"[p0] ubuntu two", 0}}));
    EXPECT_EQ(rows[6].source, CSearchSession::Source::kSite);
    EXPECT_EQ(rows[6].pLeaf, nullptr);
    EXPECT_EQ(home.Script(0)->calls.back(), "StopSearch");
    EXPECT_EQ(home.Script(1)->calls.back(), "StopSearch");

    // A completed download marks the first row with its Addr0.
    TorrentRecord task = rows[5].record;
    task.bCompleted = 100;
    task.FileName = "[p1] UBUNTU three";
    session->UpdateEntry(task);
    EXPECT_EQ(session->GetRows()[5].record.FileName, "[p1] UBUNTU three");
    EXPECT_EQ(session->GetRows()[5].record.bCompleted, 100);
}

TEST_F(SearchSessionTest, StoppingKeepsTheRowsAndABlankKeywordSearchesNothing) {
    Store(1, 1, {"ubuntu one"});
    session->Start("ubuntu");
    session->Poll();
    session->Stop();
    EXPECT_FALSE(session->IsSearching());
    EXPECT_EQ(RowNames().size(), 3u);
    EXPECT_EQ(home.Script(0)->calls.back(), "StopSearch");
    session->Poll();
    EXPECT_EQ(RowNames().size(), 3u);

    EXPECT_EQ(session->Start(" \t "), CSearchSession::StartResult::kEmptyKeyword);
    EXPECT_TRUE(RowNames().empty());
    EXPECT_FALSE(session->IsSearching());
    EXPECT_EQ(session->GetHistory(), std::vector<std::string>{"ubuntu"});
    EXPECT_EQ(home.Script(0)->calls.size(), 2u) << "no second StartSearch";

    // Scopes: the local catalogue alone ends at once.
    session->Start("ubuntu", {.bLocal = true, .bSites = false});
    EXPECT_FALSE(session->IsSearching());
    EXPECT_EQ(RowNames(), std::vector<std::string>{"ubuntu one"});
    session->Start("ubuntu", {.bLocal = false, .bSites = true});
    EXPECT_TRUE(RowNames().empty());
    EXPECT_TRUE(session->IsSearching());
}

class NoPluginSearchTest : public SearchSessionTest {
  protected:
    NoPluginSearchTest() : SearchSessionTest(0) {}
};

TEST_F(NoPluginSearchTest, EndsWhenNoPluginCanSearch) {
    session->Start("anything");
    session->Poll();
    EXPECT_FALSE(session->IsSearching());
    EXPECT_EQ(session->GetProgress(), 100);
}

TEST_F(SearchSessionTest, KeywordHistory) {
    for (const char* keyword : {"one", "two", "three"}) {
        session->AddToHistory(keyword);
    }
    session->AddToHistory("one");
    EXPECT_EQ(session->GetHistory(), (std::vector<std::string>{"one", "three", "two"}));
    session->AddToHistory("TWO");
    EXPECT_EQ(session->GetHistory(), (std::vector<std::string>{"TWO", "one", "three"}));

    for (int i = 0; i < 60; ++i) {
        session->AddToHistory("k" + std::to_string(i));
    }
    ASSERT_EQ(session->GetHistory().size(), 50u);
    EXPECT_EQ(session->GetHistory().front(), "k59");
    EXPECT_EQ(session->GetHistory().back(), "k10");

    session->SaveHistory();
    CGlobalConfig reread(home.GlobalIni());
    CSearchSession reloaded(*host, reread);
    reloaded.LoadHistory();
    EXPECT_EQ(reloaded.GetHistory(), session->GetHistory());
}

TEST(SameKeyword, FoldsLetterCaseOnly) {
    EXPECT_TRUE(CSearchSession::SameKeyword("Ubuntu ISO", "uBUNTU iso"));
    EXPECT_TRUE(CSearchSession::SameKeyword("ÄRGER Ωmega", "ärger ωMEGA"));
    EXPECT_TRUE(CSearchSession::SameKeyword("电影", "电影"));
    EXPECT_FALSE(CSearchSession::SameKeyword("电影", "电视"));
    EXPECT_FALSE(CSearchSession::SameKeyword("abc", "abcd"));
    EXPECT_FALSE(CSearchSession::SameKeyword("abc", "abd"));
    // Malformed bytes compare as themselves.
    EXPECT_TRUE(CSearchSession::SameKeyword("a\xff", "A\xff"));
    EXPECT_FALSE(CSearchSession::SameKeyword("a\xff", "a\xfe"));
}

}  // namespace
