#include "plugin_entry.h"
#include "swift_site.h"

namespace {

const PluginRegistration kRegistration(swift::kSite);

}  // namespace
