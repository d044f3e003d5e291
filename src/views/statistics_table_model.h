// The rows of a statistics table: values kept as numbers, sorted by them, and made into text
// only for the rows shown and for CSV.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace wirelark {

class CStatisticsTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    // What a cell holds, for sorting: a text, a whole number or a fraction.
    static constexpr int kValueRole = Qt::UserRole;

    // How a column's values read: a QString as it is; a qulonglong count; a double percent or
    // duration; an IPv4 address as a qulonglong; a port as a qlonglong, -1 for none; a time as
    // qlonglong microseconds since the epoch, shown as the local time of day.
    enum class Kind { Text, Count, Percent, Address, Port, Time, Seconds };

    CStatisticsTableModel(QStringList titles, std::vector<Kind> kinds, QObject* parent = nullptr);

    // Each row's cells, one per title, as its column's kind says.
    void SetRows(std::vector<QVariantList> rows);
    // Rows from `first` on replaced by `rows`, the model growing where they reach past its end;
    // a sorting proxy moves only these.
    void ReplaceRows(int first, std::vector<QVariantList> rows);
    const QVariantList& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The titles and then the rows in this order (row numbers of the model), as RFC 4180 CSV
    // with CRLF line ends.
    QString ToCsv(const std::vector<int>& order) const;
    QString CellText(int row, int column) const;

private:
    QStringList m_titles;
    std::vector<Kind> m_kinds;
    std::vector<QVariantList> m_rows;
};

}  // namespace wirelark
