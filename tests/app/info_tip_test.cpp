// The information tip with the web engine running: the page shows without
// its scripts, a framed site page still loads, advertising does not, and the
// progress bar follows the load.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "fixture_server.h"
#include "info_tip.h"
#include "web_profile.h"

class InfoTipTest : public QObject {
    Q_OBJECT

  private slots:
    void showsTheTipPageWithoutScripts() {
        testing_support::FixtureServer server;
        testing_support::FixtureReply detail;
        detail.body = "<p>the site's page</p>";
        server.Route("/detail", detail);
        QTemporaryDir dir;
        const QString path = dir.filePath("tip.htm");
        QFile page(path);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(
            "<html><head><title>as written</title>"
            "<script>document.title = 'script ran';</script></head><body>"
            "<p>Name</p><iframe src=\"" +
            QByteArray::fromStdString(server.Url("/detail")) + "\"></iframe><img src=\"" +
            QByteArray::fromStdString(server.Url("/ads/banner.gif")) + "\"></body></html>");
        page.close();

        CInfoTip tip({"adhost."});
        QVERIFY(tip.View() == nullptr);
        const QRect frame(40, 60, 300, 200);
        tip.ShowPage(path, frame);
        QVERIFY(tip.View() != nullptr);
        QCOMPARE(tip.geometry(), frame);
        QTRY_COMPARE_WITH_TIMEOUT(tip.ShownPercent(), 100, 30000);
        QCOMPARE(tip.View()->title(), QString("as written"));
        QTRY_VERIFY_WITH_TIMEOUT(!server.Requests().empty(), 10000);
        QCOMPARE(server.Targets(), std::vector<std::string>{"/detail"});

        const QWebEngineSettings* settings = tip.View()->page()->settings();
        for (auto attribute :
             {QWebEngineSettings::JavascriptEnabled, QWebEngineSettings::JavascriptCanOpenWindows,
              QWebEngineSettings::PluginsEnabled,
              QWebEngineSettings::LocalContentCanAccessFileUrls}) {
            QVERIFY2(!settings->testAttribute(attribute), QByteArray::number(attribute));
        }
        // A second tip reuses the view and starts its bar again.
        QWebEngineView* view = tip.View();
        tip.ShowPage(path, frame.translated(10, 10));
        QCOMPARE(tip.View(), view);
        QCOMPARE(tip.ShownPercent(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(tip.ShownPercent(), 100, 30000);
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterWebSchemes();
    QApplication qt(argc, argv);
    InfoTipTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "info_tip_test.moc"
