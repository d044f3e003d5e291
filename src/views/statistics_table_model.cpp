// Statistics table rows.
#include "views/statistics_table_model.h"

#include <QDateTime>
#include <algorithm>

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

CStatisticsTableModel::CStatisticsTableModel(QStringList titles, std::vector<Kind> kinds,
                                             QObject* parent)
    : QAbstractTableModel(parent), m_titles(std::move(titles)), m_kinds(std::move(kinds)) {}

QString CStatisticsTableModel::CellText(int row, int column) const {
    const QVariant& value = Row(row)[column];
    switch (m_kinds[static_cast<std::size_t>(column)]) {
        case Kind::Percent:
            return QString::number(value.toDouble(), 'f', 1);
        case Kind::Seconds:
            return QString::number(value.toDouble(), 'f', 3);
        case Kind::Address: {
            const qulonglong address = value.toULongLong();
            return QStringLiteral("%1.%2.%3.%4")
                .arg((address >> 24) & 0xFF)
                .arg((address >> 16) & 0xFF)
                .arg((address >> 8) & 0xFF)
                .arg(address & 0xFF);
        }
        case Kind::Port:
            return value.toLongLong() < 0 ? QString() : value.toString();
        case Kind::Time: {
            const qlonglong microseconds = value.toLongLong();
            const qlonglong seconds = microseconds >= 0 ? microseconds / 1'000'000
                                                        : -((-microseconds + 999'999) / 1'000'000);
            return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm:ss")) +
                   QStringLiteral(".%1").arg(microseconds - seconds * 1'000'000, 6, 10,
                                             QLatin1Char('0'));
        }
        case Kind::Text:
        case Kind::Count:
            return value.toString();
    }
    return value.toString();
}

void CStatisticsTableModel::SetRows(std::vector<QVariantList> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CStatisticsTableModel::ReplaceRows(int first, std::vector<QVariantList> rows) {
    const int count = static_cast<int>(rows.size());
    const int old = rowCount();
    const int replaced = std::clamp(old - first, 0, count);
    for (int i = 0; i < replaced; ++i) {
        m_rows[static_cast<std::size_t>(first + i)] = std::move(rows[static_cast<std::size_t>(i)]);
    }
    if (replaced > 0) {
        emit dataChanged(index(first, 0), index(first + replaced - 1, columnCount() - 1));
    }
    if (replaced < count) {
        beginInsertRows({}, old, old + count - replaced - 1);
        for (int i = replaced; i < count; ++i) {
            m_rows.push_back(std::move(rows[static_cast<std::size_t>(i)]));
        }
        endInsertRows();
    }
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
            return CellText(index.row(), index.column());
        case kValueRole:
            return value;
        case Qt::TextAlignmentRole: {
            // Texts and addresses read from the left, numbers line up on the right.
            const Kind kind = m_kinds[static_cast<std::size_t>(index.column())];
            return static_cast<int>(
                (kind == Kind::Text || kind == Kind::Address ? Qt::AlignLeft : Qt::AlignRight) |
                Qt::AlignVCenter);
        }
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
        for (int column = 0; column < columnCount(); ++column) {
            fields.append(CellText(row, column));
        }
        csv += line(fields);
    }
    return csv;
}

}  // namespace wirelark
