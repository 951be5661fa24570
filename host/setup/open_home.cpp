#include "open_home.h"

#include <filesystem>

#include "torrent_table.h"

namespace tessaro {

LayoutResult InitHome(const std::string& home, const InstalledDefaults& defaults, bool chinese,
                      CGlobalConfig::Front front) {
    LayoutResult layout = LayOutHome(home, defaults, chinese);
    if (!layout.ok) {
        return layout;
    }
    CIniFile::SetAppDir(home);
    CTorrentTable::SetDatabasePath(home + "kernel/websdata.db");
    CGlobalConfig config(home + "kernel/global.ini", CGlobalConfig::SystemClock, front);
    LayoutResult catalogue = CreateCatalogueForTree(home, config.GetRoot());
    if (!catalogue.ok) {
        return catalogue;
    }
    layout.created.insert(layout.created.end(), catalogue.created.begin(), catalogue.created.end());
    return layout;
}

bool OpenHome(const std::string& home, CGlobalConfig::Front front, OpenedHome& opened,
              std::string& error) {
    const std::string configPath = home + "kernel/global.ini";
    std::error_code ignored;
    if (!std::filesystem::exists(configPath, ignored)) {
        error =
            "no Tessaro home at " + home + " (run 'tessaro-cli --home " + home + " init' first)";
        return false;
    }
    CIniFile::SetAppDir(home);
    CTorrentTable::SetDatabasePath(home + "kernel/websdata.db");
    if (!std::filesystem::exists(CTorrentTable::GetDatabasePath(), ignored)) {
        error = "cannot open the catalogue " + CTorrentTable::GetDatabasePath();
        return false;
    }
    if (!CTorrentTable::Connect()) {
        error = CTorrentTable::LastError();
        return false;
    }
    opened.pConfig = std::make_unique<CGlobalConfig>(configPath, CGlobalConfig::SystemClock, front);
    opened.pHost = std::make_unique<PluginHost>(home);
    return true;
}

}  // namespace tessaro
