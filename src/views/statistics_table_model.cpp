// Statistics table rows.
#include "views/statistics_table_model.h"

namespace wirelark {

namespace {

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString CellText(const QVariant& value) {
    if (value.typeId() == QMetaType::Double) {
        return QString::number(value.toDouble(), 'f', 1);
    }
    return value.toString();
}

CStatisticsTableModel::CStatisticsTableModel(QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), m_titles(std::move(titles)) {}

void CStatisticsTableModel::SetRows(std::vector<QVariantList> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int CStatisticsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CStatisticsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

QVariant CStatisticsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const QVariant& value = Row(index.row())[index.column()];
    switch (role) {
        case Qt::DisplayRole:
            return CellText(value);
        case kValueRole:
            return value;
        case Qt::TextAlignmentRole:
            return static_cast<int>(
                (value.typeId() == QMetaType::QString ? Qt::AlignLeft : Qt::AlignRight) |
                Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant CStatisticsTableModel::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columnCount()) {
        return m_titles[section];
    }
    return {};
}

QString CStatisticsTableModel::ToCsv(const std::vector<int>& order) const {
    const auto line = [](const QStringList& fields) {
        QStringList quoted;
        for (const QString& field : fields) {
            quoted.append(CsvField(field));
        }
        return quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
    };
    QString csv = line(m_titles);
    for (const int row : order) {
        QStringList fields;
        for (const QVariant& value : Row(row)) {
            fields.append(CellText(value));
        }
        csv += line(fields);
    }
    return csv;
}

}  // namespace wirelark
