#pragma once
// The rows of the library list as a table model. Rows stay the bytes the
// scan read; a row is decoded only when it is shown, and a sort reorders
// row numbers, never the rows.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include "library/scan.h"

class TLibraryModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Extra data of a row for roles other than the displayed text (icons,
    // tool tips), by the row's position in the scan; empty: none.
    std::function<QVariant(std::uint32_t sourceRow, int column, int role)> rowData;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void SetCaptions(const QStringList& captions);

    // Drops every row (one model reset).
    void Clear();
    // Appends rows in the order given (the list must be empty: rows are
    // added only once per scan).
    void Fill(std::vector<LibraryRow> rows);

    // The row shown at viewRow (0 <= viewRow < rowCount()).
    const LibraryRow& Row(int viewRow) const { return rows_[order_[static_cast<std::size_t>(viewRow)]]; }
    const LibraryRow& RowAtSource(std::uint32_t sourceRow) const { return rows_[sourceRow]; }
    // Its position in the scan's order.
    std::uint32_t SourceRow(int viewRow) const { return order_[static_cast<std::size_t>(viewRow)]; }
    // The text shown in a cell.
    QString Text(int viewRow, int column) const;

    // Stable sort of the shown order by compare (<0: first before second).
    // Persistent indexes follow their rows.
    void Sort(const RowCompare& compare);

private:
    struct CacheEntry {
        std::uint64_t key = ~std::uint64_t{0};
        QString text;
    };
    static constexpr std::size_t kCacheSize = 512; // a few screens of cells

    std::vector<LibraryRow> rows_; // in the scan's order
    RowOrder order_;               // shown position -> rows_ index
    QStringList captions_;
    mutable std::array<CacheEntry, kCacheSize> cache_;
};
