// The frame's small dialogs: About, Help and the date picker of the delete
// commands.
#pragma once

#include <QDate>
#include <QDialog>
#include <string>

class QDateEdit;
class CStaticLink;

class CAboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDialog(QWidget* parent = nullptr);

    CStaticLink* HomeLink() const { return m_pHome; }
    CStaticLink* MailLink() const { return m_pMail; }

  private:
    CStaticLink* m_pHome = nullptr;
    CStaticLink* m_pMail = nullptr;
};

// Shows the whole of a text file, read-only; empty when it is missing.
class CHelpDialog : public QDialog {
    Q_OBJECT

  public:
    CHelpDialog(const std::string& strPath, QWidget* parent = nullptr);
};

class CSetDateDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CSetDateDialog(QWidget* parent = nullptr);

    QDate Date() const;
    void SetDate(const QDate& date);

  private:
    QDateEdit* m_pDate = nullptr;
};
