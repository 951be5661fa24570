#include "plugin_entry.h"
#include "robin_site.h"

namespace {

const PluginRegistration kRegistration(robin::kSite);

}  // namespace
