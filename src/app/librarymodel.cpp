#include "app/librarymodel.h"

#include <numeric>

#include <QFile>

#include "base/cp932.h"

int TLibraryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TLibraryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QString TLibraryModel::Text(int viewRow, int column) const
{
    const std::uint32_t source = SourceRow(viewRow);
    const std::uint64_t key = std::uint64_t{source} * kColumnCount + static_cast<std::uint64_t>(column);
    CacheEntry& entry = cache_[key % kCacheSize];
    if (entry.key == key)
        return entry.text;
    const std::string& bytes = rows_[source][static_cast<std::size_t>(column)];
    // Header texts are code page 932; the file name is as the host names files.
    entry.text = column == kFileNameColumn ? QFile::decodeName(QByteArray::fromStdString(bytes))
                                           : QString::fromStdString(Cp932ToUtf8(bytes));
    entry.key = key;
    return entry.text;
}

QVariant TLibraryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return Text(index.row(), index.column());
    if (rowData && role != Qt::EditRole)
        return rowData(SourceRow(index.row()), index.column(), role);
    return {};
}

QVariant TLibraryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= captions_.size())
        return {};
    return captions_[section];
}

Qt::ItemFlags TLibraryModel::flags(const QModelIndex& index) const
{
    // Selectable, never editable in place.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void TLibraryModel::SetCaptions(const QStringList& captions)
{
    captions_ = captions;
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void TLibraryModel::Clear()
{
    beginResetModel();
    rows_ = {};
    order_ = {};
    cache_ = {};
    endResetModel();
}

void TLibraryModel::Fill(std::vector<LibraryRow> rows)
{
    if (rows.empty())
        return;
    if (!rows_.empty())
        Clear();
    beginInsertRows({}, 0, static_cast<int>(rows.size()) - 1);
    rows_ = std::move(rows);
    order_.resize(rows_.size());
    std::iota(order_.begin(), order_.end(), std::uint32_t{0});
    endInsertRows();
}

void TLibraryModel::Sort(const RowCompare& compare)
{
    if (order_.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<std::uint32_t> oldSources;
    oldSources.reserve(static_cast<std::size_t>(from.size()));
    for (const QModelIndex& index : from)
        oldSources.push_back(SourceRow(index.row()));

    SortRowOrder(rows_, order_, compare);

    if (!from.isEmpty()) {
        std::vector<int> shownAt(order_.size());
        for (std::size_t i = 0; i < order_.size(); ++i)
            shownAt[order_[i]] = static_cast<int>(i);
        QModelIndexList to;
        to.reserve(from.size());
        for (qsizetype i = 0; i < from.size(); ++i)
            to << index(shownAt[oldSources[static_cast<std::size_t>(i)]], from[i].column());
        changePersistentIndexList(from, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
