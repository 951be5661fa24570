#include "plugin_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "plugin_home.h"

namespace {

TorrentRecord Row(const std::string& strName) {
    TorrentRecord record;
    record.Name = strName;
    record.Type = 3 * 256 + 1;
    return record;
}

std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class PluginHostTest : public ::testing::Test {
  protected:
    PluginHome home;
};

TEST_F(PluginHostTest, CollectStampsEachPluginsEntriesInListOrder) {
    home.ListPlugins(3);
    PluginHost host(home.Dir());
    ASSERT_EQ(host.GetPluginCount(), 3);
    EXPECT_TRUE(host.TakeLoadReports().empty());

    home.Script("p0.so")->pageRows[3 * 8 + 1] = {Row("a0"), Row("a1")};
    home.Script("p1.so")->pageRows[3 * 8 + 1] = {Row("b0")};
    home.Script("p2.so")->pageRows[3 * 8 + 1] = {Row("c0"), Row("c1")};

    TorrentRecordArray records{Row("kept")};
    records[0].DllID = 7;
    EXPECT_EQ(host.GetDownPageData(3, 1, records), 1);

    ASSERT_EQ(records.size(), 6u);
    const std::pair<const char*, int> expected[] = {{"kept", 7}, {"a0", 0}, {"a1", 0},
                                                    {"b0", 1},   {"c0", 2}, {"c1", 2}};
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].Name, expected[i].first);
        EXPECT_EQ(records[i].DllID, expected[i].second) << records[i].Name;
    }

    // A hand-over empties the plug-ins' lists: the next collect adds nothing.
    TorrentRecordArray again;
    host.GetDownPageData(3, 1, again);
    EXPECT_TRUE(again.empty());
}

TEST_F(PluginHostTest, CombinedStatusSumsAnswersOtherThanMinusOne) {
    home.ListPlugins(3);
    PluginHost host(home.Dir());
    host.StartDownPage(2, 4);
    const int slot = 2 * 8 + 4;
    auto answer = [&](int a, int b, int c) {
        home.Script("p0.so")->pageStatus[slot] = a;
        home.Script("p1.so")->pageStatus[slot] = b;
        home.Script("p2.so")->pageStatus[slot] = c;
        return host.GetDownPageStatus(2, 4);
    };
    EXPECT_EQ(answer(100, 100, 40), 80);
    EXPECT_EQ(answer(-1, 100, 40), 46);
    EXPECT_EQ(answer(-1, -1, -1), -1);
    EXPECT_EQ(answer(0, 0, 0), 0);
    EXPECT_EQ(answer(100, 100, 100), 100);

    PluginHost::SearchHandles handles = host.StartSearch("kw");
    ASSERT_EQ(handles.size(), 3u);
    home.Script("p0.so")->nSearchStatus = 100;
    home.Script("p1.so")->nSearchStatus = -1;
    home.Script("p2.so")->nSearchStatus = 40;
    EXPECT_EQ(host.GetSearchStatus(handles), 46);
    host.StopSearch(handles);
}

TEST_F(PluginHostTest, FanOutReachesEveryPluginWithTheSameArguments) {
    home.ListPlugins(2);
    PluginHost host(home.Dir());
    host.StartDownPage(3, 2);
    host.GetDownPageStatus(3, 2);
    host.StopDownPage(3, 2);
    host.ClearPageRecord(3, 2, OleDate{});
    for (const char* name : {"p0.so", "p1.so"}) {
        EXPECT_EQ(home.Script(name)->calls,
                  (std::vector<std::string>{"StartDownPage 3 2", "GetDownPageStatus 3 2",
                                            "StopDownPage 3 2", "ClearPageRecord 3 2 0.000000"}))
            << name;
    }
}

TEST_F(PluginHostTest, BrokenPluginsKeepTheirPlaceAndAreSkipped) {
    home.AddPlugin("good.so");
    home.AddPlugin("other/good.so");
    home.AddPlugin("incomplete.so", false);
    home.WriteRegistry(
        "[DLL]\ncount=5\n0=good.so\n1=missing.so\n2=incomplete.so\n4=other/good.so\n"
        "[Site_good.so]\nBase=http://127.0.0.1:9/\n");
    PluginHost host(home.Dir());

    const auto& info = host.GetPluginInfo();
    ASSERT_EQ(info.size(), 5u);
    EXPECT_EQ(info[0].state, PluginHost::PluginState::kLoaded);
    EXPECT_EQ(info[1].state, PluginHost::PluginState::kMissingFile);
    EXPECT_EQ(info[2].state, PluginHost::PluginState::kIncomplete);
    EXPECT_NE(info[2].strReason.find("WebIOCtl"), std::string::npos) << info[2].strReason;
    EXPECT_EQ(info[3].state, PluginHost::PluginState::kMissingFile);
    EXPECT_EQ(info[4].state, PluginHost::PluginState::kLoaded);
    EXPECT_EQ(info[4].strName, "other/good.so");
    EXPECT_EQ(host.GetUsablePluginCount(), 2);
    EXPECT_EQ(host.GetSiteBase(0), "http://127.0.0.1:9/");
    EXPECT_EQ(host.GetSiteBase(4), "");
    EXPECT_EQ(host.GetSiteBase(9), "");

    // Each broken plug-in is reported once, naming its position.
    const std::vector<std::string> reports = host.TakeLoadReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[0].find("missing.so"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find("incomplete.so"), std::string::npos) << reports[1];
    EXPECT_NE(reports[2].find("Plug-in 3"), std::string::npos) << reports[2];
    EXPECT_TRUE(host.TakeLoadReports().empty());

    // The usable plug-ins keep their DllIDs, and the status divides by them.
    PluginScript* first = home.Script("good.so");
    PluginScript* last = home.Script("other/good.so");
    ASSERT_TRUE(first && last);
    first->pageStatus[3 * 8 + 1] = 100;
    last->pageStatus[3 * 8 + 1] = 40;
    EXPECT_EQ(host.GetDownPageStatus(3, 1), 70);
    last->pageRows[3 * 8 + 1] = {Row("x")};
    TorrentRecordArray records;
    host.GetDownPageData(3, 1, records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].DllID, 4);

    // Records of broken or unlisted plug-ins route nowhere.
    for (int nDllID : {1, 2, 3, 5, 70000, -1}) {
        TorrentRecord record = Row("r");
        record.DllID = nDllID;
        record.DownHd = 9;
        EXPECT_EQ(host.GetDownTFileStatus(record), -1) << nDllID;
        EXPECT_FALSE(host.IsDownTFileAlive(record));
        EXPECT_EQ(host.StopDownTFile(record), 0);
        EXPECT_EQ(record.DownHd, 0);
        EXPECT_EQ(host.StartDownTFile(record), 0);
        EXPECT_EQ(host.GetEntryInfoText(record), "");
    }
    EXPECT_TRUE(first->calls.size() == 2 && last->calls.size() == 2);
}

TEST_F(PluginHostTest, NoPluginsMeansNothingToDo) {
    for (const char* registry : {"", "[DLL]\ncount=0\n", "[DLL]\ncount=-4\n0=p0.so\n"}) {
        home.WriteRegistry(registry);
        home.AddPlugin("p0.so");
        PluginHost host(home.Dir());
        EXPECT_EQ(host.GetDownPageStatus(3, 1), -1);
        TorrentRecordArray records{Row("kept")};
        EXPECT_EQ(host.GetDownPageData(3, 1, records), 1);
        EXPECT_EQ(records.size(), 1u);
        PluginHost::SearchHandles handles = host.StartSearch("kw");
        EXPECT_TRUE(handles.empty());
        EXPECT_EQ(host.GetSearchStatus(handles), -1);
        TorrentRecord record = Row("r");
        EXPECT_EQ(host.StartDownTFile(record), 0);
        EXPECT_TRUE(host.IsLoaded());
        EXPECT_EQ(home.Script("p0.so"), nullptr);
    }
    std::filesystem::remove(home.Kernel() + "/dllmgr.ini");
    PluginHost host(home.Dir());
    EXPECT_EQ(host.GetPluginCount(), 0);
    EXPECT_EQ(host.GetDownPageStatus(1, 1), -1);
}

TEST_F(PluginHostTest, StopAllBeforeAnyOtherCallLoadsNothing) {
    home.ListPlugins(1);
    {
        PluginHost host(home.Dir());
        host.StopAll();
        EXPECT_FALSE(host.IsLoaded());
        EXPECT_EQ(home.Script("p0.so"), nullptr);
    }
    EXPECT_EQ(home.Script("p0.so"), nullptr);
}

TEST_F(PluginHostTest, DestructionStopsAllAndUnloads) {
    home.ListPlugins(2);
    PluginScript* script = nullptr;
    {
        PluginHost host(home.Dir());
        host.StartDownPage(1, 1);
        script = home.Script("p1.so");
        ASSERT_NE(script, nullptr);
    }
    // The test's own reference keeps the script readable.
    EXPECT_EQ(script->calls, (std::vector<std::string>{"StartDownPage 1 1", "StopAll"}));
    // Only the test's reference is left on p0.so, none was taken.
    EXPECT_EQ(home.Script("p0.so"), nullptr);
}

TEST_F(PluginHostTest, TorrentFileCallsGoToTheEntrysPlugin) {
    home.ListPlugins(3);
    PluginHost host(home.Dir());
    host.GetPluginCount();
    PluginScript* target = home.Script("p1.so");
    target->nTFileHandle = 5;
    target->nTFileStatus = 42;

    TorrentRecord record = Row("r");
    record.DllID = 1;
    record.FileName = "name";
    EXPECT_EQ(host.StartDownTFile(record), 5);
    EXPECT_EQ(record.DownHd, 5);
    EXPECT_EQ(host.GetDownTFileStatus(record), 42);
    EXPECT_TRUE(host.IsDownTFileAlive(record));
    target->nTFileStatus = -1;
    EXPECT_FALSE(host.IsDownTFileAlive(record));
    EXPECT_EQ(host.StopDownTFile(record), 1);
    EXPECT_EQ(record.DownHd, 0);

    EXPECT_EQ(target->calls,
              (std::vector<std::string>{"StartDownTFile name", "GetDownTFileStatus 5",
                                        "GetDownTFileStatus 5", "GetDownTFileStatus 5",
                                        "StopDownTFile 5"}));
    EXPECT_TRUE(home.Script("p0.so")->calls.empty());
    EXPECT_TRUE(home.Script("p2.so")->calls.empty());
}

TEST_F(PluginHostTest, SearchHandlesAreKeptPerPlugin) {
    home.ListPlugins(3);
    PluginHost host(home.Dir());
    host.GetPluginCount();
    home.Script("p0.so")->searchHandle = 1000;
    home.Script("p1.so")->searchHandle = kNoSearch;
    home.Script("p2.so")->searchHandle = 3000;
    home.Script("p2.so")->searchRows = {Row("s0"), Row("s1")};

    PluginHost::SearchHandles handles = host.StartSearch("key word");
    EXPECT_EQ(handles, (PluginHost::SearchHandles{1000, kNoSearch, 3000}));

    TorrentRecordArray records;
    EXPECT_EQ(host.GetSearchData(handles, records), 1);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].DllID, 2);
    EXPECT_EQ(records[1].DllID, 2);

    host.StopSearch(handles);
    EXPECT_TRUE(handles.empty());
    EXPECT_EQ(home.Script("p0.so")->calls.back(), "StopSearch 1000");
    EXPECT_EQ(home.Script("p2.so")->calls.back(), "StopSearch 3000");
    // A search that never started is not stopped.
    EXPECT_EQ(home.Script("p1.so")->calls.back(), "GetSearchData -1");
}

TEST_F(PluginHostTest, InformationTextAndTipFile) {
    home.ListPlugins(2);
    std::string strTipPath;
    {
        PluginHost host(home.Dir());
        host.GetPluginCount();
        PluginScript* script = home.Script("p1.so");
        script->bHasInfo = true;
        script->strInfo = "<b>a long description with 100% of the details</b>";

        TorrentRecord record = Row("[wren] Title");
        record.DllID = 1;
        EXPECT_EQ(host.GetEntryInfoText(record), script->strInfo);

        strTipPath = host.RenderInfoTip(record);
        ASSERT_FALSE(strTipPath.empty());
        EXPECT_EQ(std::filesystem::path(strTipPath).parent_path(),
                  std::filesystem::path(home.Dir()).parent_path());
        EXPECT_EQ(std::filesystem::path(strTipPath).extension(), ".htm");
        const std::string strFirst = ReadFile(strTipPath);
        EXPECT_NE(strFirst.find("<font color=\"#0000FF\" size=\"2\">[wren] Title</font>"),
                  std::string::npos)
            << strFirst;
        EXPECT_NE(strFirst.find("<td width=\"100%\" height=\"16\">" + script->strInfo +
                                "</td></tr></table>"),
                  std::string::npos)
            << strFirst;

        // The second tip rewrites the same file, cut to its new length.
        script->bHasInfo = false;
        record.Name = "x";
        EXPECT_EQ(host.RenderInfoTip(record), strTipPath);
        const std::string strSecond = ReadFile(strTipPath);
        EXPECT_LT(strSecond.size(), strFirst.size());
        EXPECT_NE(strSecond.find(">x</font>"), std::string::npos);
        EXPECT_NE(strSecond.find("height=\"16\"></td></tr></table>"), std::string::npos);
        EXPECT_EQ(strSecond.substr(strSecond.size() - 8), "</table>");
    }
    EXPECT_FALSE(std::filesystem::exists(strTipPath));
}

TEST_F(PluginHostTest, TipFileNeverTakesAnExistingName) {
    home.ListPlugins(1);
    // Occupy the names the next seconds would give.
    const long now = static_cast<long>(std::time(nullptr));
    for (long n = now; n < now + 5; ++n) {
        std::ofstream(home.Dir() + std::to_string(n) + ".htm") << "theirs";
    }
    PluginHost host(home.Dir());
    TorrentRecord record = Row("r");
    const std::string strPath = host.RenderInfoTip(record);
    ASSERT_FALSE(strPath.empty());
    for (long n = now; n < now + 5; ++n) {
        EXPECT_EQ(ReadFile(home.Dir() + std::to_string(n) + ".htm"), "theirs");
    }
}

}  // namespace
