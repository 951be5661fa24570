// Where a plug-in lives: its home (the folder that holds kernel/) and its
// registry name (its path relative to kernel/, "wren.so" or
// "petrel/larkspur.so"), which keys its sections in kernel/dllmgr.ini, so
// two builds with one file name in different folders keep their refresh
// dates apart.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct PluginLocation {
    std::string home;  // with a trailing '/'
    std::string registryName;

    std::string DllMgrIniPath() const { return home + "kernel/dllmgr.ini"; }
};

// From a module path: the nearest ancestor folder named "kernel" is the
// plug-in folder. A relative path is taken from `currentDir`. Symbolic links
// are not followed: a plug-in linked into a home belongs to that home.
std::optional<PluginLocation> LocatePlugin(std::string_view modulePath,
                                           std::string_view currentDir);

// The path of the module (plug-in or program) this code is linked into.
std::string OwnModulePath();

// The plug-in's own location; outside a kernel/ folder, the program's home
// and the module's file name.
PluginLocation OwnLocation();
