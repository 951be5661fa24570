#include "options_pages.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

#include "list_style.h"
#include "option_rules.h"
#include "texts.h"
#include "ui_text.h"

namespace {

constexpr int kMaxTasksItems = 10;
constexpr int kCycleItems = 24;

QString Label(texts::DialogTextId id) {
    return ui::Text(texts::LoadDialogText(id));
}

void FillNumbers(QComboBox* list, int nLast) {
    for (int i = 1; i <= nLast; ++i) {
        list->addItem(QString::number(i));
    }
}

// A list's index for a stored value counted from `first`; the record's
// values are checked at load, this only keeps a damaged one on the list.
int IndexFor(int value, int first, const QComboBox* list) {
    return std::clamp(value - first, 0, list->count() - 1);
}

}  // namespace

CColourButton::CColourButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void CColourButton::SetColour(const QColor& colour) {
    m_colour = colour;
    update();
}

void CColourButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.fillRect(rect(), m_colour);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    // The label in black or white, whichever reads on the colour.
    const int luma = (299 * m_colour.red() + 587 * m_colour.green() + 114 * m_colour.blue()) / 1000;
    painter.setPen(luma < 128 ? Qt::white : Qt::black);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, option.text);
    if (hasFocus()) {
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

CGeneralPage::CGeneralPage(SysSettings& settings, const QFont& listFont, QWidget* parent)
    : COptionsPage(settings, parent), m_listFont(listFont) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* general = new QGroupBox(Label(texts::IDT_GENERAL_GROUP), this);
    auto* grid = new QGridLayout(general);
    grid->addWidget(new QLabel(Label(texts::IDT_GENERAL_FONT)), 0, 0);
    m_pFont = new QPushButton(Label(texts::IDT_GENERAL_CHANGE_FONT));
    grid->addWidget(m_pFont, 0, 1);
    grid->addWidget(new QLabel(Label(texts::IDT_GENERAL_MAX_TASKS)), 1, 0);
    m_pMaxTasks = new QComboBox;
    FillNumbers(m_pMaxTasks, kMaxTasksItems);
    grid->addWidget(m_pMaxTasks, 1, 1);
    grid->addWidget(new QLabel(Label(texts::IDT_GENERAL_DEFAULT_LIST)), 2, 0);
    m_pDefaultList = new QComboBox;
    for (unsigned id : {texts::IDS_TAB_TORRENT_LIST, texts::IDS_TAB_DOWNLOAD_TASKS,
                        texts::IDS_TAB_SEARCH, texts::IDS_TAB_BROWSE}) {
        m_pDefaultList->addItem(ui::Text(texts::LoadString(id)));
    }
    grid->addWidget(m_pDefaultList, 2, 1);
    auto* delay = new QHBoxLayout;
    delay->addWidget(new QLabel(Label(texts::IDT_GENERAL_DELAY_BEFORE)));
    m_pDelay = new QLineEdit;
    m_pDelay->setMaximumWidth(m_pDelay->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
    delay->addWidget(m_pDelay);
    auto* after = new QLabel(Label(texts::IDT_GENERAL_DELAY_AFTER));
    after->setWordWrap(true);
    delay->addWidget(after, 1);
    grid->addLayout(delay, 3, 0, 1, 2);
    layout->addWidget(general);

    auto* colours = new QGroupBox(Label(texts::IDT_GENERAL_COLOR_GROUP), this);
    auto* column = new QVBoxLayout(colours);
    const texts::DialogTextId names[] = {
        texts::IDT_GENERAL_COLOR_TODAY, texts::IDT_GENERAL_COLOR_YESTERDAY,
        texts::IDT_GENERAL_COLOR_BEFORE_YESTERDAY, texts::IDT_GENERAL_COLOR_OTHER};
    for (int n = 0; n < 4; ++n) {
        auto* button = new CColourButton(Label(names[n]), colours);
        m_pColours[static_cast<size_t>(n)] = button;
        column->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, n] { ChooseColour(n); });
    }
    layout->addWidget(colours);
    layout->addStretch();

    connect(m_pFont, &QPushButton::clicked, this, &CGeneralPage::ChooseFont);
}

void CGeneralPage::Init() {
    m_pMaxTasks->setCurrentIndex(IndexFor(m_settings.nMaxDownTasks, 1, m_pMaxTasks));
    m_pDefaultList->setCurrentIndex(IndexFor(m_settings.nDefaultList, 0, m_pDefaultList));
    for (size_t n = 0; n < m_pColours.size(); ++n) {
        m_pColours[n]->SetColour(ColourFromRecord(m_settings.crDataColor[n]));
    }
    m_pDelay->setText(QString::number(m_settings.nDataDelayTm));
}

bool CGeneralPage::Save() {
    m_settings.nMaxDownTasks = m_pMaxTasks->currentIndex() + 1;
    m_settings.nDefaultList = m_pDefaultList->currentIndex();
    m_settings.nDataDelayTm =
        DelayFromText(m_pDelay->text().toStdString(), m_settings.nDataDelayTm);
    return true;
}

QFontDialog* CGeneralPage::OpenFontDialog() const {
    for (QFontDialog* dialog : findChildren<QFontDialog*>()) {
        if (dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

QColorDialog* CGeneralPage::OpenColourDialog() const {
    for (QColorDialog* dialog : findChildren<QColorDialog*>()) {
        if (dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

void CGeneralPage::ChooseFont() {
    auto* dialog = new QFontDialog(FontFromRecord(m_settings.lfListFont, m_listFont), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFontDialog::fontSelected, this, [this](const QFont& font) {
        m_settings.lfListFont = RecordFromFont(font);
        emit ListFontChanged(FontFromRecord(m_settings.lfListFont, m_listFont));
    });
    dialog->open();
}

void CGeneralPage::ChooseColour(int n) {
    CColourButton* button = m_pColours[static_cast<size_t>(n)];
    auto* dialog = new QColorDialog(button->Colour(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, [this, n, button](const QColor& colour) {
        m_settings.crDataColor[static_cast<size_t>(n)] = RecordFromColour(colour);
        button->SetColour(ColourFromRecord(m_settings.crDataColor[static_cast<size_t>(n)]));
    });
    dialog->open();
}

CProxyPage::CProxyPage(SysSettings& settings, QWidget* parent) : COptionsPage(settings, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(Label(texts::IDT_PROXY_GROUP), this);
    auto* grid = new QGridLayout(group);
    m_pType = new QComboBox;
    for (int type = 0; !texts::ProxyTypeName(type).empty(); ++type) {
        m_pType->addItem(ui::Text(texts::ProxyTypeName(type)));
    }
    m_pAddress = new QLineEdit;
    m_pPort = new QLineEdit;
    m_pAuthen = new QCheckBox(Label(texts::IDT_PROXY_AUTHEN));
    m_pUser = new QLineEdit;
    m_pPassword = new QLineEdit;
    m_pPassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(new QLabel(Label(texts::IDT_PROXY_TYPE)), 0, 0);
    grid->addWidget(m_pType, 0, 1);
    grid->addWidget(new QLabel(Label(texts::IDT_PROXY_ADDR)), 1, 0);
    grid->addWidget(m_pAddress, 1, 1);
    grid->addWidget(new QLabel(Label(texts::IDT_PROXY_PORT)), 2, 0);
    grid->addWidget(m_pPort, 2, 1);
    grid->addWidget(m_pAuthen, 3, 0, 1, 2);
    grid->addWidget(new QLabel(Label(texts::IDT_PROXY_USER)), 4, 0);
    grid->addWidget(m_pUser, 4, 1);
    grid->addWidget(new QLabel(Label(texts::IDT_PROXY_PASSWORD)), 5, 0);
    grid->addWidget(m_pPassword, 5, 1);
    layout->addWidget(group);
    layout->addStretch();

    // A new type shows the stored flag again; ticking the box opens user
    // and password at once, so the credentials can go in with the tick.
    connect(m_pType, &QComboBox::currentIndexChanged, this,
            [this] { ApplyRule(m_settings.ProxyInfo.bAuthen != 0); });
    connect(m_pAuthen, &QCheckBox::clicked, this, [this](bool bChecked) { ApplyRule(bChecked); });
}

void CProxyPage::ApplyRule(bool bAuthen) {
    const ProxyControls controls = ProxyControlsFor(m_pType->currentIndex(), bAuthen);
    m_pAddress->setEnabled(controls.bAddressEnabled);
    m_pPort->setEnabled(controls.bAddressEnabled);
    m_pAuthen->setEnabled(controls.bAuthenEnabled);
    m_pAuthen->setChecked(controls.bAuthenChecked);
    m_pUser->setEnabled(controls.bCredentialsEnabled);
    m_pPassword->setEnabled(controls.bCredentialsEnabled);
}

void CProxyPage::Init() {
    const _tagProxyInfo& proxy = m_settings.ProxyInfo;
    {
        const QSignalBlocker quiet(m_pType);
        m_pType->setCurrentIndex(IndexFor(proxy.nType, 0, m_pType));
    }
    m_pAddress->setText(QString::fromStdString(proxy.strAddr));
    m_pPort->setText(QString::number(proxy.nPort));
    m_pUser->setText(QString::fromStdString(proxy.strUser));
    m_pPassword->setText(QString::fromStdString(proxy.strPassword));
    ApplyRule(proxy.bAuthen != 0);
}

bool CProxyPage::Save() {
    _tagProxyInfo& proxy = m_settings.ProxyInfo;
    proxy.nType = static_cast<uint8_t>(m_pType->currentIndex());
    proxy.strAddr = m_pAddress->text().toStdString();
    proxy.nPort = PortFromText(m_pPort->text().toStdString());
    proxy.bAuthen = m_pAuthen->isChecked() ? 1 : 0;
    proxy.strUser = m_pUser->text().toStdString();
    proxy.strPassword = m_pPassword->text().toStdString();
    return true;
}

CRefreshPage::CRefreshPage(SysSettings& settings, QWidget* parent)
    : COptionsPage(settings, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pEnable = new QCheckBox(Label(texts::IDT_REFRESH_ENABLE).trimmed(), this);
    layout->addWidget(m_pEnable);
    auto* cycle = new QHBoxLayout;
    cycle->addWidget(new QLabel(Label(texts::IDT_REFRESH_CYCLE)));
    m_pCycle = new QComboBox;
    FillNumbers(m_pCycle, kCycleItems);
    cycle->addWidget(m_pCycle);
    cycle->addWidget(new QLabel(Label(texts::IDT_REFRESH_HOURS)));
    cycle->addStretch();
    layout->addLayout(cycle);
    auto* note = new QLabel(Label(texts::IDT_REFRESH_NOTE), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch();
    connect(m_pEnable, &QCheckBox::toggled, m_pCycle, &QWidget::setEnabled);
}

void CRefreshPage::Init() {
    m_pEnable->setChecked(m_settings.bAutoUpdate != 0);
    m_pCycle->setCurrentIndex(IndexFor(m_settings.nUpdateCycle, 1, m_pCycle));
    m_pCycle->setEnabled(m_pEnable->isChecked());
}

bool CRefreshPage::Save() {
    m_settings.bAutoUpdate = m_pEnable->isChecked() ? 1 : 0;
    m_settings.nUpdateCycle = m_pCycle->currentIndex() + 1;
    return true;
}

CBrowsePage::CBrowsePage(SysSettings& settings, QWidget* parent) : COptionsPage(settings, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pInternal = new QCheckBox(Label(texts::IDT_BROWSE_INTERNAL), this);
    layout->addWidget(m_pInternal);
    layout->addStretch();
}

void CBrowsePage::Init() {
    m_pInternal->setChecked(m_settings.bInternalWebOpen != 0);
}

bool CBrowsePage::Save() {
    m_settings.bInternalWebOpen = m_pInternal->isChecked() ? 1 : 0;
    return true;
}
