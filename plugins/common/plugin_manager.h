// PluginManager: the one object of a plug-in, behind its exports. It owns a
// page task per category slot the site serves, created on first start and
// kept until the plug-in is unloaded. Its tables are not locked: starting,
// stopping and deleting tasks come from one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "page_task.h"
#include "plugin_api.h"
#include "plugin_location.h"
#include "site_context.h"
#include "site_data.h"

class PluginManager {
  public:
    PluginManager(const SiteData& site, PluginLocation location, ClockFn clock = nullptr);
    // Deletes every task; each writes its slot's refresh date.
    ~PluginManager();
    PluginManager(const PluginManager&) = delete;
    PluginManager& operator=(const PluginManager&) = delete;

    int StartDownPage(int group, int index);
    int StopDownPage(int group, int index);
    int GetDownPageStatus(int group, int index);
    int GetDownPageData(int group, int index, TorrentRecordArray* out);
    int StopAll();
    int ClearPageRecord(int group, int index, const OleDate& date);
    int WebIOCtl(const TorrentRecord* record, int code, char** buffer, int* length) const;

    void SetClock(ClockFn clock) { context_.SetClock(clock); }
    const SiteContext& Context() const { return context_; }

  private:
    // The slot's task if the site serves the slot; created when `create`.
    PageTask* Task(int group, int index, bool create);

    SiteContext context_;
    std::array<std::unique_ptr<PageTask>, kSlotCount> pages_;
};

// The attribute-safe form of a text inside an HTML attribute value.
std::string EscapeAttribute(const std::string& text);
