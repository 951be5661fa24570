// The commands of tessaro-cli. Each answers the program's exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cli {

int RunInit(const std::string& home);
int RunTree(const std::string& home);
int RunPlugins(const std::string& home);

inline constexpr int64_t kMaxListLimit = 1000000;

struct ListOptions {
    std::string node;
    size_t offset = 0;
    size_t limit = 100;
    bool json = false;
};
int RunList(const std::string& home, const ListOptions& options);

struct RefreshOptions {
    std::vector<std::string> nodes;
    int pollMs = 500;
    bool json = false;  // one JSON object per finished leaf, then the total
};
int RunRefresh(const std::string& home, const RefreshOptions& options);

struct DeleteOptions {
    std::string node;
    // Exactly one of these names the command.
    bool clear = false;
    int beforeDays = 0;
    int recentDays = 0;
    std::string beforeDate;  // YYYY-MM-DD
    std::string afterDate;
    bool yes = false;
};
int RunDelete(const std::string& home, const DeleteOptions& options);

struct DaemonOptions {
    double cycleHours = 0;  // 0: [UpdateData] of global.ini decides
    std::string testUrl;    // empty: [UpdateData] TestAddr, else the default page
    int tickMs = 0;         // 0: the scheduler's own period (5 s, then 10 s)
    int pollMs = 500;
    std::string serve;  // "ADDR:PORT": serve the indexer API too; empty: do not
};
int RunDaemon(const std::string& home, const DaemonOptions& options);

int RunSites(const std::string& home);

struct SearchOptions {
    std::string keyword;
    bool localOnly = false;
    bool sitesOnly = false;
    bool json = false;
    std::vector<size_t> fetch;  // result numbers, from 0 in printed order
    int pollMs = 100;
};
int RunSearch(const std::string& home, const SearchOptions& options);

struct FetchOptions {
    std::string node;
    std::vector<std::string> rowids;
    bool open = false;
    int pollMs = 500;
};
int RunFetch(const std::string& home, const FetchOptions& options);

struct ServeOptions {
    std::string listen;  // ADDR:PORT
};
int RunServe(const std::string& home, const ServeOptions& options);

}  // namespace cli
