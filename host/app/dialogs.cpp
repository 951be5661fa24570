#include "dialogs.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "icons.h"
#include "static_link.h"
#include "texts.h"
#include "ui_text.h"

namespace {

using ui::Text;

QString DialogText(texts::DialogTextId id) {
    return Text(texts::LoadDialogText(id));
}

// The about box's two links lead to documentation addresses: the program
// has no maker's site to send anyone to.
constexpr char kHomePage[] = "https://tessaro.example.org/";
constexpr char kMailAddress[] = "mailto:tessaro@example.org";

}  // namespace

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(DialogText(texts::IDT_ABOUT_CAPTION));
    auto* layout = new QGridLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(ui::AppPicture(64));
    layout->addWidget(picture, 0, 0, 4, 1, Qt::AlignTop);
    layout->addWidget(new QLabel(Text(texts::LoadString(texts::IDS_APP_TITLE)), this), 0, 1, 1, 2);
    layout->addWidget(new QLabel(DialogText(texts::IDT_ABOUT_VERSION), this), 1, 1, 1, 2);
    m_pHome =
        new CStaticLink(QString::fromLatin1(kHomePage), QUrl(QString::fromLatin1(kHomePage)), this);
    m_pMail = new CStaticLink(QStringLiteral("tessaro@example.org"),
                              QUrl(QString::fromLatin1(kMailAddress)), this);
    layout->addWidget(new QLabel(DialogText(texts::IDT_ABOUT_HOME), this), 2, 1);
    layout->addWidget(m_pHome, 2, 2);
    layout->addWidget(new QLabel(DialogText(texts::IDT_ABOUT_MAIL), this), 3, 1);
    layout->addWidget(m_pMail, 3, 2);
    auto* ok = new QPushButton(DialogText(texts::IDT_ABOUT_OK), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 4, 2, Qt::AlignRight);
}

CHelpDialog::CHelpDialog(const std::string& strPath, QWidget* parent) : QDialog(parent) {
    setWindowTitle(DialogText(texts::IDT_HELP_CAPTION));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    QFile file(QString::fromStdString(strPath));
    if (file.open(QIODevice::ReadOnly)) {
        text->setPlainText(QString::fromUtf8(file.readAll()));
    }
    text->setMinimumSize(480, 360);
    layout->addWidget(text);
    auto* ok = new QPushButton(DialogText(texts::IDT_HELP_OK), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

CSetDateDialog::CSetDateDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(DialogText(texts::IDT_DATE_CAPTION));
    auto* layout = new QVBoxLayout(this);
    m_pDate = new QDateEdit(QDate::currentDate(), this);
    m_pDate->setCalendarPopup(true);
    m_pDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    layout->addWidget(m_pDate);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(DialogText(texts::IDT_DATE_OK), QDialogButtonBox::AcceptRole);
    buttons->addButton(DialogText(texts::IDT_DATE_CANCEL), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QDate CSetDateDialog::Date() const {
    return m_pDate->date();
}

void CSetDateDialog::SetDate(const QDate& date) {
    m_pDate->setDate(date);
}
