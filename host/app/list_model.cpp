#include "list_model.h"

#include <QBrush>
#include <QColor>
#include <QIcon>
#include <algorithm>
#include <ctime>

#include "config_keys.h"
#include "icons.h"
#include "list_rules.h"
#include "list_style.h"
#include "texts.h"
#include "ui_text.h"

namespace {

// Rendered once: data() is asked for the image of every visible row at
// every repaint.
const QIcon& RowIconCached(int image) {
    static const std::array<QIcon, 5> icons = {ui::RowIcon(0), ui::RowIcon(1), ui::RowIcon(2),
                                               ui::RowIcon(3), ui::RowIcon(4)};
    return icons[static_cast<size_t>(std::clamp(image, 0, 4))];
}

QString CountText(int32_t value) {
    return value == -1 ? QString() : QString::number(value);
}

constexpr std::array<unsigned, CDataListModel::kColumnCount> kTitles = {
    texts::IDS_COL_INDEX, texts::IDS_COL_ADDDATE,    texts::IDS_COL_PERCENT,
    texts::IDS_COL_NAME,  texts::IDS_COL_SIZE,       texts::IDS_COL_SEEDS,
    texts::IDS_COL_PEERS, texts::IDS_COL_REFRESHDATE};

}  // namespace

QString FormatListDate(const OleDate& date) {
    std::tm fields{};
    if (!date.ToFields(fields)) {
        return {};
    }
    char text[64];
    const std::string_view format = texts::LoadString(texts::IDS_DATE_FORMAT);
    const size_t length = std::strftime(text, sizeof text, format.data(), &fields);
    return QString::fromUtf8(text, static_cast<qsizetype>(length));
}

CDataListModel::CDataListModel(FileCheck hasFile, QObject* parent)
    : QAbstractTableModel(parent),
      m_hasFile(std::move(hasFile)),
      m_clock([] { return static_cast<int64_t>(std::time(nullptr)); }) {
    std::copy(config::kDefaultDataColors.begin(), config::kDefaultDataColors.end(),
              m_colours.begin());
}

size_t CDataListModel::Checked(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        qFatal("list row %d out of range (%zu rows)", row, m_rows.size());
    }
    return static_cast<size_t>(row);
}

CDataListModel::Row CDataListModel::MakeRow(TorrentRecord record, int number) const {
    const bool bHasFile = m_hasFile && m_hasFile(record);
    return Row{std::move(record), number, bHasFile ? kImageFetched : kImageEntry,
               bHasFile ? QStringLiteral("100%") : QStringLiteral("0%")};
}

void CDataListModel::SetRecords(std::vector<TorrentRecord> records) {
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(records.size());
    for (TorrentRecord& record : records) {
        m_rows.push_back(MakeRow(std::move(record), static_cast<int>(m_rows.size())));
    }
    SortRows();
    endResetModel();
}

void CDataListModel::AppendRecord(TorrentRecord record) {
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back(MakeRow(std::move(record), row));
    endInsertRows();
}

void CDataListModel::AppendRecords(std::vector<TorrentRecord> records) {
    if (records.empty()) {
        return;
    }
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(records.size()) - 1);
    for (TorrentRecord& record : records) {
        m_rows.push_back(MakeRow(std::move(record), static_cast<int>(m_rows.size())));
    }
    endInsertRows();
}

void CDataListModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CDataListModel::SetRowState(int row, int image, const QString& percent) {
    Row& target = m_rows[Checked(row)];
    target.image = image;
    target.percent = percent;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void CDataListModel::SetRecord(int row, const TorrentRecord& record) {
    m_rows[Checked(row)].record = record;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

int CDataListModel::MarkFetched(const TorrentRecord& fetched) {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        TorrentRecord& record = m_rows[i].record;
        if (record.Addr0 != fetched.Addr0) {
            continue;
        }
        record.bCompleted = fetched.bCompleted;
        record.FileName = fetched.FileName;
        SetRowState(static_cast<int>(i), kImageFetched, QStringLiteral("100%"));
        return static_cast<int>(i);
    }
    return -1;
}

void CDataListModel::SetDayColours(const std::array<uint32_t, 5>& colours) {
    m_colours = colours;
    if (!m_rows.empty()) {
        emit dataChanged(index(0, kName), index(rowCount() - 1, kName), {Qt::ForegroundRole});
    }
}

int CDataListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CDataListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QString CDataListModel::Text(const Row& row, int column) const {
    const TorrentRecord& record = row.record;
    switch (column) {
        case kIndex:
            return QString::number(row.number);
        case kAddDate:
            return FormatListDate(record.AddDate);
        case kPercent:
            return row.percent;
        case kName:
            return ui::Text(record.Name);
        case kSize:
            return ui::Text(record.Size);
        case kSeeds:
            return CountText(record.Seeds);
        case kPeers:
            return CountText(record.Peers);
        case kRefreshDate:
            return FormatListDate(record.RefreshDate);
        default:
            return {};
    }
}

QVariant CDataListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= m_rows.size()) {
        return {};
    }
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return Text(row, index.column());
        case Qt::ForegroundRole:
            if (index.column() != kName) {
                return {};
            }
            return QBrush(ColourFromRecord(
                m_colours[static_cast<size_t>(DayColourIndex(row.record.AddDate, m_clock()))]));
        case Qt::DecorationRole:
            return index.column() == kIndex ? QVariant(RowIconCached(row.image)) : QVariant();
        default:
            return {};
    }
}

QVariant CDataListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount) {
        return {};
    }
    return ui::Text(texts::LoadString(kTitles[static_cast<size_t>(section)]));
}

void CDataListModel::sort(int column, Qt::SortOrder order) {
    if (column <= kIndex || column >= kColumnCount) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    RememberSort(column, order);
    const std::vector<size_t> moved = SortRows();
    // The selection and the current row move with their rows.
    std::vector<int> newRow(moved.size());
    for (size_t i = 0; i < moved.size(); ++i) {
        newRow[moved[i]] = static_cast<int>(i);
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        after.push_back(index(newRow[static_cast<size_t>(old.row())], old.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::vector<size_t> CDataListModel::SortRows() {
    std::vector<size_t> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    if (m_nSortColumn <= kIndex) {
        return order;
    }
    const bool bAscending = m_sortOrder == Qt::AscendingOrder;
    const int column = m_nSortColumn;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const TorrentRecord& ra = m_rows[a].record;
        const TorrentRecord& rb = m_rows[b].record;
        return bAscending ? CompareRecords(ra, rb, column) < 0 : CompareRecords(rb, ra, column) < 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (size_t from : order) {
        sorted.push_back(std::move(m_rows[from]));
    }
    m_rows = std::move(sorted);
    return order;
}
