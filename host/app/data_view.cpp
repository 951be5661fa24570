#include "data_view.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

#include "node_pager.h"
#include "shell_rules.h"
#include "ui_text.h"

QFont ListFont(int nPixelHeight) {
    std::vector<std::string> families;
    for (const QString& family : QFontDatabase::families()) {
        families.push_back(family.toStdString());
    }
    QFont font;
    const std::string chosen = shell::ChooseListFontFamily(families);
    if (!chosen.empty()) {
        font.setFamily(QString::fromStdString(chosen));
    }
    font.setPixelSize(nPixelHeight);
    return font;
}

CWebDataView::CWebDataView(CAppContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_engine(context.Host(), &context.Config().GetRoot()) {
    auto* layout = new QVBoxLayout(this);
    m_pName = new QLabel(this);
    QFont heading = ListFont(kLargeListFont);
    heading.setBold(true);
    m_pName->setFont(heading);
    m_pCount = new QLabel(this);
    m_pCount->setFont(ListFont(kSmallListFont));
    layout->addWidget(m_pName);
    layout->addWidget(m_pCount);
    layout->addStretch();

    m_engine.SetIconChangedCallback([this](CCategoryNode& node) { emit NodeIconChanged(&node); });
    // Queued: the engine is inside its poll when it reports.
    m_engine.SetSelectedCompletedCallback([this](CCategoryNode&) {
        QMetaObject::invokeMethod(this, &CWebDataView::ReloadNode, Qt::QueuedConnection);
    });
    m_catalogueVersion = m_context.Config().CatalogueDataVersion();
    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &CWebDataView::Poll);
    m_pollTimer.start();
}

void CWebDataView::SelectNode(CCategoryNode* pNode) {
    if (pNode == nullptr) {
        return;
    }
    m_engine.SetSelectedNode(pNode);
    ReloadNode();
}

void CWebDataView::ReloadNode() {
    CCategoryNode* pNode = ShownNode();
    if (pNode == nullptr) {
        return;
    }
    const QString count = ui::Text(shell::FormatCount(texts::LoadString(texts::IDS_RECORD_COUNT),
                                                      CNodePager::CountRows(*pNode)));
    m_pName->setText(ui::Text(pNode->m_strName));
    m_pCount->setText(count.trimmed());
    emit RecordCountChanged(count);
    emit NodeShown(pNode);
}

bool CWebDataView::Refresh(CCategoryNode* pNode) {
    return m_engine.StartRefresh(pNode, true);
}

QString CWebDataView::ShownText() const {
    return m_pName->text() + QLatin1Char('\n') + m_pCount->text();
}

void CWebDataView::Poll() {
    if (m_engine.HasActiveRefresh()) {
        m_engine.Poll();
    }
    // A viewer shows a home another process (the background refresher, a
    // command-line delete) changes under it. The window's own writes do not
    // count: it reloads after them itself.
    if (!m_context.IsViewer()) {
        return;
    }
    const std::optional<int64_t> version = m_context.Config().CatalogueDataVersion();
    if (version != m_catalogueVersion) {
        m_catalogueVersion = version;
        ReloadNode();
    }
}
