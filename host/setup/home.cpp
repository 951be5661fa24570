#include "home.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "category_node.h"
#include "torrent_table.h"

namespace fs = std::filesystem;

namespace tessaro {
namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string ExecutableDir() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return WithSlash(fs::current_path(error).string());
    }
    return WithSlash(exe.parent_path().string());
}

std::string FindHome(const std::string& explicitHome) {
    std::error_code error;
    if (!explicitHome.empty()) {
        return WithSlash(fs::absolute(explicitHome, error).lexically_normal().string());
    }
    const std::string fromEnvironment = FromEnvironment("TESSARO_HOME");
    if (!fromEnvironment.empty()) {
        return WithSlash(fs::absolute(fromEnvironment, error).lexically_normal().string());
    }
    const std::string exeDir = ExecutableDir();
    if (fs::is_directory(exeDir + "kernel", error)) {
        return exeDir;
    }
    std::string dataHome = FromEnvironment("XDG_DATA_HOME");
    if (dataHome.empty()) {
        dataHome = FromEnvironment("HOME") + "/.local/share";
    }
    return WithSlash(dataHome) + "tessaro/";
}

InstalledDefaults InstalledDefaultsFor(const std::string& exeDir) {
    const fs::path dir = fs::path(WithSlash(exeDir)).parent_path();
    std::error_code error;
    if (dir.filename() == "bin" && !fs::is_directory(dir / "defaults", error)) {
        const std::string prefix = WithSlash(dir.parent_path().string());
        return {prefix + "share/tessaro/", prefix + "lib/tessaro/kernel/"};
    }
    const std::string portable = WithSlash(dir.string());
    return {portable + "defaults/", portable + "kernel/"};
}

InstalledDefaults FindInstalledDefaults() {
    return InstalledDefaultsFor(ExecutableDir());
}

LayoutResult LayOutHome(const std::string& home, const InstalledDefaults& defaults, bool chinese) {
    LayoutResult result;
    std::error_code error;
    for (const std::string& dir : {home, home + "kernel", home + "torrents"}) {
        if (fs::is_directory(dir, error)) {
            continue;
        }
        if (!fs::create_directories(dir, error)) {
            result.error = "cannot create the folder " + dir + ": " + error.message();
            return result;
        }
        result.created.push_back(dir);
    }

    struct DefaultFile {
        std::string source;
        std::string target;
    };
    const std::string globalSource = chinese ? "global.zh_CN.ini" : "global.ini";
    const DefaultFile files[] = {
        {defaults.dataDir + globalSource, home + "kernel/global.ini"},
        {defaults.dataDir + "dllmgr.ini", home + "kernel/dllmgr.ini"},
        {defaults.dataDir + "help.txt", home + "help.txt"},
    };
    for (const DefaultFile& file : files) {
        if (fs::exists(file.target, error)) {
            continue;
        }
        if (!fs::copy_file(file.source, file.target, error)) {
            result.error =
                "cannot copy " + file.source + " to " + file.target + ": " + error.message();
            return result;
        }
        result.created.push_back(file.target);
    }

    // Plug-ins are linked rather than copied, so a rebuilt plug-in reaches
    // every home at once.
    const fs::path pluginDir = defaults.pluginDir;
    const fs::path kernel = home + "kernel";
    if (fs::is_directory(pluginDir, error) && !fs::equivalent(pluginDir, kernel, error)) {
        for (auto it = fs::recursive_directory_iterator(pluginDir, error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (error) {
                break;
            }
            if (!it->is_regular_file() || it->path().extension() != ".so") {
                continue;
            }
            const fs::path target = kernel / it->path().lexically_relative(pluginDir);
            if (fs::exists(fs::symlink_status(target, error))) {
                continue;
            }
            fs::create_directories(target.parent_path(), error);
            fs::create_symlink(it->path(), target, error);
            if (error) {
                result.error =
                    "cannot link the plug-in " + target.string() + ": " + error.message();
                return result;
            }
            result.created.push_back(target.string());
        }
    }
    result.ok = true;
    return result;
}

LayoutResult CreateCatalogueForTree(const std::string& home, CCategoryNode& root) {
    LayoutResult result;
    const std::string path = home + "kernel/websdata.db";
    std::error_code error;
    const bool existed = fs::exists(path, error);
    std::vector<std::string> names;
    for (const CCategoryNode* leaf : root.GetLeaves()) {
        names.push_back(leaf->m_strTableName);
    }
    if (!CreateCatalogue(path, names, result.error)) {
        return result;
    }
    if (!existed) {
        result.created.push_back(path);
    }
    result.ok = true;
    return result;
}

}  // namespace tessaro
