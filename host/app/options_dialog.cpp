#include "options_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "desktop_entry.h"
#include "list_style.h"
#include "message_box.h"
#include "options_pages.h"
#include "shell_rules.h"
#include "ui_text.h"

namespace {

constexpr int kTreeWidth = 130;
constexpr int kPageWidth = 360;
constexpr int kPageHeight = 360;

QIcon PageIcon(int nPage) {
    static constexpr QStyle::StandardPixmap kIcons[] = {
        QStyle::SP_ComputerIcon, QStyle::SP_DriveNetIcon, QStyle::SP_BrowserReload,
        QStyle::SP_DirHomeIcon};
    return QApplication::style()->standardIcon(kIcons[nPage]);
}

}  // namespace

COptionsDialog::COptionsDialog(CGlobalConfig& config, const QFont& listFont, QWidget* parent)
    : QDialog(parent), m_config(config), m_listFont(listFont), m_before(config.Settings()) {
    setWindowTitle(ui::Text(texts::LoadDialogText(texts::IDT_OPTIONS_CAPTION)));
    SysSettings& settings = config.Settings();

    m_pTree = new QTreeWidget(this);
    m_pTree->setHeaderHidden(true);
    m_pTree->setRootIsDecorated(false);
    m_pTree->setFixedWidth(kTreeWidth);
    m_pStack = new QStackedWidget(this);
    m_pStack->setMinimumSize(kPageWidth, kPageHeight);

    auto* general = new CGeneralPage(settings, listFont);
    m_pages = {general, new CProxyPage(settings), new CRefreshPage(settings),
               new CBrowsePage(settings)};
    const unsigned labels[] = {texts::IDS_PAGE_GENERAL, texts::IDS_PAGE_PROXY,
                               texts::IDS_PAGE_REFRESH, texts::IDS_PAGE_BROWSE};
    for (int n = 0; n < kPageCount; ++n) {
        m_pStack->addWidget(m_pages[static_cast<size_t>(n)]);
        auto* item = new QTreeWidgetItem(m_pTree, {ui::Text(texts::LoadString(labels[n]))});
        item->setIcon(0, PageIcon(n));
        item->setData(0, Qt::UserRole, n);
        m_pages[static_cast<size_t>(n)]->Init();
    }
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr) {
            m_pStack->setCurrentIndex(item->data(0, Qt::UserRole).toInt());
        }
    });
    connect(general, &CGeneralPage::ListFontChanged, this, &COptionsDialog::ListFontChanged);

    auto* buttons = new QDialogButtonBox(this);
    buttons
        ->addButton(ui::Text(texts::LoadDialogText(texts::IDT_OPTIONS_OK)),
                    QDialogButtonBox::AcceptRole)
        ->setDefault(true);
    buttons->addButton(ui::Text(texts::LoadDialogText(texts::IDT_OPTIONS_CANCEL)),
                       QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(m_pTree);
    top->addWidget(m_pStack, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    ShowPage(kGeneral);
}

void COptionsDialog::ShowPage(int nPage) {
    if (nPage >= 0 && nPage < kPageCount) {
        m_pTree->setCurrentItem(m_pTree->topLevelItem(nPage));
    }
}

int COptionsDialog::ShownPage() const {
    return m_pStack->currentIndex();
}

CGeneralPage* COptionsDialog::General() const {
    return static_cast<CGeneralPage*>(m_pages[kGeneral]);
}

CProxyPage* COptionsDialog::Proxy() const {
    return static_cast<CProxyPage*>(m_pages[kProxy]);
}

CRefreshPage* COptionsDialog::Refresh() const {
    return static_cast<CRefreshPage*>(m_pages[kRefresh]);
}

CBrowsePage* COptionsDialog::Browse() const {
    return static_cast<CBrowsePage*>(m_pages[kBrowse]);
}

void COptionsDialog::accept() {
    for (COptionsPage* page : m_pages) {
        if (!page->Save()) {
            return;
        }
    }
    const QString problems = ApplyConfirmed();
    QWidget* owner = parentWidget();
    QDialog::accept();
    emit Confirmed();
    if (!problems.isEmpty()) {
        ui::ShowMessageBox(owner, ui::MessageKind::kWarning, problems);
    }
}

void COptionsDialog::reject() {
    SysSettings& settings = m_config.Settings();
    // The scheduler may have started an update while the dialog was open;
    // its start time is not the pages' to take back, or the update would
    // be due again at once.
    const int64_t tmLastUpdate = settings.tmLastUpdate;
    settings = m_before;
    settings.tmLastUpdate = tmLastUpdate;
    QDialog::reject();
    emit ListFontChanged(FontFromRecord(m_config.Settings().lfListFont, m_listFont));
    emit ListColoursChanged();
}

QString COptionsDialog::ApplyConfirmed() {
    const texts::Language language = texts::GetLanguage();
    QStringList problems;
    std::string strError;
    const bool bAutostart = m_config.Settings().bAutoUpdate != 0
                                ? desktop_entry::WriteAutostartEntry(
                                      QApplication::applicationFilePath().toStdString(), strError)
                                : desktop_entry::RemoveAutostartEntry(strError);
    if (!bAutostart) {
        problems << ui::Text(
                        shell::LoadShellText(shell::ShellText::kAutostartNotChanged, language)) +
                        QLatin1Char(' ') + QString::fromStdString(strError);
    }
    emit ListFontChanged(FontFromRecord(m_config.Settings().lfListFont, m_listFont));
    emit ListColoursChanged();
    if (!m_config.SaveAll()) {
        problems << ui::Text(shell::LoadShellText(shell::ShellText::kSettingsNotSaved, language));
    }
    return problems.join(QLatin1Char('\n'));
}
