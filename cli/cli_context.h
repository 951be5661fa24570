// What every command of the command line works on: the home, its
// configuration with the category tree, the catalogue and the plug-in host.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "global_config.h"
#include "plugin_host.h"

namespace cli {

// Exit statuses of tessaro-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// refresh: every row is stored, but a listed plug-in could not take part.
inline constexpr int kExitSitesFailed = 3;
// A command stopped by Ctrl-C or SIGTERM, as a shell reports SIGINT.
inline constexpr int kExitInterrupted = 130;

// Search index pages merged after each refresh poll (see
// CTorrentTable::MergeSearchIndexStep): nobody waits on the command line,
// so its steps are larger than the window's.
inline constexpr int kMergePagesPerPoll = 256;

// Prints "tessaro-cli: <message>" on stderr and answers kExitFailure.
int Fail(const std::string& message);

class CliContext {
  public:
    // Opens an existing home: its configuration, its catalogue and (lazily)
    // its plug-ins. Fails with one sentence when the home is not laid out or
    // the catalogue cannot be opened.
    static std::unique_ptr<CliContext> Open(const std::string& home, std::string& error);
    // Open, then FindNode(spec) into `node`, for the commands that work on
    // one node: null with the sentence of whichever failed.
    static std::unique_ptr<CliContext> OpenAt(const std::string& home, const std::string& spec,
                                              CCategoryNode*& node, std::string& error);

    const std::string& Home() const { return m_strHome; }
    CGlobalConfig& Config() { return *m_pConfig; }
    PluginHost& Host() { return *m_pHost; }

    // "all" is not a node; "0" or "0,0" the root, "C" a category, "C,I" a
    // leaf. Null with a sentence when there is no such node.
    CCategoryNode* FindNode(const std::string& spec, std::string& error);

  private:
    std::string m_strHome;
    std::unique_ptr<CGlobalConfig> m_pConfig;
    std::unique_ptr<PluginHost> m_pHost;
};

// "C,I" of a node.
std::string NodeId(const CCategoryNode& node);

// "YYYY-MM-DD HH:MM:SS" in local time of Unix seconds.
std::string LocalTime(int64_t seconds);

}  // namespace cli
