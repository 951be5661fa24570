// The whole catalogue refreshed from one local server: every site section of
// every plug-in serves 20 rows on each of 3 pages, and tessaro-cli runs
// "refresh all" on a fresh home as a child process. Prints what the refresh
// fetched, stored and cost beside the targets; exits 1 when one is missed.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_sites.h"
#include "child_run.h"
#include "fixture_server.h"
#include "ini_file.h"

namespace {

using refresh_bench::ChildResult;
using refresh_bench::RunChild;
using refresh_bench::ServedCatalogue;
using refresh_bench::ServedPage;

constexpr double kCpuMsPerPageTarget = 2.0;
constexpr double kPeakMbTarget = 150.0;
constexpr auto kRefreshTimeout = std::chrono::seconds(600);
constexpr auto kCommandTimeout = std::chrono::seconds(120);
// Names printed per kind of wrong row, enough to see the pattern.
constexpr size_t kExamples = 5;

const std::string kCli = TESSARO_CLI;

int g_nMisses = 0;

void Report(const char* what, const std::string& value, const std::string& target, bool met) {
    std::printf("%-20s %14s   target %-34s %s\n", what, value.c_str(), target.c_str(),
                met ? "ok" : "MISSED");
    if (!met) {
        ++g_nMisses;
    }
}

std::string Fixed(double value, const char* unit) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f %s", value, unit);
    return text;
}

// A scratch folder for the home and the child's output. It is left behind
// when a target is missed, so the catalogue can be looked at.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tessaro-refresh-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~ScratchDir() {
        if (!m_path.empty() && !m_bKeep) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    void Keep() { m_bKeep = true; }

  private:
    std::string m_path;
    bool m_bKeep = false;
};

// What the server saw during the run.
class RequestLog {
  public:
    explicit RequestLog(size_t pages) : m_hits(pages, 0) {}

    void Answered(size_t page) {
        std::lock_guard lock(m_mutex);
        ++m_hits[page];
    }
    void Unknown(const testing_support::FixtureRequest& request) {
        std::lock_guard lock(m_mutex);
        m_unknown.push_back(request.method + " " + request.target +
                            (request.body.empty() ? "" : " [" + request.body + "]"));
    }

    std::vector<int> Hits() const {
        std::lock_guard lock(m_mutex);
        return m_hits;
    }
    std::vector<std::string> UnknownRequests() const {
        std::lock_guard lock(m_mutex);
        return m_unknown;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<int> m_hits;  // per served page
    std::vector<std::string> m_unknown;
};

bool Fail(const std::string& what, const ChildResult& result) {
    std::fprintf(stderr, "refresh bench: %s failed (exit %d%s)\n%s", what.c_str(), result.exitCode,
                 result.timedOut ? ", timed out" : "", result.err.c_str());
    return false;
}

ChildResult Cli(const std::string& home, const std::vector<std::string>& arguments,
                const std::string& scratch, std::chrono::seconds timeout = kCommandTimeout) {
    std::vector<std::string> argv = {kCli, "--home", home};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunChild(argv, scratch, timeout);
}

// A fresh home whose plug-ins all live on the local server.
bool LayOutHome(const std::string& home, const std::string& scratch,
                const ServedCatalogue& catalogue) {
    const ChildResult init = Cli(home, {"init"}, scratch);
    if (init.exitCode != 0) {
        return Fail("tessaro-cli init", init);
    }
    CIniFile registry(home + "kernel/dllmgr.ini");
    CIniFile::Batch batch(registry);
    for (const auto& [registryName, base] : catalogue.bases) {
        if (!registry.WriteString("Site_" + registryName, "Base", base)) {
            std::fprintf(stderr, "refresh bench: cannot point %s at %s\n", registryName.c_str(),
                         base.c_str());
            return false;
        }
    }
    if (!batch.Commit()) {
        std::fprintf(stderr, "refresh bench: cannot write %skernel/dllmgr.ini\n", home.c_str());
        return false;
    }
    return true;
}

using Slot = std::pair<int, int>;
using NameCounts = std::map<std::string, int>;

struct CatalogueCheck {
    bool ok = false;
    long stored = 0;
    long expected = 0;
    std::vector<std::string> missing;
    std::vector<std::string> duplicated;  // stored more than once
    std::vector<std::string> unexpected;  // stored but never served to that leaf
};

// Reads every leaf of the catalogue back through tessaro-cli and compares its
// rows, by Name, with what the server handed out for the leaf's slot.
CatalogueCheck CheckCatalogue(const std::string& home, const std::string& scratch,
                              const ServedCatalogue& catalogue) {
    CatalogueCheck check;
    std::map<Slot, NameCounts> served;
    for (const ServedPage& page : catalogue.pages) {
        for (const std::string& name : page.names) {
            ++served[{page.group, page.index}][name];
            ++check.expected;
        }
    }

    const ChildResult tree = Cli(home, {"tree"}, scratch);
    if (tree.exitCode != 0) {
        Fail("tessaro-cli tree", tree);
        return check;
    }
    std::map<Slot, NameCounts> stored;
    std::istringstream treeLines(tree.out);
    for (std::string line; std::getline(treeLines, line);) {
        int category = 0;
        int sub = 0;
        if (std::sscanf(line.c_str(), "%d,%d", &category, &sub) != 2 || sub == 0) {
            continue;
        }
        const std::string node = std::to_string(category) + "," + std::to_string(sub);
        const ChildResult list = Cli(home, {"list", node, "--json", "--limit", "1000000"}, scratch);
        if (list.exitCode != 0) {
            Fail("tessaro-cli list " + node, list);
            return check;
        }
        NameCounts& names = stored[{category, sub}];
        std::istringstream rows(list.out);
        for (std::string row; std::getline(rows, row);) {
            const nlohmann::json record = nlohmann::json::parse(row, nullptr, false);
            if (record.is_discarded() || !record.contains("Name")) {
                std::fprintf(stderr, "refresh bench: list %s printed '%s'\n", node.c_str(),
                             row.c_str());
                return check;
            }
            ++names[record["Name"].get<std::string>()];
            ++check.stored;
        }
    }

    for (const auto& [slot, names] : served) {
        const NameCounts& leaf = stored[slot];
        for (const auto& [name, times] : names) {
            const auto it = leaf.find(name);
            const int count = it == leaf.end() ? 0 : it->second;
            if (count < times) {
                check.missing.push_back(name);
            } else if (count > times) {
                check.duplicated.push_back(name);
            }
        }
    }
    for (const auto& [slot, names] : stored) {
        const NameCounts& leaf = served[slot];
        for (const auto& [name, count] : names) {
            if (leaf.find(name) == leaf.end()) {
                check.unexpected.push_back(std::to_string(slot.first) + "," +
                                           std::to_string(slot.second) + " " + name);
            }
        }
    }
    check.ok = true;
    return check;
}

void PrintExamples(const char* what, const std::vector<std::string>& items) {
    for (size_t i = 0; i < items.size() && i < kExamples; ++i) {
        std::printf("    %s: %s\n", what, items[i].c_str());
    }
    if (items.size() > kExamples) {
        std::printf("    %s: ... %zu in all\n", what, items.size());
    }
}

}  // namespace

int main() {
    ScratchDir scratch;
    if (scratch.Path().empty()) {
        std::fprintf(stderr, "refresh bench: cannot make a scratch folder\n");
        return 1;
    }
    const std::string home = scratch.Path() + "/home/";

    testing_support::FixtureServer server;
    const ServedCatalogue catalogue =
        refresh_bench::BuildCatalogue(server.Url(""), time(nullptr), {});
    std::unordered_map<std::string, size_t> pageByRequest;
    for (size_t i = 0; i < catalogue.pages.size(); ++i) {
        const auto& request = catalogue.pages[i].request;
        if (!pageByRequest
                 .emplace(refresh_bench::RequestKey(request.method, request.target, request.body),
                          i)
                 .second) {
            std::fprintf(stderr, "refresh bench: two pages answer %s %s\n", request.method.c_str(),
                         request.target.c_str());
            return 1;
        }
    }
    RequestLog log(catalogue.pages.size());
    server.SetHandler([&](const testing_support::FixtureRequest& request) {
        testing_support::FixtureReply reply;
        const auto it = pageByRequest.find(
            refresh_bench::RequestKey(request.method, request.target, request.body));
        if (it == pageByRequest.end()) {
            log.Unknown(request);
            reply.status = 404;
            reply.body = "not found";
            return reply;
        }
        log.Answered(it->second);
        reply.body = catalogue.pages[it->second].content;
        reply.contentType = "text/html; charset=gb2312";
        return reply;
    });

    if (!LayOutHome(home, scratch.Path(), catalogue)) {
        scratch.Keep();
        return 1;
    }

    const ChildResult refresh =
        Cli(home, {"refresh", "all", "--poll-ms", "20"}, scratch.Path(), kRefreshTimeout);
    if (refresh.exitCode != 0) {
        Fail("tessaro-cli refresh all", refresh);
        scratch.Keep();
        return 1;
    }

    const std::vector<int> hits = log.Hits();
    const std::vector<std::string> unknown = log.UnknownRequests();
    long fetched = 0;
    std::vector<std::string> notOnce;
    for (size_t i = 0; i < hits.size(); ++i) {
        fetched += hits[i];
        if (hits[i] != 1) {
            const auto& request = catalogue.pages[i].request;
            notOnce.push_back(std::to_string(hits[i]) + "x " + request.method + " " +
                              request.target);
        }
    }

    const CatalogueCheck check = CheckCatalogue(home, scratch.Path(), catalogue);
    if (!check.ok) {
        scratch.Keep();
        return 1;
    }

    const double cpuMsPerPage = fetched > 0 ? refresh.cpuSeconds * 1000.0 / fetched : 0;
    const double peakMb = static_cast<double>(refresh.peakRssKb) / 1024.0;
    std::printf("refresh all: %zu plug-ins on one local server, %d site sections, %zu pages\n",
                catalogue.bases.size(), catalogue.sections, catalogue.pages.size());
    Report("pages fetched", std::to_string(fetched),
           std::to_string(catalogue.pages.size()) + " (each served page once)",
           notOnce.empty() && unknown.empty());
    PrintExamples("not fetched once", notOnce);
    PrintExamples("unknown request", unknown);
    Report("rows stored", std::to_string(check.stored),
           std::to_string(check.expected) + " (each served row once)",
           check.missing.empty() && check.duplicated.empty() && check.unexpected.empty());
    std::printf("%-20s %14ld\n", "rows expected", check.expected);
    PrintExamples("missing", check.missing);
    PrintExamples("duplicated", check.duplicated);
    PrintExamples("not served", check.unexpected);
    std::printf("%-20s %14s   (CPU %.2f s)\n", "wall time", Fixed(refresh.wallSeconds, "s").c_str(),
                refresh.cpuSeconds);
    Report("CPU time per page", Fixed(cpuMsPerPage, "ms"), "<= " + Fixed(kCpuMsPerPageTarget, "ms"),
           fetched > 0 && cpuMsPerPage <= kCpuMsPerPageTarget);
    Report("peak memory", Fixed(peakMb, "MB"), "< " + Fixed(kPeakMbTarget, "MB"),
           peakMb < kPeakMbTarget);

    if (g_nMisses > 0) {
        scratch.Keep();
        std::printf("%d target(s) missed; the home is kept in %s\n", g_nMisses, home.c_str());
        return 1;
    }
    return 0;
}
