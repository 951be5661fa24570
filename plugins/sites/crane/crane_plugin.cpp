#include "crane_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(crane::kSite);

}  // namespace
