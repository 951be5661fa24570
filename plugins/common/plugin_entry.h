// How a site folder becomes a plug-in. The site's source file defines its
// SiteData and one registration object:
//
//     namespace {
//     constexpr SiteData kSite{...};
//     const PluginRegistration kRegistration(kSite);
//     }  // namespace
//
// The registration builds the plug-in's PluginManager when the library is
// loaded (finding its home and registry name from its own path) and destroys
// it when the library is unloaded; the exports of plugin_api.h, linked in
// from plugins/common, route every call to it.
//
// Besides the fourteen exports each plug-in exports SetPluginClock, a hook
// for tests that the host never binds: it replaces the clock the stall rule
// and the year of yearless dates depend on (Unix seconds); null restores the
// system clock.
#pragma once

#include <cstdint>

#include "plugin_api.h"
#include "site_data.h"

class PluginRegistration {
  public:
    explicit PluginRegistration(const SiteData& site);
    ~PluginRegistration();
    PluginRegistration(const PluginRegistration&) = delete;
    PluginRegistration& operator=(const PluginRegistration&) = delete;
};

inline constexpr const char* kSetPluginClockName = "SetPluginClock";
using PFN_SetPluginClock = void (*)(int64_t (*now)());
