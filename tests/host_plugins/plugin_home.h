// A temporary home for the host tests: kernel/dllmgr.ini as the test writes
// it and copies of the scripted plug-in. Copies, not links: the loader takes
// links to one file for one module, and each listed plug-in needs its own
// script.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "scripted_plugin.h"

class PluginHome {
  public:
    PluginHome() {
        std::string strDir = (std::filesystem::temp_directory_path() / "hostXXXXXX").string();
        EXPECT_NE(mkdtemp(strDir.data()), nullptr);
        m_root = strDir;
        std::filesystem::create_directories(m_root / "kernel");
    }
    ~PluginHome() {
        for (auto& [name, pModule] : m_modules) {
            if (pModule) {
                dlclose(pModule);
            }
        }
        std::filesystem::remove_all(m_root);
    }

    std::string Dir() const { return m_root.string() + "/"; }
    std::string Kernel() const { return (m_root / "kernel").string() + "/"; }

    void WriteRegistry(const std::string& strText) const {
        std::ofstream(Kernel() + "dllmgr.ini") << strText;
    }
    // kernel/<name>: the scripted plug-in, or one that lacks WebIOCtl.
    void AddPlugin(const std::string& strName, bool bComplete = true) const {
        const std::filesystem::path target = Kernel() + strName;
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(bComplete ? SCRIPTED_PLUGIN_PATH : INCOMPLETE_PLUGIN_PATH,
                                   target, std::filesystem::copy_options::overwrite_existing);
    }
    // Lists p0.so .. p<n-1>.so.
    void ListPlugins(int nCount) const {
        std::string strIni = "[DLL]\ncount=" + std::to_string(nCount) + "\n";
        for (int i = 0; i < nCount; ++i) {
            strIni += std::to_string(i) + "=p" + std::to_string(i) + ".so\n";
            AddPlugin("p" + std::to_string(i) + ".so");
        }
        WriteRegistry(strIni);
    }

    // The script of kernel/<name>; null while no one has loaded it. The
    // reference taken here keeps it readable after the host unloads.
    PluginScript* Script(const std::string& strName) {
        void*& pModule = m_modules[strName];
        if (!pModule) {
            pModule = dlopen((Kernel() + strName).c_str(), RTLD_NOW | RTLD_NOLOAD);
        }
        return pModule ? reinterpret_cast<PFN_ScriptedPluginControl>(
                             dlsym(pModule, "ScriptedPluginControl"))()
                       : nullptr;
    }

  private:
    std::filesystem::path m_root;
    std::map<std::string, void*> m_modules;
};
