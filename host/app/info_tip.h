// CInfoTip: the floating window that shows a catalogue row's information
// page (its name and the site's detail text, rendered by the plug-in host
// into a local file) in a web view, with the page's load progress in a thin
// bar under it.
//
// The detail text is the site's markup, so the view runs it without
// scripts, plug-ins or pop-ups, and the page may not read other local
// files; a detail text that frames the site's page still shows it. The web
// view is created when the tip first opens, so a run that never opens a tip
// never starts the web engine.
#pragma once

#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

class QProgressBar;
class QWebEngineView;

class CInfoTip : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kProgressHeight = 9;
    static constexpr int kProgressMs = 500;

    // adFragments: the advertising test's host fragments, for the web
    // profile the tip shares with the Browse tab.
    explicit CInfoTip(std::vector<std::string> adFragments, QWidget* parent = nullptr);

    // Opens the tip at `frame` (screen coordinates) on the page file.
    void ShowPage(const QString& path, const QRect& frame);
    QWebEngineView* View() const { return m_pView; }
    int ShownPercent() const;

  protected:
    void hideEvent(QHideEvent* event) override;

  private:
    void CreateView();

    std::vector<std::string> m_adFragments;
    QWebEngineView* m_pView = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QTimer m_progressTimer;
    int m_nLoadPercent = 0;
};
