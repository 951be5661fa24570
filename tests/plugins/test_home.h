// A temporary home with a kernel/ folder, removed at the end of the test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "plugin_location.h"

class TestHome {
  public:
    TestHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tessaro-plugins-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        root_ = pattern;
        std::filesystem::create_directories(root_ / "kernel");
    }
    ~TestHome() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    std::filesystem::path Kernel() const { return root_ / "kernel"; }
    std::string IniPath() const { return (Kernel() / "dllmgr.ini").string(); }
    PluginLocation Location(const std::string& registryName = "wren.so") const {
        return {root_.string() + "/", registryName};
    }

    // Points the plug-in's [Site_...] section at `base`.
    void WriteSite(const std::string& base, const std::string& registryName = "wren.so") const {
        std::ofstream(IniPath()) << "[Site_" << registryName << "]\nBase=" << base
                                 << "\nCharset=GBK\n";
    }
    std::string ReadIni() const {
        std::ifstream in(IniPath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    std::filesystem::path root_;
};
