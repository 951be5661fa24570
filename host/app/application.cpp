#include "application.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScreen>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "browse_view.h"
#include "data_view.h"
#include "desktop_entry.h"
#include "home.h"
#include "main_frame.h"
#include "options_dialog.h"

namespace {

constexpr int kHandOverTimeoutMs = 2000;
constexpr int kScreenshotSettleMs = 300;
constexpr int kWebScreenshotSettleMs = 1000;
constexpr int kScreenshotPollMs = 100;
constexpr int kScreenshotTipTimeoutMs = 20000;
constexpr int kClaimRetryMs = 50;

// The signal handler only writes a byte here; the event loop does the rest.
int g_stopFds[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const int savedErrno = errno;
    const char byte = 's';
    [[maybe_unused]] const ssize_t ignored = write(g_stopFds[1], &byte, 1);
    errno = savedErrno;
}

std::string CanonicalHome(const std::string& home) {
    std::error_code ignored;
    std::string path = std::filesystem::weakly_canonical(home, ignored).string();
    if (path.empty()) {
        path = home;
    }
    if (path.back() != '/') {
        path += '/';
    }
    return path;
}

}  // namespace

CTessaroApp::CTessaroApp(QObject* parent) : QObject(parent) {}

CTessaroApp::~CTessaroApp() {
    // The frame goes before the context it draws; the context saves the
    // configuration and unloads the plug-ins.
    m_pFrame.reset();
    m_pContext.reset();
    m_pServer.reset();
    if (m_nInstanceClaim >= 0) {
        close(m_nInstanceClaim);
    }
}

CTessaroApp::StartResult CTessaroApp::Start(const shell::CommandLine& line, std::string& strError) {
    const std::string home = CanonicalHome(tessaro::FindHome(line.strHome));
    m_strInstance = shell::InstanceName(getuid(), home);
    if (HandOver()) {
        return StartResult::kHandedOver;
    }
    if (!ClaimInstance()) {
        // Another start holds the claim but is not listening yet.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < kHandOverTimeoutMs) {
            if (HandOver()) {
                return StartResult::kHandedOver;
            }
            QThread::msleep(kClaimRetryMs);
        }
        strError = "another Tessaro is starting on " + home;
        return StartResult::kFailed;
    }
    if (!Listen()) {
        strError = "cannot listen on the local socket " + m_strInstance;
        return StartResult::kFailed;
    }
    m_pContext = CAppContext::Open(home, strError);
    if (!m_pContext) {
        return StartResult::kFailed;
    }
    m_pFrame = std::make_unique<CMainFrame>(*m_pContext);
    connect(m_pFrame.get(), &CMainFrame::EndRequested, this, &CTessaroApp::EndRequested);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] {
        if (!m_pContext->Config().SaveAll()) {
            std::fprintf(stderr, "tessaro: cannot save the settings at logout\n");
        }
    });
    WatchStopSignals();
    WatchFirstNode();
    if (line.bHidden) {
        m_pFrame->StartHidden();
    } else {
        m_pFrame->StartVisible();
    }
    return StartResult::kRunning;
}

void CTessaroApp::WatchFirstNode() {
    const QString screenshot = qEnvironmentVariable("TESSARO_SCREENSHOT");
    const bool bReport = qEnvironmentVariableIsSet("TESSARO_REPORT_READY");
    if (screenshot.isEmpty() && !bReport) {
        return;
    }
    auto bSeen = std::make_shared<bool>(false);
    connect(
        m_pFrame->DataView(), &CWebDataView::NodeShown, this, [this, bSeen, screenshot, bReport] {
            if (*bSeen) {
                return;
            }
            *bSeen = true;
            if (bReport) {
                std::printf("ready\n");
                std::fflush(stdout);
            }
            if (screenshot.isEmpty()) {
                return;
            }
            // TESSARO_OPTIONS_PAGE=N pictures the options dialog on page N
            // instead of the window.
            QWidget* subject = m_pFrame.get();
            bool bPage = false;
            const int nPage = qEnvironmentVariableIntValue("TESSARO_OPTIONS_PAGE", &bPage);
            if (bPage) {
                COptionsDialog* dialog = m_pFrame->ShowOptions();
                dialog->ShowPage(nPage);
                subject = dialog;
            }
            // TESSARO_BROWSE_ADDRESS=URL opens URL by the open-address rule
            // and pictures the window once the page has loaded.
            const QString address = qEnvironmentVariable("TESSARO_BROWSE_ADDRESS");
            if (!address.isEmpty()) {
                auto bLoaded = std::make_shared<bool>(false);
                connect(m_pFrame->BrowseView(), &CWebBrowseView::PageLoaded, this,
                        [this, bLoaded, screenshot](CBrowserPage* page) {
                            if (*bLoaded ||
                                page->url().toString() == QLatin1String(CWebBrowseView::kBlank)) {
                                return;
                            }
                            *bLoaded = true;
                            // The engine draws the page after it has loaded.
                            QTimer::singleShot(kWebScreenshotSettleMs, this, [this, screenshot] {
                                SaveScreenshot(m_pFrame->grab(), screenshot);
                            });
                        });
                m_pFrame->OpenAddress(address);
                return;
            }
            // Once the pending layout and paint events are through.
            QTimer::singleShot(kScreenshotSettleMs, this, [this, screenshot, subject] {
                TakeScreenshot(screenshot, subject);
            });
        });
}

void CTessaroApp::TakeScreenshot(const QString& file, QWidget* subject) {
    CWebDataView& view = *m_pFrame->DataView();
    if (subject != m_pFrame.get() || !qEnvironmentVariableIsSet("TESSARO_SCREENSHOT_TIP")) {
        SaveScreenshot(subject->grab(), file);
        return;
    }
    // The tip is a window of its own: the picture is the part of the screen
    // that holds the frame and the tip, once the tip's page has loaded.
    view.OpenTipForRow(0);
    auto waited = std::make_shared<int>(0);
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll, waited, file] {
        CWebDataView& shown = *m_pFrame->DataView();
        if (!shown.IsTipLoaded() && ++*waited * kScreenshotPollMs < kScreenshotTipTimeoutMs) {
            return;
        }
        poll->deleteLater();
        const QRect area = m_pFrame->frameGeometry().united(shown.TipFrame());
        SaveScreenshot(QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                    area.width(), area.height()),
                       file);
    });
    poll->start(kScreenshotPollMs);
}

void CTessaroApp::SaveScreenshot(const QPixmap& picture, const QString& file) {
    if (!picture.save(file)) {
        std::fprintf(stderr, "tessaro: cannot write %s\n", qPrintable(file));
    }
    emit EndRequested();
}

bool CTessaroApp::HandOver() {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(m_strInstance));
    if (!socket.waitForConnected(kHandOverTimeoutMs)) {
        return false;
    }
    socket.write(shell::kShowRequest.data(), static_cast<qint64>(shell::kShowRequest.size()));
    socket.waitForBytesWritten(kHandOverTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool CTessaroApp::ClaimInstance() {
    const std::string path = QDir::tempPath().toStdString() + "/" + m_strInstance + ".lock";
    m_nInstanceClaim = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return m_nInstanceClaim >= 0 && flock(m_nInstanceClaim, LOCK_EX | LOCK_NB) == 0;
}

bool CTessaroApp::Listen() {
    m_pServer = std::make_unique<QLocalServer>();
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered on the name, so a socket file left there belongs to a
    // program that crashed.
    QLocalServer::removeServer(QString::fromStdString(m_strInstance));
    if (!m_pServer->listen(QString::fromStdString(m_strInstance))) {
        return false;
    }
    connect(m_pServer.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_pServer->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    if (client->readLine() == QByteArray(shell::kShowRequest.data()) && m_pFrame) {
                        m_pFrame->ShowFromOtherInstance();
                    }
                }
            });
        }
    });
    return true;
}

void CTessaroApp::WatchStopSignals() {
    if (g_stopFds[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_stopFds) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    m_pStopNotifier = std::make_unique<QSocketNotifier>(g_stopFds[0], QSocketNotifier::Read);
    connect(m_pStopNotifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t ignored = read(g_stopFds[0], &byte, 1);
        emit EndRequested();
    });
}

int RunRegistration(shell::CommandLine::Action action) {
    std::string strError;
    std::error_code ignored;
    const std::string program = std::filesystem::read_symlink("/proc/self/exe", ignored).string();
    const bool bOk = action == shell::CommandLine::Action::kRegister
                         ? desktop_entry::WriteApplicationEntry(program, strError)
                         : desktop_entry::RemoveApplicationEntry(strError);
    if (!bOk) {
        std::fprintf(stderr, "tessaro: %s\n", strError.c_str());
        return 1;
    }
    return 0;
}
