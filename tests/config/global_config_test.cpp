#include "global_config.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fixture_server.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int64_t kNow = 1'700'000'000;

class GlobalConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "config-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        home_ = pattern;
        fs::create_directories(home_ + "/kernel");
        path_ = home_ + "/kernel/global.ini";
    }
    void TearDown() override { fs::remove_all(home_); }

    void WriteFile(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
    }
    std::string ReadFile() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string Value(const std::string& section, const std::string& key) const {
        std::string out;
        CIniFile(path_).GetString(section, key, out);
        return out;
    }
    bool Has(const std::string& section, const std::string& key) const {
        return CIniFile(path_).GetInt64(section, key, -12345) != -12345 ||
               !Value(section, key).empty();
    }
    std::unique_ptr<CGlobalConfig> Load(
        int64_t now = kNow, CGlobalConfig::Front front = CGlobalConfig::Front::kDesktop) {
        return std::make_unique<CGlobalConfig>(
            path_, [now] { return now; }, front);
    }

    std::string home_;
    std::string path_;
};

TEST_F(GlobalConfigTest, MissingFileGivesEveryDefault) {
    auto cfg = Load();
    const SysSettings& s = cfg->Settings();
    EXPECT_EQ(cfg->GetMaximized(), 0);
    EXPECT_EQ(s.lfListFont.lfHeight, 0);
    EXPECT_EQ(s.nMaxDownTasks, 5);
    EXPECT_EQ(s.nDefaultList, 0);
    EXPECT_EQ(s.crDataColor, (std::array<uint32_t, 5>{0x00FF0000, 0x000080FF, 0x00AF00AF,
                                                      0x00FF0080, 0x006BB7BD}));
    EXPECT_EQ(s.nDataDelayTm, 1000);
    EXPECT_EQ(s.nDataTipWidth, 300);
    EXPECT_EQ(s.nDataTipHeight, 400);
    EXPECT_EQ(s.ProxyInfo.nType, 0);
    EXPECT_EQ(s.ProxyInfo.strAddr, "");
    EXPECT_EQ(s.ProxyInfo.nPort, 0);
    EXPECT_EQ(s.ProxyInfo.bAuthen, 0);
    EXPECT_EQ(s.bAutoUpdate, 0);
    EXPECT_EQ(s.nUpdateCycle, 1);
    EXPECT_EQ(s.tmLastUpdate, 0);
    EXPECT_EQ(s.bInternalWebOpen, 1);
    EXPECT_EQ(s.bNoAskExitwhenDowning + s.bNoAskRefreshData + s.bNoAskExitwhenAutoUpdateData +
                  s.bNoAskStartwhenAutoUpdateData,
              0);

    CCategoryNode& root = cfg->GetRoot();
    EXPECT_TRUE(root.IsRoot());
    EXPECT_EQ(root.m_nKind, 0);
    ASSERT_EQ(root.GetChildCount(), 1u);
    EXPECT_TRUE(root.GetChild(0)->IsSentinel());
    EXPECT_TRUE(root.GetLeaves().empty());
}

TEST_F(GlobalConfigTest, DefaultConstructorReadsTheHome) {
    WriteFile("[SysCfg]\nMaxDownTasks=7\n");
    CIniFile::SetAppDir(home_);
    {
        CGlobalConfig cfg;
        EXPECT_EQ(cfg.GetPath(), home_ + "/kernel/global.ini");
        EXPECT_EQ(cfg.Settings().nMaxDownTasks, 7);
    }
    CIniFile::SetAppDir("");
}

TEST_F(GlobalConfigTest, BuildsTheCategoryTree) {
    WriteFile(
        "[FILETYPE]\ncount=3\nrootname=All Sites\n"
        "[FILETYPE1]\nname=Games\nid=1\nsubcount=2\n"
        "sub_name1=PC Games\nsub_dbasename1=games_pc\n"
        "sub_name2=Console\nsub_dbasename2=games_console\n"
        "[FILETYPE2]\nname=Video\nsubcount=1\nsub_name1=Films\nsub_dbasename1=video_films\n"
        "[FILETYPE3]\nname=Empty\nid=5\nsubcount=0\n");
    auto cfg = Load();
    CCategoryNode& root = cfg->GetRoot();
    EXPECT_EQ(root.m_strName, "All Sites");
    EXPECT_EQ(root.m_nKind, 3);
    ASSERT_EQ(root.GetChildCount(), 4u);

    CCategoryNode* sentinel = root.GetChild(0);
    EXPECT_EQ(sentinel->m_nCategoryId, 255);
    EXPECT_EQ(sentinel->m_nSubIndex, 255);
    EXPECT_EQ(sentinel->m_nKind, 255);
    EXPECT_TRUE(sentinel->m_strName.empty() && sentinel->m_strTableName.empty());

    CCategoryNode* games = root.GetChild(1);
    EXPECT_TRUE(games->IsCategory());
    EXPECT_EQ(games->m_nCategoryId, 1);
    EXPECT_EQ(games->m_nKind, 2);
    EXPECT_EQ(games->m_strName, "Games");
    ASSERT_EQ(games->GetChildCount(), 3u);
    EXPECT_TRUE(games->GetChild(0)->IsSentinel());
    CCategoryNode* console = games->GetChild(2);
    EXPECT_TRUE(console->IsLeaf());
    EXPECT_EQ(console->m_nCategoryId, 1);
    EXPECT_EQ(console->m_nSubIndex, 2);
    EXPECT_EQ(console->m_nKind, 1);
    EXPECT_EQ(console->m_strName, "Console");
    EXPECT_EQ(console->m_Table.GetTableName(), "games_console");

    // Without an id the category takes its number.
    EXPECT_EQ(root.GetChild(2)->m_nCategoryId, 2);
    EXPECT_EQ(root.GetChild(2)->GetChild(1)->m_nCategoryId, 2);

    CCategoryNode* empty = root.GetChild(3);
    EXPECT_EQ(empty->m_nCategoryId, 5);
    ASSERT_EQ(empty->GetChildCount(), 1u);
    EXPECT_TRUE(empty->GetChild(0)->IsSentinel());

    std::vector<std::string> tables;
    for (CCategoryNode* leaf : root.GetLeaves()) {
        tables.push_back(leaf->m_Table.GetTableName());
    }
    EXPECT_EQ(tables, (std::vector<std::string>{"games_pc", "games_console", "video_films"}));
    EXPECT_EQ(games->GetLeaves().size(), 2u);
    EXPECT_EQ(console->GetLeaves(), std::vector<CCategoryNode*>{console});
}

TEST_F(GlobalConfigTest, HostileCountsAndIdsStayBounded) {
    WriteFile(
        "[FILETYPE]\ncount=100000\n"
        "[FILETYPE1]\nid=0\nsubcount=100000\n"
        "[FILETYPE2]\nid=300\nsubcount=-3\n"
        "[FILETYPE3]\nid=-1\n"
        "[FILETYPE4]\nid=256\n"
        "[SEARCHLIST]\ncount=100000\n");
    auto cfg = Load();
    CCategoryNode& root = cfg->GetRoot();
    ASSERT_EQ(root.GetChildCount(), 1u + config::kMaxCategories);
    EXPECT_EQ(root.m_nKind, config::kMaxCategories);
    // An id whose low 8 bits are 0 would pose as the root: it takes the default.
    EXPECT_EQ(root.GetChild(1)->m_nCategoryId, 1);
    EXPECT_EQ(root.GetChild(1)->GetChildCount(), 1u + config::kMaxLeaves);
    EXPECT_EQ(root.GetChild(2)->m_nCategoryId, 300 & 0xFF);
    EXPECT_EQ(root.GetChild(2)->GetChildCount(), 1u);
    EXPECT_EQ(root.GetChild(3)->m_nCategoryId, 255);
    EXPECT_EQ(root.GetChild(4)->m_nCategoryId, 4);
    EXPECT_EQ(root.GetChild(254)->m_nCategoryId, 254);

    std::vector<std::string> list;
    cfg->LoadSearchList(list);
    EXPECT_TRUE(list.empty());

    WriteFile("[FILETYPE]\ncount=-7\n");
    EXPECT_EQ(Load()->GetRoot().GetChildCount(), 1u);
}

TEST_F(GlobalConfigTest, OutOfRangeSettingsTakeTheirDefaults) {
    WriteFile(
        "[SysCfg]\nMaxDownTasks=99\nDefaultList=7\n"
        "[Tool]\nDataDelayTm=-5\nDataTipWidth=2000000000\nDataTipHeight=0\n"
        "[Proxy]\nType=9\nPort=70000\nAuthen=257\n"
        "[UpdateData]\nCycle=0\n"
        // Only the low 32 bits of these are kept.
        "[InterfaceCfg]\nbMax=4294967297\n");
    auto cfg = Load();
    const SysSettings& s = cfg->Settings();
    EXPECT_EQ(s.nMaxDownTasks, 5);
    EXPECT_EQ(s.nDefaultList, 0);
    EXPECT_EQ(s.nDataDelayTm, 1000);
    EXPECT_EQ(s.nDataTipWidth, 300);
    EXPECT_EQ(s.nDataTipHeight, 400);
    EXPECT_EQ(s.ProxyInfo.nType, 0);
    EXPECT_EQ(s.ProxyInfo.nPort, 0);
    EXPECT_EQ(s.ProxyInfo.bAuthen, 1);
    EXPECT_EQ(s.nUpdateCycle, 1);
    EXPECT_EQ(cfg->GetMaximized(), 1);
}

TEST_F(GlobalConfigTest, BinaryGarbageNeverCrashes) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 20; ++round) {
        std::string junk(20000, '\0');
        for (char& c : junk) {
            c = static_cast<char>(rng());
        }
        // Some structure for the parser to trip over.
        junk.insert(rng() % junk.size(), "\n[FILETYPE]\ncount=254\n[FILETYPE1\nsubcount=7\n");
        junk.insert(rng() % junk.size(), "\n[SysCfg]\nListFont=" + std::string(122, 'F') + "\n");
        WriteFile(junk);
        auto cfg = Load();
        EXPECT_LE(cfg->GetRoot().GetChildCount(), 1u + config::kMaxCategories);
        EXPECT_LE(cfg->GetRoot().GetLeaves().size(), 254u * 7u);
        EXPECT_EQ(cfg->Settings().lfListFont.lfFaceName[31], '\0');
    }
}

TEST_F(GlobalConfigTest, AdvertisingShowsOncePerTwelveHours) {
    WriteFile("[SysCfg]\nShowADTime=" + std::to_string(kNow - 43201) + "\n");
    EXPECT_TRUE(Load()->Settings().bShowAd);
    EXPECT_EQ(Value("SysCfg", "ShowADTime"), std::to_string(kNow));

    // A second start within twelve hours.
    EXPECT_FALSE(Load(kNow + 43200)->Settings().bShowAd);
    EXPECT_EQ(Value("SysCfg", "ShowADTime"), std::to_string(kNow));
    EXPECT_TRUE(Load(kNow + 43201)->Settings().bShowAd);

    // Extreme stored times do not overflow the comparison.
    WriteFile("[SysCfg]\nShowADTime=-9223372036854775808\n");
    EXPECT_TRUE(Load()->Settings().bShowAd);
    WriteFile("[SysCfg]\nShowADTime=9223372036854775807\n");
    EXPECT_FALSE(Load()->Settings().bShowAd);
}

TEST_F(GlobalConfigTest, ARunThatChangesNothingLeavesTheFileAsItWas) {
    // Damaged, missing and defaulted keys alike: nothing is rewritten or added.
    const std::string file =
        "; kept\n[SysCfg]\nMaxDownTasks=99\nShowADTime=0\n\n[UpdateData]\nCycle= 3\n";
    WriteFile(file);
    auto headless = Load(kNow, CGlobalConfig::Front::kHeadless);
    EXPECT_FALSE(headless->Settings().bShowAd);
    EXPECT_TRUE(headless->SaveAll());
    headless.reset();
    EXPECT_EQ(ReadFile(), file);

    // The desktop program's due advertising pane changes ShowADTime alone.
    Load().reset();
    std::string expected = file;
    expected.replace(expected.find("ShowADTime=0"), 12, "ShowADTime=" + std::to_string(kNow));
    EXPECT_EQ(ReadFile(), expected);
}

TEST_F(GlobalConfigTest, TwoProcessesKeepEachOthersChanges) {
    WriteFile("[UpdateData]\nAuto=0\nCycle=1\nRefreshTm=5\n");
    auto mine = Load();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto other = Load();
        other->Settings().nUpdateCycle = 6;
        other->Settings().tmLastUpdate = 77;
        const bool saved = other->SaveUpdateData();
        other.reset();
        ::_exit(saved ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    mine->Settings().bAutoUpdate = 1;
    EXPECT_TRUE(mine->SaveAll());
    mine->Settings().nMaxDownTasks = 9;
    mine.reset();  // the end of the run saves the rest
    EXPECT_EQ(Value("UpdateData", "Auto"), "1");
    EXPECT_EQ(Value("UpdateData", "Cycle"), "6");
    EXPECT_EQ(Value("UpdateData", "RefreshTm"), "77");
    EXPECT_EQ(Value("SysCfg", "MaxDownTasks"), "9");
}

TEST_F(GlobalConfigTest, ARefusedValueFailsTheSaveAndIsTriedAgain) {
    auto cfg = Load();
    _tagProxyInfo& proxy = cfg->Settings().ProxyInfo;
    proxy.nType = 4;
    proxy.strAddr = "proxy\n[SysCfg]";
    proxy.nPort = 3128;
    EXPECT_FALSE(cfg->SaveProxy());
    EXPECT_EQ(Value("Proxy", "Port"), "3128");
    EXPECT_FALSE(Has("Proxy", "Addr"));
    proxy.strAddr = "proxy";
    EXPECT_TRUE(cfg->SaveProxy());
    EXPECT_EQ(Value("Proxy", "Addr"), "proxy");
}

// Every setting of the configuration, for comparing whole records.
std::string Describe(CGlobalConfig& cfg) {
    const SysSettings& s = cfg.Settings();
    const LOGFONT& f = s.lfListFont;
    const _tagProxyInfo& p = s.ProxyInfo;
    std::ostringstream out;
    out << cfg.GetMaximized() << "|" << f.lfHeight << "," << f.lfWidth << "," << f.lfEscapement
        << "," << f.lfOrientation << "," << f.lfWeight << "," << +f.lfItalic << ","
        << +f.lfUnderline << "," << +f.lfStrikeOut << "," << +f.lfCharSet << ","
        << +f.lfOutPrecision << "," << +f.lfClipPrecision << "," << +f.lfQuality << ","
        << +f.lfPitchAndFamily << "," << f.lfFaceName << "|" << s.nMaxDownTasks << ","
        << s.nDefaultList << "|";
    for (uint32_t c : s.crDataColor) {
        out << c << ",";
    }
    out << "|" << s.nDataDelayTm << "," << s.nDataTipWidth << "," << s.nDataTipHeight << "|"
        << +p.nType << "," << p.strAddr << "," << p.nPort << "," << +p.bAuthen << "," << p.strUser
        << "," << p.strPassword << "|" << s.bAutoUpdate << "," << s.nUpdateCycle << ","
        << s.tmLastUpdate << "," << s.bInternalWebOpen << "|" << s.bNoAskExitwhenDowning << ","
        << s.bNoAskRefreshData << "," << s.bNoAskExitwhenAutoUpdateData << ","
        << s.bNoAskStartwhenAutoUpdateData;
    return out.str();
}

TEST_F(GlobalConfigTest, EveryKeyRoundTrips) {
    std::string saved;
    {
        auto cfg = Load();
        cfg->SetMaximized(1);
        SysSettings& s = cfg->Settings();
        s.lfListFont = LOGFONT{-14, 2, 3, 4, 700, 1, 1, 1, 134, 5, 6, 7, 8, "Noto Sans CJK SC"};
        s.nMaxDownTasks = 10;
        s.nDefaultList = 3;
        s.crDataColor = {1, 0x00FFFFFF, 3, 4, 0xFFFFFFFF};
        s.nDataDelayTm = 250;
        s.nDataTipWidth = 640;
        s.nDataTipHeight = 480;
        s.ProxyInfo.nType = 3;
        s.ProxyInfo.strAddr = "proxy.local";
        s.ProxyInfo.nPort = 1080;
        s.ProxyInfo.bAuthen = 1;
        s.ProxyInfo.strUser = "用户";
        s.ProxyInfo.strPassword = " p=ss \"word\" ";
        s.bAutoUpdate = 1;
        s.nUpdateCycle = 24;
        s.tmLastUpdate = kNow - 5;
        s.bInternalWebOpen = 0;
        s.bNoAskExitwhenDowning = 1;
        s.bNoAskRefreshData = 1;
        s.bNoAskExitwhenAutoUpdateData = 1;
        s.bNoAskStartwhenAutoUpdateData = 1;
        EXPECT_TRUE(cfg->SaveAll());
        saved = Describe(*cfg);
    }
    for (const config::KeyInfo& key : config::kAllKeys) {
        const std::string section = key.section;
        if (section.find('%') != std::string::npos || section == "FILETYPE" ||
            section == "SEARCHLIST") {
            continue;
        }
        EXPECT_TRUE(Has(section, key.key)) << section << "/" << key.key;
    }
    EXPECT_EQ(Describe(*Load()), saved);
}

TEST_F(GlobalConfigTest, DestructionSavesChanges) {
    Load()->Settings().nUpdateCycle = 12;
    EXPECT_EQ(Value("UpdateData", "Cycle"), "12");
    EXPECT_EQ(Load()->Settings().nUpdateCycle, 12);
}

TEST_F(GlobalConfigTest, UnsetFontIsNotWrittenAndDamagedRecordsGiveDefaults) {
    WriteFile("[SysCfg]\nDataColor=00\n");
    EXPECT_TRUE(Load()->SaveAll());
    EXPECT_FALSE(Has("SysCfg", "ListFont"));

    // One digit changed: the checksum no longer matches.
    {
        auto cfg = Load();
        cfg->Settings().lfListFont.lfHeight = 12;
        cfg->Settings().crDataColor[0] = 7;
    }
    std::string font = Value("SysCfg", "ListFont");
    ASSERT_EQ(font.size(), 122u);
    font[0] = font[0] == '0' ? '1' : '0';
    std::string colors = Value("SysCfg", "DataColor");
    colors.pop_back();
    ASSERT_TRUE(CIniFile(path_).WriteString("SysCfg", "ListFont", font));
    ASSERT_TRUE(CIniFile(path_).WriteString("SysCfg", "DataColor", colors));

    auto cfg = Load();
    EXPECT_EQ(cfg->Settings().lfListFont.lfHeight, 0);
    EXPECT_EQ(cfg->Settings().crDataColor, config::kDefaultDataColors);
}

TEST_F(GlobalConfigTest, ProxyTypeNoneKeepsTheOtherKeys) {
    WriteFile("[Proxy]\nType=4\nAddr=10.0.0.1\nPort=3128\nAuthen=1\nUser=me\nPassword=secret\n");
    {
        auto cfg = Load();
        _tagProxyInfo& proxy = cfg->Settings().ProxyInfo;
        EXPECT_EQ(proxy.nType, 4);
        EXPECT_EQ(proxy.strPassword, "secret");
        proxy.nType = 0;
        proxy.strAddr = "changed";
        proxy.nPort = 1;
        proxy.strUser.clear();
        EXPECT_TRUE(cfg->SaveProxy());
    }
    EXPECT_EQ(Value("Proxy", "Type"), "0");
    EXPECT_EQ(Value("Proxy", "Addr"), "10.0.0.1");
    EXPECT_EQ(Value("Proxy", "Port"), "3128");
    EXPECT_EQ(Value("Proxy", "User"), "me");
    EXPECT_EQ(Value("Proxy", "Password"), "secret");
}

TEST_F(GlobalConfigTest, SearchListKeepsAtMostFiftyKeywords) {
    std::string file = "[SEARCHLIST]\ncount=60\n";
    for (int i = 0; i < 60; ++i) {
        file += std::to_string(i) + "=kw" + std::to_string(i) + "\n";
    }
    file += "3=\n";  // a duplicate key: the first one counts
    WriteFile(file);
    auto cfg = Load();
    std::vector<std::string> list;
    cfg->LoadSearchList(list);
    ASSERT_EQ(list.size(), 50u);
    EXPECT_EQ(list.front(), "kw0");
    EXPECT_EQ(list.back(), "kw49");

    std::vector<std::string> longer;
    for (int i = 0; i < 70; ++i) {
        longer.push_back(" 关键字 " + std::to_string(i));
    }
    EXPECT_TRUE(cfg->SaveSearchList(longer));
    EXPECT_EQ(Value("SEARCHLIST", "count"), "50");
    cfg->LoadSearchList(list);
    EXPECT_EQ(list, std::vector<std::string>(longer.begin(), longer.begin() + 50));

    // Missing entries leave no holes.
    WriteFile("[SEARCHLIST]\ncount=3\n0=a\n2=c\n");
    cfg->LoadSearchList(list);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "c"}));
}

TEST_F(GlobalConfigTest, SearchAllTablesWalksTheTreeInOrder) {
    WriteFile(
        "[FILETYPE]\ncount=2\n"
        "[FILETYPE1]\nsubcount=2\nsub_dbasename1=games_pc\nsub_dbasename2=games_console\n"
        "[FILETYPE2]\nsubcount=1\nsub_dbasename1=video_films\n");
    const std::string db = home_ + "/kernel/websdata.db";
    std::string error;
    ASSERT_TRUE(CreateCatalogue(db, {"games_pc", "games_console", "video_films"}, error)) << error;
    CTorrentTable::SetDatabasePath(db);

    auto cfg = Load();
    auto add = [](CCategoryNode* leaf, std::vector<std::string> names) {
        TorrentRecordArray records;
        int day = 1;
        for (std::string& name : names) {
            TorrentRecord r;
            r.Name = std::move(name);
            r.AddDate = r.RefreshDate = OleDate::FromFields(2024, 5, day++);
            records.push_back(std::move(r));
        }
        ASSERT_TRUE(leaf->m_Table.InsertBatch(records));
    };
    CCategoryNode& root = cfg->GetRoot();
    add(root.GetChild(2)->GetChild(1), {"film match", "film other"});
    add(root.GetChild(1)->GetChild(2), {"console match"});
    add(root.GetChild(1)->GetChild(1), {"pc match old", "pc match new", "pc other"});

    TorrentRecordArray found;
    cfg->SearchAllTables("match", found);
    std::vector<std::string> names;
    for (const TorrentRecord& r : found) {
        names.push_back(r.Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"pc match new", "pc match old", "console match",
                                               "film match"}));
    cfg.reset();
    CTorrentTable::SetDatabasePath("");
}

// The percent of a finished transfer (100 or -1), or what it was at the
// deadline.
int WaitForEnd(CDownManager& fetch) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int percent = fetch.GetDownPercent();
    while (percent != 100 && percent != -1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        percent = fetch.GetDownPercent();
    }
    return percent;
}

TEST_F(GlobalConfigTest, ProxyRecordReachesNetfetchAndFollowsEdits) {
    testing_support::FixtureServer server;
    server.SetHandler([](const testing_support::FixtureRequest&) {
        testing_support::FixtureReply reply;
        reply.body = "ok";
        return reply;
    });
    WriteFile("[Proxy]\nType=4\nAddr=127.0.0.1\nPort=" + std::to_string(server.Port()) + "\n");
    auto cfg = Load();
    {
        CDownManager fetch;
        ASSERT_NE(fetch.DownLoadFile("http://catalogue.invalid/page"), 0);
        EXPECT_EQ(WaitForEnd(fetch), 100);
    }
    // Switched off in place, as the options dialog does it.
    cfg->Settings().ProxyInfo.nType = 0;
    {
        CDownManager fetch;
        ASSERT_NE(fetch.DownLoadFile(server.Url("/direct").c_str()), 0);
        EXPECT_EQ(WaitForEnd(fetch), 100);
    }
    cfg.reset();
    // The record is gone; netfetch no longer reads it.
    {
        CDownManager fetch;
        ASSERT_NE(fetch.DownLoadFile(server.Url("/after").c_str()), 0);
        EXPECT_EQ(WaitForEnd(fetch), 100);
    }
    EXPECT_EQ(server.Targets(),
              (std::vector<std::string>{"http://catalogue.invalid/page", "/direct", "/after"}));
}

}  // namespace
