// CWebSitesView: the category tree on the left. One item per node of the
// configuration's tree; choosing an item shows its node in the data view;
// the context menu refreshes a node and deletes its data.
#pragma once

#include <QTreeWidget>

#include "app_context.h"
#include "category_node.h"
#include "delete_commands.h"

class CWebDataView;
class QMenu;

class CWebSitesView : public QTreeWidget {
    Q_OBJECT

  public:
    static constexpr int kStartSelectionMs = 50;

    CWebSitesView(CAppContext& context, CWebDataView& dataView, QWidget* parent = nullptr);

    QTreeWidgetItem* ItemOf(const CCategoryNode& node) const;
    static CCategoryNode* NodeOf(const QTreeWidgetItem* item);
    CCategoryNode* SelectedNode() const;

    // The context menu for the current selection (the caller owns it). Each
    // action carries its command id as data.
    QMenu* CreateTreeMenu();
    // Runs a command of the tree menu on the selected node.
    void RunCommand(unsigned id);

  private:
    void Build();
    QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, CCategoryNode& node, int image);
    void ShowMenuAt(const QPoint& pos);
    void UpdateIcon(CCategoryNode* pNode);
    void Delete(CCategoryNode* pNode, CDeleteCommands::Command command);

    CAppContext& m_context;
    CWebDataView& m_dataView;
};
