#include "egret_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(egret::kSite);

}  // namespace
