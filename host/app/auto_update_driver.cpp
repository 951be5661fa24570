#include "auto_update_driver.h"

#include "data_view.h"
#include "shell_rules.h"
#include "sites_view.h"
#include "ui_text.h"

CAutoUpdateDriver::CAutoUpdateDriver(CAppContext& context, CWebSitesView& tree,
                                     CWebDataView& dataView, QObject* parent)
    : QObject(parent), m_context(context), m_tree(tree) {
    if (context.IsViewer()) {
        m_caption = ViewerCaption();
        return;
    }
    CGlobalConfig& config = context.Config();
    m_pUpdate = std::make_unique<CAutoUpdate>(config.Settings(), config.GetRoot(),
                                              dataView.Engine(), [this] { return m_clock(); });
    std::string testAddress;
    if (config.GetString("UpdateData", "TestAddr", testAddress) && !testAddress.empty()) {
        m_pUpdate->SetTestAddress(testAddress);
    }
    m_pUpdate->SetEventCallback([this](CAutoUpdate::Event event, CCategoryNode* pNode) {
        if (event == CAutoUpdate::Event::kNodeStarted && pNode != nullptr) {
            m_tree.setCurrentItem(m_tree.ItemOf(*pNode));
        }
    });
    m_caption = ui::Text(m_pUpdate->GetCaption());
    // From the start, not from the first show: a hidden start never shows
    // the tree and must update all the same.
    m_timer.setInterval(m_pUpdate->GetTimerPeriodMs());
    connect(&m_timer, &QTimer::timeout, this, &CAutoUpdateDriver::Tick);
    m_timer.start();
}

CAutoUpdateDriver::~CAutoUpdateDriver() = default;

void CAutoUpdateDriver::Tick() {
    if (!m_pUpdate) {
        return;
    }
    m_pUpdate->Tick();
    if (m_timer.interval() != m_pUpdate->GetTimerPeriodMs()) {
        m_timer.start(m_pUpdate->GetTimerPeriodMs());
    }
    SetCaption(ui::Text(m_pUpdate->GetCaption()));
}

void CAutoUpdateDriver::UpdateCaption() {
    if (!m_pUpdate) {
        SetCaption(ViewerCaption());
        return;
    }
    m_pUpdate->UpdateCaption();
    SetCaption(ui::Text(m_pUpdate->GetCaption()));
}

QString CAutoUpdateDriver::ViewerCaption() const {
    const QString title = ui::Text(texts::LoadString(texts::IDS_APP_TITLE));
    if (m_context.Config().Settings().bAutoUpdate == 0) {
        return title;
    }
    const std::string text = shell::FormatCount(
        shell::LoadShellText(shell::ShellText::kAutoUpdateElsewhere, texts::GetLanguage()),
        m_context.RefresherPid().value_or(0));
    return title + QStringLiteral("  ") + ui::Text(text);
}

void CAutoUpdateDriver::SetCaption(const QString& caption) {
    if (caption != m_caption) {
        m_caption = caption;
        emit CaptionChanged(caption);
    }
}
