#include "search_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "task_home.h"

namespace {

using Names = std::vector<std::string>;

class SearchSessionTest : public ::testing::Test {
  protected:
    explicit SearchSessionTest(int nPlugins = 2) : home(nPlugins) {
        home.WriteScript(0, R"({"searchBatches": [[{"Name": "p0 one"}], [{"Name": "p0 two"}]]})");
        home.WriteScript(1, R"({"searchBatches": [[{"Name": "p1 one"}]]})");
        config = std::make_unique<CGlobalConfig>(home.GlobalIni());
        host = std::make_unique<PluginHost>(home.Dir());
        session = std::make_unique<CSearchSession>(*host, *config);
    }
    ~SearchSessionTest() override {
        session.reset();
        host.reset();
    }

    // Later names get later dates.
    void Store(size_t nCategory, size_t nLeaf, const Names& names) {
        TorrentRecordArray rows;
        for (size_t i = 0; i < names.size(); ++i) {
            rows.push_back(MakeEntry(names[i], names[i], 0,
                                     "2024-03-0" + std::to_string(i + 1) + " 12:00:00"));
        }
        ASSERT_TRUE(
            config->GetRoot().GetChild(nCategory)->GetChild(nLeaf)->m_Table.InsertBatch(rows));
    }

    Names RowNames() const {
        Names names;
        for (const CSearchSession::ResultRow& row : session->GetRows()) {
            names.push_back(row.record.Name + (row.source == CSearchSession::Source::kSite
                                                   ? "@" + std::to_string(row.record.DllID)
                                                   : ""));
        }
        return names;
    }

    TaskHome home;
    std::unique_ptr<CGlobalConfig> config;
    std::unique_ptr<PluginHost> host;
    std::unique_ptr<CSearchSession> session;
};

TEST_F(SearchSessionTest, LocalRowsInTreeOrderThenSiteRowsAsTheyArrive) {
    Store(2, 1, {"beta ONE"});
    Store(1, 2, {"old two One", "new two one", "two"});
    Store(1, 1, {"one"});
    ASSERT_EQ(session->Start("  one "), CSearchSession::StartResult::kStarted);
    EXPECT_EQ(RowNames(), (Names{"one", "new two one", "old two One", "beta ONE"}));
    EXPECT_EQ(home.Script(0)->calls, Names{"StartSearch one"});

    session->Poll();
    EXPECT_EQ(session->GetProgress(), 75);
    EXPECT_TRUE(session->IsSearching());
    session->Poll();
    EXPECT_FALSE(session->IsSearching());
    EXPECT_EQ(RowNames(), (Names{"one", "new two one", "old two One", "beta ONE", "p0 one@0",
                                 "p1 one@1", "p0 two@0"}));
    EXPECT_EQ(home.Script(1)->calls.back(), "StopSearch");
}

TEST_F(SearchSessionTest, StopKeepsRowsBlankKeywordSearchesNothing) {
    Store(1, 1, {"one"});
    session->Start("one");
    session->Poll();
    session->Stop();
    EXPECT_EQ(home.Script(0)->calls.back(), "StopSearch");
    session->Poll();
    EXPECT_EQ(RowNames(), (Names{"one", "p0 one@0", "p1 one@1"}));

    EXPECT_EQ(session->Start(" \t "), CSearchSession::StartResult::kEmptyKeyword);
    EXPECT_TRUE(RowNames().empty());
    EXPECT_EQ(session->GetHistory(), Names{"one"});
    EXPECT_EQ(home.Script(0)->calls.size(), 2u);

    session->Start("one", {.bLocal = true, .bSites = false});
    EXPECT_FALSE(session->IsSearching());
    EXPECT_EQ(RowNames(), Names{"one"});
}

class NoPluginSearchTest : public SearchSessionTest {
  protected:
    NoPluginSearchTest() : SearchSessionTest(0) {}
};

TEST_F(NoPluginSearchTest, EndsWhenNoPluginCanSearch) {
    session->Start("anything");
    session->Poll();
    EXPECT_FALSE(session->IsSearching());
}

TEST_F(SearchSessionTest, KeywordHistory) {
    for (const char* keyword : {"one", "two", "three", "one", "TWO"}) {
        session->AddToHistory(keyword);
    }
    EXPECT_EQ(session->GetHistory(), (Names{"TWO", "one", "three"}));
    for (int i = 0; i < 60; ++i) {
        session->AddToHistory("k" + std::to_string(i));
    }
    ASSERT_EQ(session->GetHistory().size(), 50u);
    EXPECT_EQ(session->GetHistory().back(), "k10");

    ASSERT_TRUE(session->SaveHistory());
    CGlobalConfig reread(home.GlobalIni());
    CSearchSession reloaded(*host, reread);
    reloaded.LoadHistory();
    EXPECT_EQ(reloaded.GetHistory(), session->GetHistory());

    EXPECT_TRUE(CSearchSession::SameKeyword("ÄRGER Ωmega", "ärger ωMEGA"));
    EXPECT_FALSE(CSearchSession::SameKeyword("电影", "电视"));
    EXPECT_FALSE(CSearchSession::SameKeyword("abc", "abcd"));
    EXPECT_TRUE(CSearchSession::SameKeyword("a\xff", "A\xff"));
    EXPECT_FALSE(CSearchSession::SameKeyword("a\xff", "a\xfe"));
}

}  // namespace
