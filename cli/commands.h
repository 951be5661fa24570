// The commands of tessaro-cli. Each answers the program's exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

int RunInit(const std::string& home);
int RunTree(const std::string& home);
int RunPlugins(const std::string& home);

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
};
int RunRefresh(const std::string& home, const RefreshOptions& options);

}  // namespace cli
