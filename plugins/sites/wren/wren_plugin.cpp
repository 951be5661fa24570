#include "plugin_entry.h"
#include "wren_site.h"

namespace {

const PluginRegistration kRegistration(wren::kSite);

}  // namespace
