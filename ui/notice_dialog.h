// CNoticeDialog: every notice of the program. The caller gives the title and
// the text; a "Don't show again" box is offered unchecked (unless the caller
// declines it) and its state is handed back when the notice closes, for the
// caller to keep in the matching don't-ask-again flag.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;

class CNoticeDialog : public QDialog {
    Q_OBJECT

  public:
    CNoticeDialog(QWidget* parent, const QString& title, const QString& text,
                  bool bOfferCheckBox = true);

    // False when the box was not offered.
    bool IsChecked() const;

    // Shows a notice window-modally; `onClosed` receives the box's state.
    static CNoticeDialog* Show(QWidget* parent, const QString& title, const QString& text,
                               std::function<void(bool bChecked)> onClosed);

  private:
    QCheckBox* m_pCheckBox = nullptr;
};
