#include "heron_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(heron::kSite);

}  // namespace
