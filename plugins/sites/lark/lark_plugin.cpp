#include "lark_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(lark::kSite);

}  // namespace
