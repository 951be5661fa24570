#include "test_home.h"

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>

#include "ini_file.h"
#include "open_home.h"
#include "texts.h"
#include "torrent_table.h"

TestHome::TestHome(int nCategories) {
    m_strHome = m_dir.path().toStdString() + "/";
    const tessaro::InstalledDefaults defaults{TESSARO_DIST "/defaults/", m_strHome + "none/"};
    const tessaro::LayoutResult layout =
        tessaro::InitHome(m_strHome, defaults, texts::GetLanguage() == texts::Language::kChinese,
                          CGlobalConfig::Front::kDesktop);
    if (!layout.ok) {
        qFatal("cannot lay out a test home: %s", layout.error.c_str());
    }
    std::ofstream(m_strHome + "kernel/dllmgr.ini", std::ios::trunc)
        << "[DLL]\ncount=0\n\n[PublishSites]\ncount=2\n0=Alpha|http://127.0.0.1:9/a\n"
           "1=Beta|http://127.0.0.1:9/b\n";
    SetIni("NoAskAgain", "StartwhenAutoUpdateData", "1");
    if (nCategories >= 0) {
        SetIni("FILETYPE", "count", std::to_string(nCategories));
    }
}

void TestHome::SetIni(const std::string& section, const std::string& key,
                      const std::string& value) {
    if (!CIniFile(m_strHome + "kernel/global.ini").WriteString(section, key, value)) {
        std::fprintf(stderr, "cannot write [%s] %s\n", section.c_str(), key.c_str());
        std::abort();
    }
}

std::string TestHome::Ini(const std::string& section, const std::string& key) const {
    std::string value;
    CIniFile(m_strHome + "kernel/global.ini").GetString(section, key, value);
    return value;
}

void TestHome::AddRows(const std::string& table, int nRows, int daysAgo) {
    CTorrentTable::SetDatabasePath(m_strHome + "kernel/websdata.db");
    CTorrentTable leaf;
    leaf.SetTableName(table);
    TorrentRecordArray rows(static_cast<size_t>(nRows));
    for (int i = 0; i < nRows; ++i) {
        rows[static_cast<size_t>(i)].AddDate =
            OleDate::FromUnixTime(std::time(nullptr) - daysAgo * 86400 - i);
        rows[static_cast<size_t>(i)].Name = "row " + std::to_string(i);
        rows[static_cast<size_t>(i)].Addr0 = "a" + std::to_string(i);
    }
    if (!leaf.InsertBatch(rows)) {
        qFatal("cannot add rows to %s", table.c_str());
    }
}

void TestHome::AddDatedRows(const std::string& table,
                            const std::vector<std::pair<std::string, int64_t>>& rows) {
    CTorrentTable::SetDatabasePath(m_strHome + "kernel/websdata.db");
    CTorrentTable leaf;
    leaf.SetTableName(table);
    const time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    const OleDate noon =
        OleDate::FromFields(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday, 12);
    TorrentRecordArray records;
    for (const auto& [name, secondsAgo] : rows) {
        TorrentRecord& record = records.emplace_back();
        record.AddDate = noon;
        record.AddDate.m_dt -= static_cast<double>(secondsAgo) / 86400;
        record.Name = name;
        record.Addr0 = table + "/" + name;
    }
    if (!leaf.InsertBatch(records)) {
        qFatal("cannot add rows to %s", table.c_str());
    }
}

int64_t TestHome::Count(const std::string& table) const {
    CTorrentTable leaf;
    leaf.SetTableName(table);
    return leaf.Count();
}

std::string TestHome::AddTorrentFile(const std::string& name, int daysAgo) {
    const std::string path = m_strHome + "torrents/" + name;
    std::ofstream(path) << "d8:announce0:e";
    const time_t when = std::time(nullptr) - daysAgo * 86400;
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
    return path;
}

std::unique_ptr<CTessaroApp> StartApp(const TestHome& home, std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.Path()});
    auto app = std::make_unique<CTessaroApp>();
    std::string error;
    if (app->Start(shell::ParseCommandLine(args), error) != CTessaroApp::StartResult::kRunning) {
        qWarning("start failed: %s", error.c_str());
        return nullptr;
    }
    return app;
}
