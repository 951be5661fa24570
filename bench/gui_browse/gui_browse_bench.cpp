// The Browse tab's first opening, which starts the web engine, and the
// resident memory of the program and its page processes with three pages
// open. Pages come from a server on 127.0.0.1.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "browse_view.h"
#include "fixture_server.h"

namespace {

constexpr double kFirstOpenTargetMs = 2000;
constexpr int kLoadTimeoutMs = 30000;
constexpr int kPages = 3;

// A field of /proc/<pid>/<file> in kB.
long ProcKb(const std::string& pid, const char* file, const std::string& field) {
    std::ifstream status("/proc/" + pid + "/" + file);
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return 0;
}

// The proportional share of this process and every process below it (the
// engine's helpers), so that libraries they share count once.
long TreeProportionalKb(const std::string& pid) {
    long total = ProcKb(pid, "smaps_rollup", "Pss:");
    for (const QString& task : QDir(QString::fromStdString("/proc/" + pid + "/task"))
                                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream children("/proc/" + pid + "/task/" + task.toStdString() + "/children");
        std::string child;
        while (children >> child) {
            total += TreeProportionalKb(child);
        }
    }
    return total;
}

std::string PagesHtml(int nIndex) {
    std::ostringstream html;
    html << "<html><head><title>Page " << nIndex << "</title></head><body><h1>Page " << nIndex
         << "</h1>";
    for (int row = 0; row < 200; ++row) {
        html << "<p>Row " << row << ": <a href=\"/" << row << "\">an entry of the listing</a></p>";
    }
    html << "</body></html>";
    return html.str();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // The engine's sandbox refuses to run as root.
    if (::geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication qt(argc, argv);
    QTemporaryDir home;
    testing_support::FixtureServer server;
    for (int i = 0; i < kPages; ++i) {
        testing_support::FixtureReply reply;
        reply.body = PagesHtml(i);
        server.Route("/page" + std::to_string(i) + ".htm", reply);
    }

    CWebBrowseView view(home.filePath("webhistory.ini").toStdString(), {});
    view.resize(1000, 700);
    QElapsedTimer clock;
    clock.start();
    view.show();
    const bool bStarted = QTest::qWaitFor(
        [&view] { return view.CurrentPage() != nullptr && view.CurrentPage()->Percent() == 100; },
        kLoadTimeoutMs);
    const double dFirstOpenMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    int nLoaded = 0;
    for (int i = 0; i < kPages; ++i) {
        view.OpenAddress(QString::fromStdString(server.Url("/page" + std::to_string(i) + ".htm")));
        CBrowserPage* page = view.CurrentPage();
        nLoaded += QTest::qWaitFor(
            [page] { return page->Percent() == 100 && page->Title().startsWith("Page"); },
            kLoadTimeoutMs);
    }
    const std::string self = std::to_string(::getpid());
    const long nRssKb = ProcKb(self, "status", "VmRSS:");
    const long nTreeKb = TreeProportionalKb(self);

    const bool bMet = bStarted && dFirstOpenMs <= kFirstOpenTargetMs;
    std::printf("%-52s %12.2f %-6s target <= %.0f ms  %s\n",
                "Browse tab first open (web engine start)", dFirstOpenMs, "ms", kFirstOpenTargetMs,
                bMet ? "ok" : "MISSED");
    std::printf("%-52s %12.2f %-6s (%d of %d pages loaded)\n",
                "resident memory with three pages, program process", nRssKb / 1024.0, "MB", nLoaded,
                kPages);
    std::printf("%-52s %12.2f %-6s\n", "proportional memory, program and page processes",
                nTreeKb / 1024.0, "MB");
    return bMet && nLoaded == kPages ? 0 : 1;
}
