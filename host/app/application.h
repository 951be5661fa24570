// CTessaroApp: start-up and lifetime of the desktop program. It lets one
// program run per user and home (a second start hands over to the first and
// ends), opens the home, creates the frame, and ends the run on File → Exit,
// on SIGTERM, SIGINT or SIGHUP, and when the desktop session ends.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app_context.h"
#include "shell_rules.h"

class CMainFrame;
class QLocalServer;
class QSocketNotifier;

class CTessaroApp : public QObject {
    Q_OBJECT

  public:
    enum class StartResult {
        kRunning,     // the frame exists; run the event loop
        kHandedOver,  // another instance runs on this home and was asked to show itself
        kFailed,      // the sentence says why
    };

    explicit CTessaroApp(QObject* parent = nullptr);
    ~CTessaroApp() override;

    // Needs a QApplication. `line` comes from shell::ParseCommandLine; the
    // (un)registration switches are handled before, by RunRegistration.
    StartResult Start(const shell::CommandLine& line, std::string& strError);

    CMainFrame* Frame() const { return m_pFrame.get(); }
    CAppContext* Context() const { return m_pContext.get(); }
    const std::string& InstanceName() const { return m_strInstance; }

  signals:
    void EndRequested();

  private:
    // TESSARO_REPORT_READY prints "ready" once the tree and the first node
    // are shown (the start-up benchmark waits for it); TESSARO_SCREENSHOT=FILE
    // saves the window then as a PNG and ends the program, or the options
    // dialog on page TESSARO_OPTIONS_PAGE when that is set; with
    // TESSARO_SCREENSHOT_TIP set, the information tip of the first row is
    // open in the picture of the window.
    void WatchFirstNode();
    void TakeScreenshot(const QString& file, QWidget* subject);
    void SaveScreenshot(const QPixmap& picture, const QString& file);
    bool HandOver();
    // The claim on the instance name, held for the whole run, so that two
    // programs starting at once cannot both take the name.
    bool ClaimInstance();
    bool Listen();
    void WatchStopSignals();

    std::string m_strInstance;
    int m_nInstanceClaim = -1;
    std::unique_ptr<QLocalServer> m_pServer;
    std::unique_ptr<CAppContext> m_pContext;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<QSocketNotifier> m_pStopNotifier;
};

// -RegServer / -UnregServer: writes or removes the desktop entry that starts
// this program; answers the process's exit status. Needs no display.
int RunRegistration(shell::CommandLine::Action action);
