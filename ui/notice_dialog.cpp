#include "notice_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "texts.h"
#include "ui_text.h"

CNoticeDialog::CNoticeDialog(QWidget* parent, const QString& title, const QString& text,
                             bool bOfferCheckBox)
    : QDialog(parent) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* body = new QPlainTextEdit(this);
    body->setReadOnly(true);
    // The texts carry Windows line ends; a lone '\r' would show as a box.
    body->setPlainText(QString(text).remove(QLatin1Char('\r')));
    body->setMinimumSize(360, 140);
    layout->addWidget(body);
    auto* bottom = new QHBoxLayout;
    if (bOfferCheckBox) {
        m_pCheckBox = new QCheckBox(ui::Text(texts::LoadDialogText(texts::IDT_NOTICE_DONT_SHOW)));
        bottom->addWidget(m_pCheckBox);
    }
    bottom->addStretch();
    auto* close = new QPushButton(ui::Text(texts::LoadDialogText(texts::IDT_NOTICE_CLOSE)));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(close);
    layout->addLayout(bottom);
}

bool CNoticeDialog::IsChecked() const {
    return m_pCheckBox != nullptr && m_pCheckBox->isChecked();
}

CNoticeDialog* CNoticeDialog::Show(QWidget* parent, const QString& title, const QString& text,
                                   std::function<void(bool bChecked)> onClosed) {
    auto* notice = new CNoticeDialog(parent, title, text);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    connect(notice, &QDialog::finished, notice,
            [notice, onClosed = std::move(onClosed)] { onClosed(notice->IsChecked()); });
    notice->open();
    return notice;
}
