#include "plugin_manager.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsSlot(int group, int index) {
    return group >= 0 && group < kGroupCount && index >= 0 && index < kIndexCount;
}

// The address goes into an attribute of markup the host displays.
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
    if (task == nullptr || context_.Site().inertPages) {
        // An inert site's task still keeps its slot's refresh date.
        return 1;
    }
    return task->Start();
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

TorrentFileTask* PluginManager::FileTask(const TorrentRecord* record) {
    if (record == nullptr || record->DownHd <= 0 ||
        static_cast<size_t>(record->DownHd) >= files_.size()) {
        return nullptr;
    }
    TorrentFileTask* task = files_[static_cast<size_t>(record->DownHd)].get();
    return task != nullptr && task->Addr0() == record->Addr0 ? task : nullptr;
}

int PluginManager::StartDownTFile(TorrentRecord* record) {
    if (record == nullptr) {
        return 0;
    }
    if (TorrentFileTask* task = FileTask(record)) {
        return task->Start(*record) != 0 ? record->DownHd : 0;
    }
    auto task = std::make_unique<TorrentFileTask>(context_);
    if (task->Start(*record) == 0) {
        return 0;
    }
    files_.push_back(std::move(task));
    return static_cast<int>(files_.size() - 1);
}

int PluginManager::StopDownTFile(const TorrentRecord* record) {
    if (TorrentFileTask* task = FileTask(record)) {
        task->Stop();
        files_[static_cast<size_t>(record->DownHd)].reset();
    }
    return 1;
}

int PluginManager::GetDownTFileStatus(const TorrentRecord* record) {
    TorrentFileTask* task = FileTask(record);
    return task != nullptr ? task->Poll() : -1;
}

int PluginManager::StopAll() {
    for (auto& task : pages_) {
        if (task) {
            task->Stop();
        }
    }
    for (auto& task : files_) {
        task.reset();
    }
    return 1;
}

SearchTask* PluginManager::Search(SearchHandle handle) {
    for (const auto& task : searches_) {
        if (reinterpret_cast<SearchHandle>(task.get()) == handle) {
            return task.get();
        }
    }
    return nullptr;
}

SearchHandle PluginManager::StartSearch(const std::string& keyword) {
    auto task = std::make_unique<SearchTask>(context_, keyword);
    if (task->Start() == 0) {
        return kNoSearch;
    }
    searches_.push_back(std::move(task));
    return reinterpret_cast<SearchHandle>(searches_.back().get());
}

int PluginManager::StopSearch(SearchHandle handle) {
    for (auto it = searches_.begin(); it != searches_.end(); ++it) {
        if (reinterpret_cast<SearchHandle>(it->get()) == handle) {
            (*it)->Stop();
            searches_.erase(it);
            break;
        }
    }
    return 1;
}

int PluginManager::GetSearchData(SearchHandle handle, TorrentRecordArray* out) {
    SearchTask* task = Search(handle);
    return task != nullptr ? task->HandOver(out) : 0;
}

int PluginManager::GetSearchStatus(SearchHandle handle) {
    SearchTask* task = Search(handle);
    return task != nullptr ? task->Poll() : 100;
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

namespace {

// The one buffer the host frees: malloc'ed, zero-terminated, its size with
// the terminator through `length`.
void HandOverText(const std::string& text, char** buffer, int* length) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) {
        return;
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *buffer = copy;
    *length = static_cast<int>(text.size() + 1);
}

}  // namespace

int PluginManager::WebIOCtl(const TorrentRecord* record, int code, int group, int index,
                            char** buffer, int* length) {
    if (buffer == nullptr || length == nullptr) {
        return 1;
    }
    if (code == kWebIoPageFailure) {
        const PageTask* task = Task(group, index, false);
        if (task != nullptr && !task->FailureText().empty()) {
            HandOverText(task->FailureText(), buffer, length);
        }
        return 1;
    }
    if (code != kWebIoDetailText || record == nullptr) {
        return 1;
    }
    switch (context_.Site().webIo) {
        case WebIoAnswer::kNone:
            return 1;
        case WebIoAnswer::kComment:
            HandOverText(record->Comment, buffer, length);
            return 1;
        case WebIoAnswer::kFrame:
            HandOverText("<iframe src=\"" + EscapeAttribute(record->WebAddr) +
                             "\" width=\"100%\" height=\"500\"></iframe>",
                         buffer, length);
            return 1;
    }
    return 1;
}
