// A temporary home with a kernel/ folder, removed at the end of the test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "plugin_location.h"

namespace run_helpers {

class TestHome {
  public:
    TestHome() {
        std::string path = (std::filesystem::temp_directory_path() / "tessaro-XXXXXX").string();
        if (mkdtemp(path.data()) == nullptr) {
            std::abort();
        }
        root_ = path;
        std::filesystem::create_directories(Kernel());
    }
    ~TestHome() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    std::filesystem::path Kernel() const { return root_ / "kernel"; }
    std::string IniPath() const { return (Kernel() / "dllmgr.ini").string(); }
    PluginLocation Location(const std::string& name = "wren.so") const {
        return {root_.string() + "/", name};
    }
    void WriteIni(const std::string& text) const { std::ofstream(IniPath()) << text; }
    std::string ReadIni() const {
        std::stringstream text;
        text << std::ifstream(IniPath()).rdbuf();
        return text.str();
    }

  private:
    std::filesystem::path root_;
};

}  // namespace run_helpers
