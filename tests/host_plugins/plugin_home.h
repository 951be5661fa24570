// A temporary home for host tests: kernel/dllmgr.ini written by the test and
// copies of the scripted plug-in under the names the list gives. Copies, not
// links: the loader treats links to one file as one module, and each listed
// plug-in must keep its own script.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <string>

#include "scripted_plugin.h"

class PluginHome {
  public:
    PluginHome();
    ~PluginHome();
    PluginHome(const PluginHome&) = delete;
    PluginHome& operator=(const PluginHome&) = delete;

    // The home folder with its trailing '/'.
    std::string Dir() const { return m_root.string() + "/"; }
    std::string Kernel() const { return (m_root / "kernel").string(); }

    // kernel/dllmgr.ini with this text.
    void WriteRegistry(const std::string& strText) const;
    // Copies the scripted plug-in (or the one lacking WebIOCtl) to kernel/<name>.
    void AddPlugin(const std::string& strName, bool bComplete = true) const;
    // A registry listing the scripted plug-in under p0.so .. p<n-1>.so.
    void ListPlugins(int nCount);

    // The script of the plug-in loaded from kernel/<name>; null while the
    // module is not loaded.
    PluginScript* Script(const std::string& strName);

  private:
    std::filesystem::path m_root;
    // Extra references that keep a script readable after the host unloads.
    std::map<std::string, void*> m_modules;
};
