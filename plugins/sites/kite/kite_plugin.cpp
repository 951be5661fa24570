#include "kite_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(kite::kSite);

}  // namespace
