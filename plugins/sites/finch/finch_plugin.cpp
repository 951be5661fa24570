#include "finch_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(finch::kSite);

}  // namespace
