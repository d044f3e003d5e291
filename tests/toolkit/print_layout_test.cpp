// Page geometry of the list printer, in plain numbers.
#include "toolkit/print_layout.h"

#include <gtest/gtest.h>

namespace wirelark {
namespace {

constexpr int kHeaderFont = 40;
constexpr int kFooterFont = 30;
constexpr int kRowFont = 50;

// A page whose body holds the heading line and exactly rowsPerPage rows (plus spare pixels
// that do not make another row).
PrintMeasures PageFor(int rowsPerPage, int rowCount, int spare = 0) {
    PrintMeasures m;
    m.deviceWidth = 1000;
    m.deviceHeight =
        150 + 2 * kHeaderFont + (rowsPerPage + 1) * kRowFont + spare + 2 * kFooterFont + 150;
    m.headerFontHeight = kHeaderFont;
    m.footerFontHeight = kFooterFont;
    m.rowFontHeight = kRowFont;
    m.rowFontWidth = 14;
    m.screenCharWidth = 7;
    m.rowCount = rowCount;
    m.columnWidths = {100, 50, 300};
    return m;
}

TEST(PrintLayoutTest, BandsSitInsideTheMargins) {
    const CPrintLayout layout(PageFor(20, 45));
    const int height = PageFor(20, 45).deviceHeight;
    EXPECT_EQ(layout.PrintableRect(), (PrintRect{200, 150, 800, height - 150}));
    EXPECT_EQ(layout.HeaderRect(), (PrintRect{200, 150, 800, 230}));
    EXPECT_EQ(layout.FooterRect(), (PrintRect{200, height - 210, 800, height - 150}));
    EXPECT_EQ(layout.BodyRect(), (PrintRect{200, 230, 800, height - 210}));
    EXPECT_EQ(layout.HeaderBar(), (PrintRect{200, 210, 800, 215}));
    EXPECT_EQ(layout.FooterBar(), (PrintRect{200, height - 195, 800, height - 190}));
    EXPECT_EQ(layout.HeaderTextRect(), (PrintRect{200, 150, 800, 190}));
    EXPECT_EQ(layout.FooterTextRect(), (PrintRect{200, height - 180, 800, height - 150}));
}

// Each page's rows start under the heading line.
TEST(PrintLayoutTest, PagesAndTheirRows) {
    const struct {
        int rowsPerPage;
        int rowCount;
        int spare;  // pixels short of another row
        int pages;
        int lastFirst;
        int lastEnd;
    } cases[] = {{20, 45, 0, 3, 40, 45}, {20, 45, 49, 3, 40, 45}, {20, 40, 0, 2, 20, 40},
                 {20, 1, 0, 1, 0, 1},    {20, 0, 0, 0, 0, 0},     {0, 5, 0, 1, 0, 0},
                 {0, 5, 49, 1, 0, 0},    {1, 3, 0, 3, 2, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rowsPerPage << " per page, " << c.rowCount);
        const CPrintLayout layout(PageFor(c.rowsPerPage, c.rowCount, c.spare));
        EXPECT_EQ(layout.RowsPerPage(), c.rowsPerPage);
        EXPECT_EQ(layout.PageCount(), c.pages);
        const PrintRowRange last = layout.RowsOfPage(c.pages);
        EXPECT_EQ(last.first, c.lastFirst);
        EXPECT_EQ(last.end, c.lastEnd);
        EXPECT_EQ(layout.RowsOfPage(c.pages + 1).end, 0);
        EXPECT_EQ(layout.RowsOfPage(0).end, 0);
        const int top = layout.BodyRect().top;
        for (int row = last.first; row < last.end; ++row) {
            const PrintRect cell = layout.RowCell(row, 0);
            EXPECT_EQ(cell.top, top + (row - last.first + 1) * kRowFont) << row;
            EXPECT_EQ(cell.bottom, cell.top + kRowFont) << row;
        }
        EXPECT_TRUE(layout.RowCell(c.rowCount, 0).IsEmpty());
        EXPECT_TRUE(layout.RowCell(-1, 0).IsEmpty());
    }
}

// Body from 200 to 800; a screen character prints twice as wide. The first widths fit, as 200,
// 100 and 280 inset by 5 x 2; the second, 920 in all, are narrowed by 600 / 920 to 130, 65, 391
// and 13, inset by 6.
TEST(PrintLayoutTest, ColumnsAreScaledInsetAndNarrowedToFitTheBody) {
    const struct {
        std::vector<int> widths;
        double scale;
        double fit;
        std::vector<std::pair<int, int>> spans;  // left and right of each display position
    } cases[] = {{{100, 50, 140}, 2.0, 1.0, {{210, 400}, {410, 500}, {510, 780}}},
                 {{100, 50, 300, 10},
                  600.0 / 460,
                  600.0 / 920,
                  {{206, 330}, {336, 395}, {401, 786}, {792, 799}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fit);
        PrintMeasures m = PageFor(20, 45);
        m.columnWidths = c.widths;
        const CPrintLayout layout(m);
        EXPECT_DOUBLE_EQ(layout.Scale(), c.scale);
        EXPECT_DOUBLE_EQ(layout.FitFactor(), c.fit);
        ASSERT_EQ(layout.ColumnCount(), static_cast<int>(c.spans.size()));
        for (int position = 0; position < layout.ColumnCount(); ++position) {
            const auto [left, right] = c.spans[static_cast<std::size_t>(position)];
            EXPECT_EQ(layout.HeadingCell(position), (PrintRect{left, 230, right, 280})) << position;
            EXPECT_EQ(layout.RowCell(7, position), (PrintRect{left, 630, right, 680})) << position;
        }
        EXPECT_TRUE(layout.HeadingCell(layout.ColumnCount()).IsEmpty());
        EXPECT_TRUE(layout.HeadingCell(-1).IsEmpty());
    }
}

TEST(PrintLayoutTest, DegenerateMeasuresDivideByNothing) {
    PrintMeasures noFont = PageFor(20, 45);
    noFont.screenCharWidth = noFont.rowFontHeight = 0;
    PrintMeasures tiny = PageFor(20, 45);
    tiny.deviceWidth = tiny.deviceHeight = 100;  // smaller than the margins
    for (const PrintMeasures& m : {noFont, tiny}) {
        const CPrintLayout layout(m);
        EXPECT_EQ(layout.RowsPerPage(), 0);
        EXPECT_EQ(layout.PageCount(), 1);
        EXPECT_TRUE(layout.RowCell(3, 0).IsEmpty());
    }
    EXPECT_DOUBLE_EQ(CPrintLayout(noFont).Scale(), 1.0);
    EXPECT_TRUE(CPrintLayout(tiny).HeadingCell(0).IsEmpty());
}

}  // namespace
}  // namespace wirelark
