// The four pages of the options dialog. Each fills its controls from the
// settings record (Init) and copies them back (Save); the font and colour
// choices of the General page reach the record at once, because the lists
// show a new font while the dialog is still open.
#pragma once

#include <QPushButton>
#include <QWidget>
#include <array>

#include "global_config.h"

class QCheckBox;
class QComboBox;
class QFontDialog;
class QColorDialog;
class QLineEdit;

// A push button painted in its colour, whatever state it is in.
class CColourButton : public QPushButton {
    Q_OBJECT

  public:
    CColourButton(const QString& text, QWidget* parent = nullptr);

    QColor Colour() const { return m_colour; }
    void SetColour(const QColor& colour);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor m_colour;
};

class COptionsPage : public QWidget {
    Q_OBJECT

  public:
    COptionsPage(SysSettings& settings, QWidget* parent) : QWidget(parent), m_settings(settings) {}

    virtual void Init() = 0;
    // False keeps the dialog open.
    virtual bool Save() = 0;

  protected:
    SysSettings& m_settings;
};

class CGeneralPage : public COptionsPage {
    Q_OBJECT

  public:
    // `listFont` is the font the lists show when the record holds none.
    CGeneralPage(SysSettings& settings, const QFont& listFont, QWidget* parent = nullptr);

    void Init() override;
    bool Save() override;

    QPushButton* FontButton() const { return m_pFont; }
    QComboBox* MaxTasks() const { return m_pMaxTasks; }
    QComboBox* DefaultList() const { return m_pDefaultList; }
    QLineEdit* Delay() const { return m_pDelay; }
    CColourButton* ColourButton(int n) const { return m_pColours[static_cast<size_t>(n)]; }
    // The chooser opened by the last click, while it is open.
    QFontDialog* OpenFontDialog() const;
    QColorDialog* OpenColourDialog() const;

  signals:
    void ListFontChanged(const QFont& font);

  private:
    void ChooseFont();
    void ChooseColour(int n);

    QFont m_listFont;
    QPushButton* m_pFont = nullptr;
    QComboBox* m_pMaxTasks = nullptr;
    QComboBox* m_pDefaultList = nullptr;
    QLineEdit* m_pDelay = nullptr;
    std::array<CColourButton*, 4> m_pColours{};
};

class CProxyPage : public COptionsPage {
    Q_OBJECT

  public:
    explicit CProxyPage(SysSettings& settings, QWidget* parent = nullptr);

    void Init() override;
    bool Save() override;

    QComboBox* Type() const { return m_pType; }
    QLineEdit* Address() const { return m_pAddress; }
    QLineEdit* Port() const { return m_pPort; }
    QCheckBox* Authen() const { return m_pAuthen; }
    QLineEdit* User() const { return m_pUser; }
    QLineEdit* Password() const { return m_pPassword; }

  private:
    void ApplyRule(bool bAuthen);

    QComboBox* m_pType = nullptr;
    QLineEdit* m_pAddress = nullptr;
    QLineEdit* m_pPort = nullptr;
    QCheckBox* m_pAuthen = nullptr;
    QLineEdit* m_pUser = nullptr;
    QLineEdit* m_pPassword = nullptr;
};

class CRefreshPage : public COptionsPage {
    Q_OBJECT

  public:
    explicit CRefreshPage(SysSettings& settings, QWidget* parent = nullptr);

    void Init() override;
    bool Save() override;

    QCheckBox* Enable() const { return m_pEnable; }
    QComboBox* Cycle() const { return m_pCycle; }

  private:
    QCheckBox* m_pEnable = nullptr;
    QComboBox* m_pCycle = nullptr;
};

class CBrowsePage : public COptionsPage {
    Q_OBJECT

  public:
    explicit CBrowsePage(SysSettings& settings, QWidget* parent = nullptr);

    void Init() override;
    bool Save() override;

    QCheckBox* Internal() const { return m_pInternal; }

  private:
    QCheckBox* m_pInternal = nullptr;
};
