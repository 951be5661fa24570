#include "message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "ui_text.h"

namespace ui {

texts::StringId MessageCaption(MessageKind kind) {
    switch (kind) {
        case MessageKind::kInformation:
            return texts::IDS_CAPTION_INFORMATION;
        case MessageKind::kError:
            return texts::IDS_CAPTION_ERROR;
        case MessageKind::kWarning:
        case MessageKind::kQuestion:
            break;
    }
    return texts::IDS_CAPTION_WARNING;
}

QMessageBox* ShowMessageBox(QWidget* parent, MessageKind kind, const QString& text,
                            std::function<void(bool bYes)> onAnswer) {
    QMessageBox::Icon icon = QMessageBox::Warning;
    if (kind == MessageKind::kInformation) {
        icon = QMessageBox::Information;
    } else if (kind == MessageKind::kError) {
        icon = QMessageBox::Critical;
    }
    const auto buttons = kind == MessageKind::kQuestion
                             ? QMessageBox::Yes | QMessageBox::No
                             : QMessageBox::StandardButtons(QMessageBox::Ok);
    auto* box =
        new QMessageBox(icon, Text(texts::LoadString(MessageCaption(kind))), text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (kind == MessageKind::kQuestion) {
        box->setDefaultButton(QMessageBox::No);
    }
    QObject::connect(box, &QDialog::finished, box, [box, onAnswer = std::move(onAnswer)] {
        if (onAnswer) {
            onAnswer(box->clickedButton() != nullptr &&
                     box->clickedButton() == box->button(QMessageBox::Yes));
        }
    });
    box->open();
    return box;
}

}  // namespace ui
