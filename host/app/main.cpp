// tessaro: the desktop program.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "application.h"
#include "message_box.h"
#include "ui_text.h"
#include "web_profile.h"

int main(int argc, char** argv) {
    const shell::CommandLine line =
        shell::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.action != shell::CommandLine::Action::kRun) {
        return RunRegistration(line.action);
    }
    // The web engine shares its drawing contexts with the widgets, and takes
    // its schemes when the application object is made.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterWebSchemes();
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    CTessaroApp app;
    std::string error;
    switch (app.Start(line, error)) {
        case CTessaroApp::StartResult::kRunning:
            QObject::connect(&app, &CTessaroApp::EndRequested, &qt, [] { QApplication::exit(0); });
            return QApplication::exec();
        case CTessaroApp::StartResult::kHandedOver:
            return 0;
        case CTessaroApp::StartResult::kFailed:
            break;
    }
    std::fprintf(stderr, "tessaro: %s\n", error.c_str());
    QMessageBox::critical(nullptr,
                          ui::Text(texts::LoadString(ui::MessageCaption(ui::MessageKind::kError))),
                          QString::fromStdString(error));
    return 1;
}
