#include "plugin_location.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "ini_file.h"

namespace fs = std::filesystem;

std::optional<PluginLocation> LocatePlugin(std::string_view modulePath,
                                           std::string_view currentDir) {
    fs::path path{std::string(modulePath)};
    if (path.empty() || !path.has_filename()) {
        return std::nullopt;
    }
    if (path.is_relative()) {
        path = fs::path{std::string(currentDir)} / path;
    }
    path = path.lexically_normal();
    for (fs::path folder = path.parent_path(); folder.has_relative_path();
         folder = folder.parent_path()) {
        if (folder.filename() == "kernel") {
            PluginLocation location;
            location.home = folder.parent_path().string();
            if (location.home.empty() || location.home.back() != '/') {
                location.home += '/';
            }
            location.registryName = path.lexically_relative(folder).generic_string();
            return location;
        }
    }
    return std::nullopt;
}

std::string OwnModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&OwnModulePath), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

PluginLocation OwnLocation() {
    const std::string modulePath = OwnModulePath();
    std::error_code error;
    const std::string currentDir = fs::current_path(error).string();
    if (auto location = LocatePlugin(modulePath, currentDir)) {
        return *location;
    }
    PluginLocation fallback;
    fallback.home = CIniFile::GetAppDir();
    fallback.registryName = fs::path(modulePath).filename().string();
    return fallback;
}
