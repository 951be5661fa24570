#include "plugin_entry.h"
#include "stork_site.h"

namespace {

const PluginRegistration kRegistration(stork::kSite);

}  // namespace
