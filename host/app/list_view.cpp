#include "list_view.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMouseEvent>
#include <algorithm>

#include "list_model.h"
#include "list_rules.h"

CDataListCtrl::CDataListCtrl(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(kRowImageSize, kRowImageSize));
    setTextElideMode(Qt::ElideRight);
    // The selection stays as visible when the list loses the focus.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    }
    setPalette(colours);

    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CDataListCtrl::HeaderClicked);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit RowDoubleClicked(index.row()); });

    viewport()->setMouseTracking(true);
    m_clock = [] {
        static QElapsedTimer started = [] {
            QElapsedTimer timer;
            timer.start();
            return timer;
        }();
        return started.elapsed();
    };
    m_tipTimer.setInterval(kTipWatchMs);
    connect(&m_tipTimer, &QTimer::timeout, this, &CDataListCtrl::TipWatchTick);
}

void CDataListCtrl::SetListModel(CDataListModel* model) {
    m_pModel = model;
    setModel(model);
    for (int column = 0; column < CDataListModel::kColumnCount; ++column) {
        header()->resizeSection(column, CDataListModel::kColumnWidths[static_cast<size_t>(column)]);
    }
    if (model->SortColumn() > 0) {
        header()->setSortIndicator(model->SortColumn(), model->SortOrder());
        header()->setSortIndicatorShown(true);
    }
}

void CDataListCtrl::HeaderClicked(int column) {
    if (m_pModel == nullptr || column == CDataListModel::kIndex) {
        return;
    }
    Qt::SortOrder order = Qt::AscendingOrder;
    if (column == m_pModel->SortColumn() && m_pModel->SortOrder() == Qt::AscendingOrder) {
        order = Qt::DescendingOrder;
    }
    m_pModel->sort(column, order);
    header()->setSortIndicator(column, order);
    header()->setSortIndicatorShown(true);
}

std::vector<int> CDataListCtrl::SelectedRows() const {
    std::vector<int> rows;
    if (selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CDataListCtrl::mouseMoveEvent(QMouseEvent* event) {
    QTreeView::mouseMoveEvent(event);
    if (!m_tipTimer.isActive()) {
        m_tipPos = event->position().toPoint();
        m_tipSince = m_clock();
        m_tipTimer.start();
    }
    // The tick compares this with where the pointer was at the last tick.
    m_latestPos = event->position().toPoint();
}

void CDataListCtrl::TipWatchTick() {
    if (m_latestPos != m_tipPos) {
        m_tipPos = m_latestPos;
        m_tipSince = m_clock();
        return;
    }
    if (m_clock() - m_tipSince < m_nTipDelayMs) {
        return;
    }
    const QModelIndex hit = indexAt(m_tipPos);
    if (!hit.isValid()) {
        return;
    }
    const QRect nameCell = visualRect(hit.siblingAtColumn(CDataListModel::kName));
    if (!TipTriggered(m_tipPos.x(), nameCell.x() + nameCell.width())) {
        return;
    }
    m_tipTimer.stop();
    emit TipWanted(hit.row(), viewport()->mapToGlobal(m_tipPos));
}

void CDataListCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        emit Pressed();
    }
    QTreeView::mousePressEvent(event);
}

void CDataListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    emit MenuRequested(event->globalPos());
}

bool CDataListCtrl::viewportEvent(QEvent* event) {
    // The pointer left the list: no tip for where it was.
    if (event->type() == QEvent::Leave) {
        m_tipTimer.stop();
    }
    return QTreeView::viewportEvent(event);
}

DataListMenuState DataListMenuRules(size_t nSelected, bool bSingleHasFile) {
    return {nSelected > 0, nSelected == 1 && bSingleHasFile, nSelected == 1};
}
