#include "sites_view.h"

#include <QDate>
#include <QHeaderView>
#include <QMenu>
#include <QTimer>

#include "data_view.h"
#include "dialogs.h"
#include "icons.h"
#include "message_box.h"
#include "shell_rules.h"
#include "ui_text.h"

namespace {

constexpr int kNodeRole = Qt::UserRole;
constexpr int kIndentation = 14;

QString MenuText(unsigned id) {
    return ui::Text(texts::LoadMenuText(id));
}

QAction* AddCommand(QMenu* menu, unsigned id, bool bEnabled) {
    QAction* action = menu->addAction(MenuText(id));
    action->setData(id);
    action->setEnabled(bEnabled);
    return action;
}

}  // namespace

CWebSitesView::CWebSitesView(CAppContext& context, CWebDataView& dataView, QWidget* parent)
    : QTreeWidget(parent), m_context(context), m_dataView(dataView) {
    setHeaderHidden(true);
    setRootIsDecorated(true);
    // Long names scroll rather than lose their ends in the narrow pane.
    setIndentation(kIndentation);
    setTextElideMode(Qt::ElideNone);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    Build();
    // Taking the focus would otherwise make the root current and show it
    // before the start-up selection below, which must be the first.
    setCurrentIndex(QModelIndex());

    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        // No node (a click on empty space) leaves the data view as it is.
        if (CCategoryNode* pNode = NodeOf(current)) {
            QMetaObject::invokeMethod(
                &m_dataView, [this, pNode] { m_dataView.SelectNode(pNode); }, Qt::QueuedConnection);
        }
    });
    connect(this, &QWidget::customContextMenuRequested, this, &CWebSitesView::ShowMenuAt);
    connect(&m_dataView, &CWebDataView::NodeIconChanged, this, &CWebSitesView::UpdateIcon);

    QTimer::singleShot(kStartSelectionMs, this, [this] {
        CCategoryNode& root = m_context.Config().GetRoot();
        const size_t position = shell::StartupCategoryPosition(root.GetChildCount() - 1);
        if (position > 0) {
            setCurrentItem(ItemOf(*root.GetChild(position)));
        }
    });
}

void CWebSitesView::Build() {
    CCategoryNode& root = m_context.Config().GetRoot();
    QTreeWidgetItem* rootItem = AddItem(nullptr, root, 0);
    for (size_t i = 1; i < root.GetChildCount(); ++i) {
        CCategoryNode& category = *root.GetChild(i);
        QTreeWidgetItem* categoryItem = AddItem(rootItem, category, 1);
        for (size_t j = 1; j < category.GetChildCount(); ++j) {
            AddItem(categoryItem, *category.GetChild(j), 2);
        }
        categoryItem->setExpanded(true);
    }
    rootItem->setExpanded(true);
}

QTreeWidgetItem* CWebSitesView::AddItem(QTreeWidgetItem* parent, CCategoryNode& node, int image) {
    auto* item = new QTreeWidgetItem(QStringList(ui::Text(node.m_strName)));
    item->setIcon(0, ui::TreeIcon(image));
    item->setData(0, kNodeRole, QVariant::fromValue(static_cast<void*>(&node)));
    node.m_hTreeItem = item;
    if (parent == nullptr) {
        addTopLevelItem(item);
    } else {
        parent->addChild(item);
    }
    return item;
}

QTreeWidgetItem* CWebSitesView::ItemOf(const CCategoryNode& node) const {
    return static_cast<QTreeWidgetItem*>(node.m_hTreeItem);
}

CCategoryNode* CWebSitesView::NodeOf(const QTreeWidgetItem* item) {
    return item == nullptr ? nullptr
                           : static_cast<CCategoryNode*>(item->data(0, kNodeRole).value<void*>());
}

CCategoryNode* CWebSitesView::SelectedNode() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : NodeOf(selected.front());
}

void CWebSitesView::ShowMenuAt(const QPoint& pos) {
    if (QTreeWidgetItem* item = itemAt(pos)) {
        setCurrentItem(item);
    } else {
        clearSelection();
    }
    QMenu* menu = CreateTreeMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(pos));
}

QMenu* CWebSitesView::CreateTreeMenu() {
    const shell::TreeMenuState state = shell::TreeMenuRules(SelectedNode(), m_context.IsViewer());
    auto* menu = new QMenu(this);
    AddCommand(menu, texts::ID_REFRESH_DATA, state.bRefresh);
    QMenu* deleteMenu = menu->addMenu(MenuText(texts::ID_POPUP_DELETE_DATA));
    deleteMenu->setEnabled(state.bDelete);
    const std::vector<unsigned> dayItems = shell::DayDeleteItems();
    for (size_t i = 0; i < dayItems.size(); ++i) {
        if (i == dayItems.size() / 2) {
            AddCommand(deleteMenu, texts::ID_DELETE_BEFORE_DATE, state.bDelete);
            deleteMenu->addSeparator();
        }
        AddCommand(deleteMenu, dayItems[i], state.bDelete);
    }
    AddCommand(deleteMenu, texts::ID_DELETE_AFTER_DATE, state.bDelete);
    AddCommand(menu, texts::ID_CLEAR_DATA, state.bClear);
    connect(menu, &QMenu::triggered, this,
            [this](QAction* action) { RunCommand(action->data().toUInt()); });
    return menu;
}

void CWebSitesView::RunCommand(unsigned id) {
    CCategoryNode* pNode = SelectedNode();
    const shell::TreeMenuState state = shell::TreeMenuRules(pNode, m_context.IsViewer());
    if (id == texts::ID_REFRESH_DATA) {
        if (state.bRefresh) {
            m_dataView.Refresh(pNode);
        }
        return;
    }
    const std::optional<CDeleteCommands::Command> command = shell::DeleteCommandFor(id);
    if (!command || !state.bDelete || (id == texts::ID_CLEAR_DATA && !state.bClear)) {
        return;
    }
    ui::ShowMessageBox(
        this, ui::MessageKind::kQuestion, ui::Text(texts::LoadString(texts::IDS_CONFIRM_DELETE)),
        [this, id, pNode, command = *command](bool bYes) {
            if (!bYes) {
                return;
            }
            if (!shell::AsksForDate(id)) {
                Delete(pNode, command);
                return;
            }
            auto* dialog = new CSetDateDialog(this);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            connect(dialog, &QDialog::accepted, this, [this, dialog, pNode, command] {
                CDeleteCommands::Command picked = command;
                const QDate day = dialog->Date();
                picked.dtPicked = OleDate::FromFields(day.year(), day.month(), day.day());
                Delete(pNode, picked);
            });
            dialog->open();
        });
}

void CWebSitesView::Delete(CCategoryNode* pNode, CDeleteCommands::Command command) {
    CDeleteCommands commands(m_context.Host(), [this](int nDays, bool bRecent) {
        return m_context.PruneTorrentFolder(nDays, bRecent);
    });
    commands.Run(pNode, command);
    if (pNode != nullptr) {
        QMetaObject::invokeMethod(
            &m_dataView, [this, pNode] { m_dataView.SelectNode(pNode); }, Qt::QueuedConnection);
    }
}

void CWebSitesView::UpdateIcon(CCategoryNode* pNode) {
    QTreeWidgetItem* item = pNode == nullptr ? nullptr : ItemOf(*pNode);
    if (item != nullptr && !pNode->IsRoot()) {
        item->setIcon(0, ui::TreeIcon(CRefreshEngine::GetNodeIcon(*pNode)));
    }
}
