#include "plugin_host.h"

#include <gtest/gtest.h>

#include <sstream>

#include "plugin_home.h"

namespace {

TorrentRecord Row(const std::string& strName, int nDllID = 0) {
    TorrentRecord record;
    record.Name = strName;
    record.DllID = nDllID;
    return record;
}

std::string ReadFile(const std::string& strPath) {
    std::stringstream text;
    text << std::ifstream(strPath).rdbuf();
    return text.str();
}

using Calls = std::vector<std::string>;

TEST(PluginHost, FansOutInListOrderAndStampsDllID) {
    PluginHome home;
    home.ListPlugins(3);
    PluginHost host(home.Dir());
    host.StartDownPage(3, 1);
    home.Script("p0.so")->pageRows[25] = {Row("a0"), Row("a1")};
    home.Script("p2.so")->pageRows[25] = {Row("c0")};

    TorrentRecordArray records{Row("kept", 7)};
    EXPECT_EQ(host.GetDownPageData(3, 1, records), 1);
    ASSERT_EQ(records.size(), 4u);
    const std::pair<const char*, int> expected[] = {{"kept", 7}, {"a0", 0}, {"a1", 0}, {"c0", 2}};
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].Name, expected[i].first);
        EXPECT_EQ(records[i].DllID, expected[i].second) << records[i].Name;
    }
    host.ClearPageRecord(3, 1, OleDate{2.5});
    EXPECT_EQ(home.Script("p1.so")->calls,
              (Calls{"StartDownPage 3 1", "GetDownPageData 3 1", "ClearPageRecord 3 1 2.500000"}));

    // The combined status: answers other than -1, summed, over all usable.
    auto combined = [&](int a, int b, int c) {
        home.Script("p0.so")->pageStatus[25] = a;
        home.Script("p1.so")->pageStatus[25] = b;
        home.Script("p2.so")->pageStatus[25] = c;
        return host.GetDownPageStatus(3, 1);
    };
    EXPECT_EQ(combined(100, 100, 40), 80);
    EXPECT_EQ(combined(-1, 100, 40), 46);
    EXPECT_EQ(combined(-1, -1, -1), -1);
    EXPECT_EQ(combined(100, 100, 100), 100);
}

TEST(PluginHost, BrokenPluginsKeepTheirPlaceAndAreSkipped) {
    PluginHome home;
    home.AddPlugin("good.so");
    home.AddPlugin("sub/good.so");
    home.AddPlugin("incomplete.so", false);
    home.WriteRegistry(
        "[DLL]\ncount=5\n0=good.so\n1=missing.so\n2=incomplete.so\n4=sub/good.so\n"
        "[Site_sub/good.so]\nBase=http://127.0.0.1:9/\n");
    PluginHost host(home.Dir());

    using State = PluginHost::PluginState;
    const auto& info = host.GetPluginInfo();
    ASSERT_EQ(info.size(), 5u);
    const State states[] = {State::kLoaded, State::kMissingFile, State::kIncomplete,
                            State::kMissingFile, State::kLoaded};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(info[i].state, states[i]) << i;
    }
    EXPECT_NE(info[2].strReason.find("WebIOCtl"), std::string::npos) << info[2].strReason;
    EXPECT_EQ(host.GetSiteBase(4), "http://127.0.0.1:9/");
    EXPECT_EQ(host.GetSiteBase(0), "");

    const std::vector<std::string> reports = host.TakeLoadReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[0].find("missing.so"), std::string::npos) << reports[0];
    EXPECT_NE(reports[2].find("Plug-in 3"), std::string::npos) << reports[2];
    EXPECT_TRUE(host.TakeLoadReports().empty());

    // The usable ones keep their DllIDs; the status divides by them.
    PluginScript* last = home.Script("sub/good.so");
    last->pageStatus[25] = 40;
    EXPECT_EQ(host.GetDownPageStatus(3, 1), 70);
    last->pageRows[25] = {Row("x")};
    TorrentRecordArray records;
    host.GetDownPageData(3, 1, records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].DllID, 4);

    // Records of broken or unlisted plug-ins route nowhere.
    for (int nDllID : {1, 2, 3, 5, -1}) {
        TorrentRecord record = Row("r", nDllID);
        record.DownHd = 9;
        EXPECT_EQ(host.GetDownTFileStatus(record), -1) << nDllID;
        EXPECT_EQ(host.StopDownTFile(record), 0);
        EXPECT_EQ(record.DownHd, 0);
        EXPECT_EQ(host.StartDownTFile(record), 0);
        EXPECT_EQ(host.GetEntryInfoText(record), "");
    }
}

TEST(PluginHost, WithoutPluginsNothingLoadsAndStatusIsMinusOne) {
    PluginHome home;
    home.AddPlugin("p0.so");
    for (const char* registry : {"", "[DLL]\ncount=0\n", "[DLL]\ncount=-4\n0=p0.so\n"}) {
        home.WriteRegistry(registry);
        PluginHost host(home.Dir());
        EXPECT_EQ(host.GetDownPageStatus(3, 1), -1);
        TorrentRecordArray records{Row("kept")};
        host.GetDownPageData(3, 1, records);
        EXPECT_EQ(records.size(), 1u);
        PluginHost::SearchHandles handles = host.StartSearch("kw");
        EXPECT_TRUE(handles.empty());
        EXPECT_EQ(host.GetSearchStatus(handles), -1);
        EXPECT_EQ(home.Script("p0.so"), nullptr);
    }
    // Stop all is no reason to load.
    home.ListPlugins(1);
    PluginHost host(home.Dir());
    host.StopAll();
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_EQ(home.Script("p0.so"), nullptr);
}

TEST(PluginHost, RegistryCountsAreBoundedAndEveryOddOneIsReported) {
    const struct {
        const char* count;
        int loaded;
        const char* report;  // empty: no word about the count
    } cases[] = {
        {"3", 3, ""},
        {"", 0, ""},
        {"65536", 256, "'65536' of * is more than 256; only the first 256 are loaded"},
        {"100000", 256, "'100000' of * is more than 256; only the first 256 are loaded"},
        {"abc", 0, "'abc' of * is not a whole number; no plug-in is loaded"},
        {"7x", 7, "'7x' of * is not a whole number; read as 7"},
        {"-4", 0, "'-4' of * is negative; no plug-in is loaded"},
    };
    PluginHome home;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        home.WriteRegistry(std::string("[DLL]\ncount=") + c.count + "\n");
        PluginHost host(home.Dir());
        std::string error;
        EXPECT_TRUE(host.CheckRegistry(error)) << error;
        EXPECT_EQ(host.GetPluginCount(), c.loaded);
        std::vector<std::string> countReports;
        for (const std::string& report : host.TakeLoadReports()) {
            if (report.starts_with("the [DLL] count")) {
                countReports.push_back(report);
            }
        }
        std::string expected = c.report;
        if (const auto star = expected.find('*'); star != std::string::npos) {
            expected.replace(star, 1, home.Kernel() + "dllmgr.ini");
        }
        EXPECT_EQ(countReports, expected.empty()
                                    ? std::vector<std::string>{}
                                    : std::vector<std::string>{"the [DLL] count " + expected});
    }

    // A registry that cannot be read is no empty list.
    std::filesystem::remove(home.Kernel() + "dllmgr.ini");
    std::filesystem::create_directory(home.Kernel() + "dllmgr.ini");
    PluginHost host(home.Dir());
    std::string error;
    EXPECT_FALSE(host.CheckRegistry(error));
    EXPECT_NE(error.find("dllmgr.ini"), std::string::npos) << error;
    EXPECT_EQ(host.GetPluginCount(), 0);
}

TEST(PluginHost, RoutesTorrentFilesAndKeepsSearchHandlesPerPlugin) {
    PluginHome home;
    home.ListPlugins(3);
    PluginScript* script = nullptr;
    {
        PluginHost host(home.Dir());
        host.GetPluginCount();
        script = home.Script("p1.so");
        script->nTFileHandle = 5;
        script->nTFileStatus = 42;
        TorrentRecord record = Row("r", 1);
        record.FileName = "name";
        EXPECT_EQ(host.StartDownTFile(record), 5);
        EXPECT_EQ(record.DownHd, 5);
        EXPECT_TRUE(host.IsDownTFileAlive(record));
        EXPECT_EQ(host.StopDownTFile(record), 1);
        EXPECT_EQ(record.DownHd, 0);
        EXPECT_TRUE(home.Script("p0.so")->calls.empty());

        home.Script("p0.so")->searchHandle = 1000;
        home.Script("p2.so")->searchHandle = 3000;
        home.Script("p2.so")->searchRows = {Row("s0")};
        PluginHost::SearchHandles handles = host.StartSearch("key word");
        EXPECT_EQ(handles, (PluginHost::SearchHandles{1000, kNoSearch, 3000}));
        TorrentRecordArray records;
        host.GetSearchData(handles, records);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].DllID, 2);
        host.StopSearch(handles);
        EXPECT_TRUE(handles.empty());
        EXPECT_EQ(home.Script("p2.so")->calls.back(), "StopSearch 3000");
    }
    // A search that never started is not stopped; destruction stops all.
    EXPECT_EQ(script->calls,
              (Calls{"StartDownTFile name", "GetDownTFileStatus 5", "StopDownTFile 5",
                     "StartSearch key word", "GetSearchData -1", "StopAll"}));
}

TEST(PluginHost, InformationTipReusesOneFileAndRemovesIt) {
    PluginHome home;
    home.ListPlugins(2);
    // Names the next seconds would give belong to someone else.
    const long now = static_cast<long>(std::time(nullptr));
    for (long n = now; n < now + 5; ++n) {
        std::ofstream(home.Dir() + std::to_string(n) + ".htm") << "theirs";
    }
    std::string strPath;
    {
        PluginHost host(home.Dir());
        host.GetPluginCount();
        PluginScript* script = home.Script("p1.so");
        script->bHasInfo = true;
        script->strInfo = "<b>100% described</b>";
        TorrentRecord record = Row("[wren] <script>alert(\"x\")</script> Tom & Jerry's", 1);
        EXPECT_EQ(host.GetEntryInfoText(record), script->strInfo);

        strPath = host.RenderInfoTip(record);
        ASSERT_FALSE(strPath.empty());
        EXPECT_EQ(strPath.rfind(home.Dir(), 0), 0u);
        const std::string strFirst = ReadFile(strPath);
        // The name is the site's text, shown as text; the detail is markup.
        EXPECT_NE(
            strFirst.find("size=\"2\">[wren] &lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; "
                          "Tom &amp; Jerry&#39;s</font>"),
            std::string::npos)
            << strFirst;
        EXPECT_NE(strFirst.find("height=\"16\"><b>100% described</b></td></tr></table>"),
                  std::string::npos)
            << strFirst;

        // Rewritten from its start and cut to the new length.
        script->bHasInfo = false;
        record.Name = "x";
        EXPECT_EQ(host.RenderInfoTip(record), strPath);
        const std::string strSecond = ReadFile(strPath);
        EXPECT_NE(strSecond.find(">x</font>"), std::string::npos);
        EXPECT_EQ(strSecond.substr(strSecond.size() - 30), "height=\"16\"></td></tr></table>");
    }
    EXPECT_FALSE(std::filesystem::exists(strPath));
    for (long n = now; n < now + 5; ++n) {
        EXPECT_EQ(ReadFile(home.Dir() + std::to_string(n) + ".htm"), "theirs");
    }
}

}  // namespace
