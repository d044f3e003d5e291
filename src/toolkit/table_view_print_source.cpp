// A table view as the list a CListPrinter prints.
#include "toolkit/table_view_print_source.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTableView>

namespace wirelark {

int CTableViewPrintSource::GetColumnCount() const {
    return m_view.horizontalHeader()->count();
}

std::vector<int> CTableViewPrintSource::GetColumnOrder() const {
    const QHeaderView& header = *m_view.horizontalHeader();
    std::vector<int> order;
    for (int visual = 0; visual < header.count(); ++visual) {
        order.push_back(header.logicalIndex(visual));
    }
    return order;
}

QString CTableViewPrintSource::GetColumnTitle(int column) const {
    const QAbstractItemModel* model = m_view.model();
    return model == nullptr ? QString()
                            : model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

int CTableViewPrintSource::GetColumnWidth(int column) const {
    // A hidden column is printed as no column at all.
    return m_view.horizontalHeader()->isSectionHidden(column)
               ? 0
               : m_view.horizontalHeader()->sectionSize(column);
}

int CTableViewPrintSource::GetRowCount() const {
    const QAbstractItemModel* model = m_view.model();
    return model == nullptr ? 0 : model->rowCount(m_view.rootIndex());
}

QString CTableViewPrintSource::GetItemText(int row, int column) const {
    const QAbstractItemModel* model = m_view.model();
    if (model == nullptr) {
        return {};
    }
    return model->data(model->index(row, column, m_view.rootIndex()), Qt::DisplayRole).toString();
}

QFont CTableViewPrintSource::GetFont() const {
    return m_view.font();
}

}  // namespace wirelark
