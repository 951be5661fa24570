// COptionsDialog: the settings of the options pages, one page on show at a
// time beside a tree of the four. The pages edit the live settings record;
// the dialog keeps a copy from when it opened and puts it back on Cancel,
// Escape and the close box, so nothing the user tried survives them, the
// list font included.
//
// OK saves every page, then writes or removes the autostart entry, saves
// the configuration (only what changed reaches the file) and tells the
// lists to take the font and colours. Failures are reported to the user
// once the dialog has closed.
#pragma once

#include <QDialog>
#include <array>

#include "global_config.h"

class CGeneralPage;
class CProxyPage;
class CRefreshPage;
class CBrowsePage;
class COptionsPage;
class QStackedWidget;
class QTreeWidget;

class COptionsDialog : public QDialog {
    Q_OBJECT

  public:
    enum Page { kGeneral, kProxy, kRefresh, kBrowse, kPageCount };

    // `listFont` is the font the lists show when the settings hold none.
    COptionsDialog(CGlobalConfig& config, const QFont& listFont, QWidget* parent = nullptr);

    void ShowPage(int nPage);
    int ShownPage() const;
    QTreeWidget* PageTree() const { return m_pTree; }
    CGeneralPage* General() const;
    CProxyPage* Proxy() const;
    CRefreshPage* Refresh() const;
    CBrowsePage* Browse() const;

    void accept() override;
    void reject() override;

  signals:
    // The lists take this font now.
    void ListFontChanged(const QFont& font);
    // The lists repaint in the colours of the settings.
    void ListColoursChanged();
    // OK went through: everything is saved.
    void Confirmed();

  private:
    // Sentences for the user; empty when all went well.
    QString ApplyConfirmed();

    CGlobalConfig& m_config;
    QFont m_listFont;
    SysSettings m_before;
    QTreeWidget* m_pTree = nullptr;
    QStackedWidget* m_pStack = nullptr;
    std::array<COptionsPage*, kPageCount> m_pages{};
};
