#include "plugin_manager.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsSlot(int group, int index) {
    return group >= 0 && group < kGroupCount && index >= 0 && index < kIndexCount;
}

}  // namespace

PluginManager::PluginManager(const SiteData& site, PluginLocation location, ClockFn clock)
    : context_(site, std::move(location), clock) {}

PluginManager::~PluginManager() = default;

PageTask* PluginManager::Task(int group, int index, bool create) {
    if (!IsSlot(group, index) || SlotSections(context_.Site(), group, index) == 0) {
        return nullptr;
    }
    std::unique_ptr<PageTask>& task = pages_[static_cast<size_t>(group * kIndexCount + index)];
    if (!task && create) {
        task = std::make_unique<PageTask>(context_, group, index);
    }
    return task.get();
}

int PluginManager::StartDownPage(int group, int index) {
    PageTask* task = Task(group, index, true);
    return task != nullptr ? task->Start() : 1;
}

int PluginManager::StopDownPage(int group, int index) {
    if (PageTask* task = Task(group, index, false)) {
        task->Stop();
    }
    return 1;
}

int PluginManager::GetDownPageStatus(int group, int index) {
    PageTask* task = Task(group, index, false);
    return task != nullptr ? task->Poll() : 100;
}

int PluginManager::GetDownPageData(int group, int index, TorrentRecordArray* out) {
    if (PageTask* task = Task(group, index, false)) {
        task->HandOver(out);
    }
    return 1;
}

int PluginManager::StopAll() {
    for (auto& task : pages_) {
        if (task) {
            task->Stop();
        }
    }
    return 1;
}

int PluginManager::ClearPageRecord(int group, int index, const OleDate& date) {
    if (!IsSlot(group, index) || SlotSections(context_.Site(), group, index) == 0) {
        return 1;
    }
    if (PageTask* task = Task(group, index, false)) {
        task->SetRefreshDate(date);
    }
    context_.WriteRefreshDate(group, index, date);
    return 1;
}

int PluginManager::WebIOCtl(const TorrentRecord* record, int code, char** buffer,
                            int* length) const {
    if (code != 1 || record == nullptr || buffer == nullptr || length == nullptr) {
        return 1;
    }
    std::string text;
    switch (context_.Site().webIo) {
        case WebIoAnswer::kNone:
            return 1;
        case WebIoAnswer::kComment:
            text = record->Comment;
            break;
        case WebIoAnswer::kFrame:
            text = "<iframe src=\"" + EscapeAttribute(record->WebAddr) +
                   "\" width=\"100%\" height=\"500\"></iframe>";
            break;
    }
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) {
        return 1;
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *buffer = copy;
    *length = static_cast<int>(text.size() + 1);
    return 1;
}

std::string EscapeAttribute(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}
