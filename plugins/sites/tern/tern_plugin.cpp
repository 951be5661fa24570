#include "plugin_entry.h"
#include "tern_site.h"

namespace {

const PluginRegistration kRegistration(tern::kSite);

}  // namespace
