// CDataListModel: the rows of a catalogue list (the torrent list, the task
// list, the search results): a page of records in the eight columns every
// list shares. It answers per role: the cell text, the Name column's colour
// by the row's age, the row image; it sorts its rows with the core's list
// comparison. The lists only draw what it answers.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "torrent_record.h"

class CDataListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column : int {
        kIndex,
        kAddDate,
        kPercent,
        kName,
        kSize,
        kSeeds,
        kPeers,
        kRefreshDate,
        kColumnCount,
    };
    static constexpr std::array<int, kColumnCount> kColumnWidths = {50, 116, 60, 300,
                                                                    70, 50,  50, 100};

    // The row images.
    enum RowImage : int {
        kImageEntry = 0,
        kImageFailed = 1,
        kImageDownloading = 2,
        kImageFetched = 3,
        kImageWaiting = 4,
    };

    // Whether a record's torrent file is in the torrents folder.
    using FileCheck = std::function<bool(const TorrentRecord&)>;
    // Unix seconds; decides which day "today" is for the colours.
    using Clock = std::function<int64_t()>;

    explicit CDataListModel(FileCheck hasFile, QObject* parent = nullptr);

    // Replaces the rows: numbered 0, 1, 2 ... from the top as given, image
    // and Percent from the torrent file, then sorted again by the current
    // sort column.
    void SetRecords(std::vector<TorrentRecord> records);
    // Adds a row at the end, numbered by its position; no sorting.
    void AppendRecord(TorrentRecord record);
    // Adds rows at the end in one insertion, each numbered by its position.
    void AppendRecords(std::vector<TorrentRecord> records);
    void Clear();

    const TorrentRecord& Record(int row) const { return m_rows[Checked(row)].record; }
    // Shows a row in another state (the task list's states): its image and
    // Percent text.
    void SetRowState(int row, int image, const QString& percent);
    // Replaces a row's record, keeping its number, image and Percent.
    void SetRecord(int row, const TorrentRecord& record);
    int RowImage(int row) const { return m_rows[Checked(row)].image; }

    // A torrent file was fetched: the first row with the record's Addr0 takes
    // its completion byte and FileName and shows the file. The row, or -1
    // when no row has that Addr0.
    int MarkFetched(const TorrentRecord& fetched);

    // The DataColor entries: today, yesterday, the day before, other days.
    void SetDayColours(const std::array<uint32_t, 5>& colours);
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // -1 when the rows are in page order.
    int SortColumn() const { return m_nSortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Column 0 does not sort. Rows that compare equal keep their order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  protected:
    // For a list that orders its rows itself (the task list sorts its table).
    void RememberSort(int column, Qt::SortOrder order) {
        m_nSortColumn = column;
        m_sortOrder = order;
    }

  private:
    struct Row {
        TorrentRecord record;
        int number = 0;
        int image = kImageEntry;
        QString percent;
    };

    size_t Checked(int row) const;
    Row MakeRow(TorrentRecord record, int number) const;
    // Sorts by the current sort column; answers the old position of every
    // row in its new order.
    std::vector<size_t> SortRows();
    QString Text(const Row& row, int column) const;

    FileCheck m_hasFile;
    Clock m_clock;
    std::vector<Row> m_rows;
    std::array<uint32_t, 5> m_colours{};
    int m_nSortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// A record's date as the lists show it ("%m-%d %H:%M:%S"); empty when the
// date is not valid.
QString FormatListDate(const OleDate& date);
