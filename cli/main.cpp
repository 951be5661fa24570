// tessaro-cli: the headless front end. It drives the same core as the
// desktop program: lays out a home, lists the category tree and the
// catalogue, and refreshes it from the sites.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli_context.h"
#include "commands.h"
#include "home.h"

int main(int argc, char** argv) {
    CLI::App app{"Tessaro: a local catalogue of BitTorrent index sites", "tessaro-cli"};
    app.require_subcommand(1);
    std::string homeOption;
    app.add_option("--home", homeOption,
                   "the home folder (default: $TESSARO_HOME, the program's "
                   "portable folder, or ~/.local/share/tessaro)");

    CLI::App* init = app.add_subcommand("init", "lay out the home from the installed defaults");
    CLI::App* tree = app.add_subcommand("tree", "print the category tree with row counts");
    CLI::App* plugins = app.add_subcommand("plugins", "print the plug-in registry and its state");

    cli::ListOptions list;
    CLI::App* listCommand = app.add_subcommand("list", "print a node's rows, newest first");
    listCommand->add_option("NODE", list.node, "C for a category, C,I for a leaf")->required();
    listCommand->add_option("--offset", list.offset, "rows to skip")->check(CLI::NonNegativeNumber);
    listCommand->add_option("--limit", list.limit, "rows to print")->check(CLI::PositiveNumber);
    listCommand->add_flag("--json", list.json, "one JSON object per row");

    cli::RefreshOptions refresh;
    CLI::App* refreshCommand = app.add_subcommand("refresh", "fetch new rows from the sites");
    refreshCommand->add_option("NODE", refresh.nodes, "all, C or C,I")->required();
    refreshCommand->add_option("--poll-ms", refresh.pollMs, "milliseconds between polls")
        ->check(CLI::Range(1, 60000));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : cli::kExitUsage;
    }

    const std::string home = tessaro::FindHome(homeOption);
    if (*init) {
        return cli::RunInit(home);
    }
    if (*tree) {
        return cli::RunTree(home);
    }
    if (*plugins) {
        return cli::RunPlugins(home);
    }
    if (*listCommand) {
        return cli::RunList(home, list);
    }
    if (*refreshCommand) {
        return cli::RunRefresh(home, refresh);
    }
    return cli::kExitUsage;
}
