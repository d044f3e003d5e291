// A table view read as a printable list: visual order, widths, titles and cell texts.
#include "toolkit/table_view_print_source.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

namespace wirelark {
namespace {

TEST(TableViewPrintSourceTest, ReadsColumnsInTheirDisplayOrderAndCellsByColumn) {
    QStandardItemModel model(2, 3);
    model.setHorizontalHeaderLabels({"No.  ", "Time  ", "Len  "});
    model.setItem(1, 2, new QStandardItem("1/2"));
    QTableView view;
    view.setModel(&model);
    view.horizontalHeader()->resizeSection(1, 77);
    view.horizontalHeader()->moveSection(2, 0);  // Len dragged to the front

    const CTableViewPrintSource source(view);
    EXPECT_EQ(source.GetColumnCount(), 3);
    EXPECT_EQ(source.GetColumnOrder(), (std::vector<int>{2, 0, 1}));
    EXPECT_EQ(source.GetColumnTitle(2), "Len  ");
    EXPECT_EQ(source.GetColumnWidth(1), 77);
    EXPECT_EQ(source.GetRowCount(), 2);
    EXPECT_EQ(source.GetItemText(1, 2), "1/2");
    EXPECT_EQ(source.GetFont(), view.font());

    view.horizontalHeader()->hideSection(0);
    EXPECT_EQ(source.GetColumnWidth(0), 0);
}

}  // namespace
}  // namespace wirelark
