// The program's four kinds of message box, with the captions of the string
// table. Boxes are window-modal and answer through a callback, so the event
// loop (timers, the refresh poll) runs on while one is open.
#pragma once

#include <QString>
#include <functional>

#include "texts.h"

class QMessageBox;
class QWidget;

namespace ui {

enum class MessageKind { kInformation, kWarning, kError, kQuestion };

// The caption string of a kind.
texts::StringId MessageCaption(MessageKind kind);

// Shows the box and returns it (it deletes itself when closed). `onAnswer`
// receives true only when Yes was pressed, which only a question offers.
QMessageBox* ShowMessageBox(QWidget* parent, MessageKind kind, const QString& text,
                            std::function<void(bool bYes)> onAnswer = {});

}  // namespace ui
