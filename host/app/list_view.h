// CDataListCtrl: the report list that shows a CDataListModel: the torrent
// list, the task list and the search results. Full-row selection that stays
// visible without focus, the sort mark in the header, sorting by a header
// click (not Index: the first click on a column sorts ascending, the next
// ones toggle), and the watch that asks for the information tip when the
// pointer rests on a row.
//
// The list decides nothing about records: double clicks, context menus and
// tips go out as signals with the row, for the owner to act on.
#pragma once

#include <QPoint>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <vector>

class CDataListModel;

class CDataListCtrl : public QTreeView {
    Q_OBJECT

  public:
    static constexpr int kTipWatchMs = 50;
    static constexpr int kRowImageSize = 20;

    // Monotonic milliseconds.
    using Clock = std::function<qint64()>;

    explicit CDataListCtrl(QWidget* parent = nullptr);

    // Shows the model with the lists' column widths (the list does not own
    // it).
    void SetListModel(CDataListModel* model);
    CDataListModel* ListModel() const { return m_pModel; }

    // The selected rows, top to bottom.
    std::vector<int> SelectedRows() const;

    // How long the pointer must rest before the tip opens (DataDelayTm).
    void SetTipDelay(int nMs) { m_nTipDelayMs = nMs; }
    void SetTipClock(Clock clock) { m_clock = std::move(clock); }
    bool IsTipWatching() const { return m_tipTimer.isActive(); }
    // One tick of the watch: follows the pointer, and once it has rested
    // long enough left of the Name cell's right edge, ends the watch and
    // asks for the tip.
    void TipWatchTick();

  signals:
    void RowDoubleClicked(int row);
    void MenuRequested(const QPoint& globalPos);
    // The pointer rested on the row; globalPos is where it rests.
    void TipWanted(int row, const QPoint& globalPos);
    // A button press in the list: an open tip closes.
    void Pressed();

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    void HeaderClicked(int column);

    CDataListModel* m_pModel = nullptr;
    QTimer m_tipTimer;
    Clock m_clock;
    int m_nTipDelayMs = 1000;
    QPoint m_tipPos;     // where the pointer rests since m_tipSince
    QPoint m_latestPos;  // where it was last seen
    qint64 m_tipSince = 0;
};

// Which items of the "datalist" menu are on for the selection.
struct DataListMenuState {
    bool bDownload = false;  // both download items
    bool bOpen = false;
    bool bViewPage = false;
};
DataListMenuState DataListMenuRules(size_t nSelected, bool bSingleHasFile);
