// The rows of a statistics table: texts and numbers shown as text and sorted by their values,
// and written out as CSV.
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

    explicit CStatisticsTableModel(QStringList titles, QObject* parent = nullptr);

    // Each row's cells as QString, qulonglong or double, one per title.
    void SetRows(std::vector<QVariantList> rows);
    const QVariantList& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The titles and then the rows in this order (row numbers of the model), as RFC 4180 CSV
    // with CRLF line ends.
    QString ToCsv(const std::vector<int>& order) const;

private:
    QStringList m_titles;
    std::vector<QVariantList> m_rows;
};

// The cell's text: fractions with one decimal, everything else as it is.
QString CellText(const QVariant& value);

}  // namespace wirelark
