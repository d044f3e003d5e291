// Feeds a CListPrinter from a table view: its header's sections in their visual order, their
// widths and titles, and the model's display texts.
#pragma once

#include "toolkit/list_printer.h"

class QTableView;

namespace wirelark {

class CTableViewPrintSource final : public IListPrintSource {
public:
    explicit CTableViewPrintSource(const QTableView& view) : m_view(view) {}

    int GetColumnCount() const override;
    std::vector<int> GetColumnOrder() const override;
    QString GetColumnTitle(int column) const override;
    int GetColumnWidth(int column) const override;
    int GetRowCount() const override;
    QString GetItemText(int row, int column) const override;
    QFont GetFont() const override;

private:
    const QTableView& m_view;
};

}  // namespace wirelark
