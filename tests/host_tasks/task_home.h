// A temporary home for the task and search tests: a three-leaf category tree
// in kernel/global.ini, its catalogue, torrents/, and copies of the task
// plug-in listed in kernel/dllmgr.ini as p0.so, p1.so ... Copies, not links:
// each listed plug-in needs its own instance.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "task_plugin.h"
#include "torrent_table.h"

class TaskHome {
  public:
    // Leaves (category id, sub index) -> table: (1,1) alpha_one,
    // (1,2) alpha_two, (2,1) beta_one.
    static constexpr const char* kTables[] = {"alpha_one", "alpha_two", "beta_one"};

    explicit TaskHome(int nPlugins, int nMaxDownTasks = 2) {
        std::string strDir =
            (std::filesystem::temp_directory_path() / "tessaro-tasks-XXXXXX").string();
        if (mkdtemp(strDir.data()) == nullptr) {
            std::abort();
        }
        m_root = strDir;
        std::filesystem::create_directories(m_root / "kernel");
        std::filesystem::create_directories(m_root / "torrents");
        std::ofstream(GlobalIni()) << "[FILETYPE]\ncount=2\nrootname=All\n"
                                   << "[FILETYPE1]\nname=Alpha\nid=1\nsubcount=2\n"
                                   << "sub_name1=Alpha One\nsub_dbasename1=alpha_one\n"
                                   << "sub_name2=Alpha Two\nsub_dbasename2=alpha_two\n"
                                   << "[FILETYPE2]\nname=Beta\nid=2\nsubcount=1\n"
                                   << "sub_name1=Beta One\nsub_dbasename1=beta_one\n"
                                   << "[SysCfg]\nMaxDownTasks=" << nMaxDownTasks << "\n";
        std::string strError;
        EXPECT_TRUE(CreateCatalogue(Database(), {std::begin(kTables), std::end(kTables)}, strError))
            << strError;
        CTorrentTable::SetDatabasePath(Database());
        std::string strIni = "[DLL]\ncount=" + std::to_string(nPlugins) + "\n";
        for (int i = 0; i < nPlugins; ++i) {
            strIni += std::to_string(i) + "=" + PluginName(i) + "\n";
            std::filesystem::copy_file(TASK_PLUGIN_PATH, m_root / "kernel" / PluginName(i));
        }
        std::ofstream(Kernel() + "dllmgr.ini") << strIni;
    }
    ~TaskHome() {
        for (auto& [strName, pModule] : m_modules) {
            dlclose(pModule);
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TaskHome(const TaskHome&) = delete;
    TaskHome& operator=(const TaskHome&) = delete;

    static std::string PluginName(int i) { return "p" + std::to_string(i) + ".so"; }

    std::string Dir() const { return m_root.string() + "/"; }
    std::string Kernel() const { return Dir() + "kernel/"; }
    std::string Torrents() const { return Dir() + "torrents/"; }
    std::string GlobalIni() const { return Kernel() + "global.ini"; }
    std::string Database() const { return Kernel() + "websdata.db"; }

    // Read by the plug-in at its first call.
    void WriteScript(int nPlugin, const std::string& strJson) const {
        std::ofstream(Kernel() + PluginName(nPlugin) + ".json") << strJson;
    }

    // The script of a plug-in the host has loaded; null before.
    TaskPluginScript* Script(int nPlugin) {
        void*& pModule = m_modules[nPlugin];
        if (!pModule) {
            pModule = dlopen((Kernel() + PluginName(nPlugin)).c_str(), RTLD_NOW | RTLD_NOLOAD);
        }
        return pModule
                   ? reinterpret_cast<PFN_TaskPluginControl>(dlsym(pModule, "TaskPluginControl"))()
                   : nullptr;
    }

  private:
    std::filesystem::path m_root;
    std::map<int, void*> m_modules;
};

// A catalogue entry as a plug-in makes it.
inline TorrentRecord MakeEntry(const std::string& strName, const std::string& strAddr0,
                               int32_t nType = 0,
                               const std::string& strDate = "2024-03-01 12:00:00") {
    TorrentRecord record;
    record.Name = strName;
    record.Addr0 = strAddr0;
    record.Type = nType;
    record.AddDate = OleDate::Parse(strDate);
    record.RefreshDate = record.AddDate;
    record.Size = "1.5GB";
    record.Seeds = 3;
    record.Peers = 4;
    return record;
}
