// sites: the published torrent sites of the plug-in registry, as the
// desktop program's site menu lists them.
#include <cstdio>
#include <filesystem>

#include "cli_context.h"
#include "commands.h"
#include "site_list.h"

namespace cli {

int RunSites(const std::string& home) {
    // Only the registry file is read: loading every plug-in to print a list
    // would be wasted work.
    const std::string registry = home + "kernel/dllmgr.ini";
    std::error_code ignored;
    if (!std::filesystem::exists(registry, ignored)) {
        return Fail("no plug-in registry at " + registry + " (run 'tessaro-cli --home " + home +
                    " init' first)");
    }
    CSiteList sites;
    sites.Load(CIniFile(registry));
    for (const CSiteList::SiteEntry& site : sites.GetSites()) {
        std::printf("%s\t%s\n", site.strName.c_str(), site.strAddress.c_str());
    }
    return kExitOk;
}

}  // namespace cli
