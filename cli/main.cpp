// tessaro-cli: the headless front end. It drives the same core as the
// desktop program: lays out a home, lists the category tree and the
// catalogue, and refreshes it from the sites.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli_context.h"
#include "commands.h"
#include "home.h"
#include "indexer_server.h"
#include "option_checks.h"

int main(int argc, char** argv) {
    CLI::App app{"Tessaro: a local catalogue of BitTorrent index sites", "tessaro-cli"};
    // At most one; none is answered below in words.
    app.require_subcommand(0, 1);
    std::string homeOption;
    app.add_option("--home", homeOption,
                   "the home folder (default: $TESSARO_HOME, the program's "
                   "portable folder, or ~/.local/share/tessaro)");

    CLI::App* init = app.add_subcommand("init", "lay out the home from the installed defaults");
    CLI::App* tree = app.add_subcommand("tree", "print the category tree with row counts");
    CLI::App* plugins = app.add_subcommand(
        "plugins",
        "print the plug-in registry: DllID, name, state, site, and of its last refresh the time, "
        "the rows it brought and the last failure");

    cli::ListOptions list;
    CLI::App* listCommand = app.add_subcommand("list", "print a node's rows, newest first");
    listCommand->add_option("NODE", list.node, "C for a category, C,I for a leaf")->required();
    listCommand->add_option("--offset", list.offset, "rows to skip")->check(cli::WholeNumber(0));
    listCommand->add_option("--limit", list.limit, "rows to print")
        ->check(cli::WholeNumber(1, cli::kMaxListLimit));
    listCommand->add_flag("--json", list.json, "one JSON object per row");

    cli::RefreshOptions refresh;
    CLI::App* refreshCommand = app.add_subcommand("refresh", "fetch new rows from the sites");
    refreshCommand->add_option("NODE", refresh.nodes, "all, C or C,I")->required();
    refreshCommand->add_option("--poll-ms", refresh.pollMs, "milliseconds between polls")
        ->check(cli::WholeNumber(1, 60000));
    refreshCommand->add_flag("--json", refresh.json,
                             "one JSON object per finished leaf (rows, failures), then the total");
    refreshCommand->footer(
        "Exit status: 0 every leaf refreshed; 1 an error, or rows the catalogue could not store "
        "(the next refresh fetches them again); 3 some sites failed (a page refused or not "
        "answered, a reply too large or too slow, a plug-in that cannot be loaded); 130 stopped by "
        "Ctrl-C or SIGTERM. Failures are also printed on stderr, one "
        "line each.");

    cli::DeleteOptions deletion;
    CLI::App* deleteCommand =
        app.add_subcommand("delete", "delete a node's rows by age, or all of them");
    deleteCommand->add_option("NODE", deletion.node, "0 for every leaf, C or C,I")->required();
    CLI::Option_group* what = deleteCommand->add_option_group("what to delete");
    what->add_flag("--clear", deletion.clear, "every row, and every fetched torrent file");
    what->add_option("--before-days", deletion.beforeDays,
                     "rows added before today's midnight minus N-1 days")
        ->check(cli::WholeNumber(1, 36500));
    what->add_option("--recent-days", deletion.recentDays,
                     "rows added since today's midnight minus N-1 days")
        ->check(cli::WholeNumber(1, 36500));
    what->add_option("--before-date", deletion.beforeDate, "rows added before the day YYYY-MM-DD");
    what->add_option("--after-date", deletion.afterDate, "rows added on or after YYYY-MM-DD");
    what->require_option(1);
    deleteCommand->add_flag("--yes", deletion.yes, "do not ask");

    cli::DaemonOptions daemon;
    CLI::App* daemonCommand =
        app.add_subcommand("daemon", "refresh every category on a cycle until stopped");
    daemonCommand
        ->add_option("--cycle", daemon.cycleHours,
                     "hours between updates (default: [UpdateData] of global.ini)")
        ->check(cli::Number("0.0001", "8760", "hours"));
    daemonCommand->add_option("--test-url", daemon.testUrl,
                              "the page fetched to test the connection");
    daemonCommand->add_option("--tick-ms", daemon.tickMs, "milliseconds between scheduler ticks")
        ->check(cli::WholeNumber(1, 600000));
    daemonCommand->add_option("--poll-ms", daemon.pollMs, "milliseconds between refresh polls")
        ->check(cli::WholeNumber(1, 60000));
    daemonCommand->add_option("--serve", daemon.serve, "serve the indexer API on ADDR:PORT too")
        ->expected(0, 1)
        ->default_str(cli::kDefaultListen);

    cli::ServeOptions serve{.listen = cli::kDefaultListen};
    CLI::App* serveCommand = app.add_subcommand(
        "serve", "answer indexer API requests over the catalogue and the sites until stopped");
    serveCommand->add_option("--listen", serve.listen, "ADDR:PORT to listen on")
        ->capture_default_str();

    CLI::App* sites = app.add_subcommand("sites", "print the published sites: name TAB address");

    cli::SearchOptions search;
    CLI::App* searchCommand = app.add_subcommand(
        "search", "look a keyword up in the catalogue and on the sites, local matches first");
    searchCommand->add_option("KEYWORD", search.keyword, "the text a name must contain")
        ->required();
    CLI::Option* localOnly =
        searchCommand->add_flag("--local", search.localOnly, "the local catalogue only");
    searchCommand->add_flag("--sites", search.sitesOnly, "the sites only")->excludes(localOnly);
    searchCommand->add_flag("--json", search.json, "one JSON object per result");
    searchCommand
        ->add_option("--fetch", search.fetch,
                     "fetch the torrent files of the results numbered N (from 0)")
        ->check(cli::WholeNumber(0));
    searchCommand->add_option("--poll-ms", search.pollMs, "milliseconds between polls")
        ->check(cli::WholeNumber(1, 60000));

    cli::FetchOptions fetch;
    CLI::App* fetchCommand =
        app.add_subcommand("fetch", "download the torrent files of catalogue rows");
    fetchCommand->add_option("NODE", fetch.node, "0 for every leaf, C or C,I")->required();
    fetchCommand->add_option("ROWID", fetch.rowids, "row ids as list prints them")->required();
    fetchCommand->add_flag("--open", fetch.open, "open each file with the desktop's handler");
    fetchCommand->add_option("--poll-ms", fetch.pollMs, "milliseconds between polls")
        ->check(cli::WholeNumber(1, 60000));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return cli::ReportParseError(app, error);
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
    if (*deleteCommand) {
        return cli::RunDelete(home, deletion);
    }
    if (*daemonCommand) {
        return cli::RunDaemon(home, daemon);
    }
    if (*serveCommand) {
        return cli::RunServe(home, serve);
    }
    if (*sites) {
        return cli::RunSites(home);
    }
    if (*searchCommand) {
        return cli::RunSearch(home, search);
    }
    if (*fetchCommand) {
        return cli::RunFetch(home, fetch);
    }
    std::fprintf(stderr,
                 "tessaro-cli: a command is wanted: init, tree, plugins, list, refresh, delete, "
                 "daemon, sites, search or fetch (see --help)\n");
    return cli::kExitUsage;
}
