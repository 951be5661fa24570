// Opening an existing home for a front end: its configuration with the
// category tree, its catalogue and its plug-in host (which loads the
// plug-ins on first use). Both programs open a home this way.
#pragma once

#include <memory>
#include <string>

#include "global_config.h"
#include "home.h"
#include "plugin_host.h"

namespace tessaro {

struct OpenedHome {
    std::unique_ptr<CGlobalConfig> pConfig;
    std::unique_ptr<PluginHost> pHost;
};

// Lays the home out from the installed defaults and creates the catalogue
// tables of its category tree, keeping every file and row already there.
LayoutResult InitHome(const std::string& home, const InstalledDefaults& defaults, bool chinese,
                      CGlobalConfig::Front front);

// `home` ends in '/'. Fails with one sentence when the home is not laid out
// or its catalogue cannot be opened; the process-wide paths (CIniFile's
// application folder, the catalogue file) point into the home afterwards.
[[nodiscard]] bool OpenHome(const std::string& home, CGlobalConfig::Front front, OpenedHome& opened,
                            std::string& error);

}  // namespace tessaro
