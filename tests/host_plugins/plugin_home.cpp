#include "plugin_home.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

PluginHome::PluginHome() {
    std::string strTemplate = (std::filesystem::temp_directory_path() / "hostXXXXXX").string();
    if (!mkdtemp(strTemplate.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_root = strTemplate;
    std::filesystem::create_directories(m_root / "kernel");
}

PluginHome::~PluginHome() {
    for (auto& [name, pModule] : m_modules) {
        dlclose(pModule);
    }
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
}

void PluginHome::WriteRegistry(const std::string& strText) const {
    std::ofstream(m_root / "kernel" / "dllmgr.ini") << strText;
}

void PluginHome::AddPlugin(const std::string& strName, bool bComplete) const {
    const std::filesystem::path target = m_root / "kernel" / strName;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(bComplete ? SCRIPTED_PLUGIN_PATH : INCOMPLETE_PLUGIN_PATH, target,
                               std::filesystem::copy_options::overwrite_existing);
}

void PluginHome::ListPlugins(int nCount) {
    std::string strIni = "[DLL]\ncount=" + std::to_string(nCount) + "\n";
    for (int i = 0; i < nCount; ++i) {
        const std::string strName = "p" + std::to_string(i) + ".so";
        strIni += std::to_string(i) + "=" + strName + "\n";
        AddPlugin(strName);
    }
    WriteRegistry(strIni);
}

PluginScript* PluginHome::Script(const std::string& strName) {
    auto it = m_modules.find(strName);
    if (it == m_modules.end()) {
        const std::string strPath = Kernel() + "/" + strName;
        void* pModule = dlopen(strPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!pModule) {
            return nullptr;
        }
        it = m_modules.emplace(strName, pModule).first;
    }
    auto pfn =
        reinterpret_cast<PFN_ScriptedPluginControl>(dlsym(it->second, kScriptedPluginControlName));
    return pfn ? pfn() : nullptr;
}
