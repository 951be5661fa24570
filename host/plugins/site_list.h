// CSiteList: the published torrent sites that the site menu offers, from the
// [PublishSites] section of kernel/dllmgr.ini. The list travels with the
// plug-in registry, so a site that moves is followed by editing that file.
//
// The section holds `count` and the keys 0 .. count-1, each "name|address".
// Empty or missing keys are skipped, so the k-th entry of the list is the
// k-th non-empty value in key order, which is what the menu's item k opens.
// The list is read once and kept for the run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ini_file.h"

class CSiteList {
  public:
    struct SiteEntry {
        std::string strName;
        // Empty when the value has no '|'.
        std::string strAddress;
    };

    // More keys than this are not looked at: a damaged count must not make
    // the menu build spin through billions of absent keys.
    static constexpr int64_t kMaxKeys = 10000;

    // Replaces the list with the section of `registry`.
    void Load(const CIniFile& registry);

    const std::vector<SiteEntry>& GetSites() const { return m_sites; }
    // Entry k, or null when there is none.
    const SiteEntry* GetSite(size_t k) const { return k < m_sites.size() ? &m_sites[k] : nullptr; }

    // "name|address|anything" -> name, address.
    static SiteEntry Split(const std::string& strValue);

  private:
    std::vector<SiteEntry> m_sites;
};
