// A temporary Tessaro home laid out by the built tessaro-cli, with its
// plug-in registry narrowed to the plug-ins a test names and their sites
// pointed at the test's fixture server.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_process.h"

namespace cli_test {

struct SitePlugin {
    std::string registryName;  // "wren.so"
    std::string base;          // "http://127.0.0.1:<port>/"
};

class CliHome {
  public:
    CliHome() {
        char pattern[] = "/tmp/tessaro-cli-XXXXXX";
        const char* dir = ::mkdtemp(pattern);
        EXPECT_NE(dir, nullptr);
        m_home = std::string(dir) + "/";
    }
    ~CliHome() {
        std::error_code ignored;
        std::filesystem::remove_all(m_home, ignored);
    }
    CliHome(const CliHome&) = delete;
    CliHome& operator=(const CliHome&) = delete;

    const std::string& Path() const { return m_home; }

    testing_support::ProcessResult Run(std::vector<std::string> args,
                                       testing_support::ProcessOptions options = {}) const {
        args.insert(args.begin(), {TESSARO_CLI_PATH, "--home", m_home});
        options.environment.emplace_back("TESSARO_LANG", "en");
        return testing_support::RunProcess(args, options);
    }

    // Lays the home out and lists only `plugins`, in that order.
    void Init(const std::vector<SitePlugin>& plugins) const {
        const auto init = Run({"init"});
        ASSERT_EQ(init.exitCode, 0) << init.err;
        std::ofstream registry(m_home + "kernel/dllmgr.ini", std::ios::trunc);
        registry << "[DLL]\ncount=" << plugins.size() << "\n";
        for (size_t i = 0; i < plugins.size(); ++i) {
            registry << i << "=" << plugins[i].registryName << "\n";
        }
        for (const SitePlugin& plugin : plugins) {
            registry << "\n[Site_" << plugin.registryName << "]\nBase=" << plugin.base << "\n";
        }
    }

  private:
    std::string m_home;
};

}  // namespace cli_test
