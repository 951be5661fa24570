#include "osprey_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(osprey::kSite);

}  // namespace
