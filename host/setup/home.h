// Where Tessaro keeps its files (the home), and laying a new home out from
// the installed defaults without ever overwriting what is there.
//
// The home is the first of: --home DIR; $TESSARO_HOME; the executable's own
// folder when it holds kernel/ (the portable layout the build produces);
// $XDG_DATA_HOME/tessaro (default ~/.local/share/tessaro).
#pragma once

#include <string>
#include <vector>

class CCategoryNode;

namespace tessaro {

// The home folder with a trailing '/'. `explicitHome` is the --home option,
// empty when not given.
std::string FindHome(const std::string& explicitHome);

// The folder of the running executable, with a trailing '/'.
std::string ExecutableDir();

// Where the installed defaults (global.ini, global.zh_CN.ini, dllmgr.ini,
// help.txt) and the plug-ins are.
struct InstalledDefaults {
    std::string dataDir;    // with a trailing '/'
    std::string pluginDir;  // with a trailing '/'
};

// For a program in `exeDir`: the portable build keeps them beside it, in
// <exe>/defaults/ and <exe>/kernel/; an installed program in <prefix>/bin/
// finds them in <prefix>/share/tessaro/ and <prefix>/lib/tessaro/kernel/.
// Deriving the prefix from the program's path keeps an unpacked, relocated
// tree working as well as the one under /usr.
InstalledDefaults InstalledDefaultsFor(const std::string& exeDir);
InstalledDefaults FindInstalledDefaults();

struct LayoutResult {
    bool ok = false;
    std::string error;                 // one sentence when !ok
    std::vector<std::string> created;  // paths made by this call, in order
};

// Makes the home's folders and copies every missing default file into it:
// kernel/global.ini in the language of `chinese`, kernel/dllmgr.ini,
// help.txt, and links to the plug-ins that kernel/ lacks. Existing files are
// never touched, so laying out an existing home again after an upgrade only
// adds the links to new plug-ins.
LayoutResult LayOutHome(const std::string& home, const InstalledDefaults& defaults, bool chinese);

// Creates kernel/websdata.db with one table per leaf of the tree where
// missing; existing tables and rows are kept.
LayoutResult CreateCatalogueForTree(const std::string& home, CCategoryNode& root);

}  // namespace tessaro
