#include "info_tip.h"

#include <QProgressBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

#include "texts.h"
#include "ui_text.h"
#include "web_profile.h"

CInfoTip::CInfoTip(std::vector<std::string> adFragments, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), m_adFragments(std::move(adFragments)) {
    setWindowTitle(ui::Text(texts::LoadString(texts::IDS_INFO_TIP)));
    // The tip opens under the pointer and must not take the list's focus.
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 100);
    m_pProgress->setTextVisible(false);
    m_pProgress->setFixedHeight(kProgressHeight);
    layout->addWidget(m_pProgress);
    m_progressTimer.setInterval(kProgressMs);
    connect(&m_progressTimer, &QTimer::timeout, this,
            [this] { m_pProgress->setValue(m_nLoadPercent); });
}

void CInfoTip::CreateView() {
    m_pView = new QWebEngineView(this);
    // The tip's requests pass the same advertising filter as the Browse tab's.
    auto* page = new QWebEnginePage(SharedWebProfile(m_adFragments), m_pView);
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    // The detail text may frame the site's own page.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    m_pView->setPage(page);
    m_pView->setContextMenuPolicy(Qt::NoContextMenu);
    connect(m_pView, &QWebEngineView::loadStarted, this, [this] { m_nLoadPercent = 0; });
    connect(m_pView, &QWebEngineView::loadProgress, this,
            [this](int percent) { m_nLoadPercent = percent; });
    connect(m_pView, &QWebEngineView::loadFinished, this, [this] { m_nLoadPercent = 100; });
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, m_pView, 1);
}

void CInfoTip::ShowPage(const QString& path, const QRect& frame) {
    if (m_pView == nullptr) {
        CreateView();
    }
    m_pView->stop();
    m_nLoadPercent = 0;
    m_pProgress->setValue(0);
    setGeometry(frame);
    show();
    m_pView->load(QUrl::fromLocalFile(path));
    m_progressTimer.start();
}

int CInfoTip::ShownPercent() const {
    return m_pProgress->value();
}

void CInfoTip::hideEvent(QHideEvent* event) {
    m_progressTimer.stop();
    QWidget::hideEvent(event);
}
