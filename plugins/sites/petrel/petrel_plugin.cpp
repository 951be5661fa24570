#include "petrel_site.h"
#include "plugin_entry.h"

namespace {

const PluginRegistration kRegistration(petrel::kSite);

}  // namespace
