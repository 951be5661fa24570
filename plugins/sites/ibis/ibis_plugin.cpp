#include "ibis_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(ibis::kSite);

}  // namespace
