#include "plover_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(plover::kSite);

}  // namespace
