// Serves the files named on the command line on 127.0.0.1, each under
// "/" and its file name, prints the server's address and runs until
// SIGTERM or SIGINT. The screenshots open its pages in the Browse tab.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixture_server.h"

int main(int argc, char** argv) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    // Blocked before the server's threads start, so that they inherit it.
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    testing_support::FixtureServer server;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "fixture_page_server: cannot read %s\n", argv[i]);
            return 1;
        }
        std::ostringstream body;
        body << file.rdbuf();
        testing_support::FixtureReply reply;
        reply.body = body.str();
        reply.contentType = "text/html; charset=utf-8";
        server.Route("/" + std::filesystem::path(argv[i]).filename().string(), reply);
    }
    std::printf("%s\n", server.Url().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
