// Page geometry of the list printer, in plain numbers.
#include "toolkit/print_layout.h"

#include <gtest/gtest.h>

#include <utility>

namespace wirelark {
namespace {

constexpr int kRowFont = 50;

// A page whose body holds the heading line and exactly rowsPerPage rows (plus spare pixels
// that do not make another row) between a header of two 40-pixel lines and a footer of two
// 30-pixel lines.
PrintMeasures PageFor(int rowsPerPage, int rowCount, int spare = 0) {
    PrintMeasures m;
    m.deviceWidth = 1000;
    m.deviceHeight = 150 + 2 * 40 + (rowsPerPage + 1) * kRowFont + spare + 2 * 30 + 150;
    m.headerFontHeight = 40;
    m.footerFontHeight = 30;
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
    EXPECT_EQ(layout.BodyRect(), (PrintRect{200, 230, 800, height - 210}));
    EXPECT_EQ(layout.HeaderBar(), (PrintRect{200, 210, 800, 215}));
    EXPECT_EQ(layout.FooterBar(), (PrintRect{200, height - 195, 800, height - 190}));
    EXPECT_EQ(layout.HeaderTextRect(), (PrintRect{200, 150, 800, 190}));
    EXPECT_EQ(layout.FooterTextRect(), (PrintRect{200, height - 180, 800, height - 150}));
}

// Each page's rows start under the heading line.
TEST(PrintLayoutTest, PagesAndTheirRows) {
    // Rows per page, rows, spare pixels short of another row; pages, rows of the last page.
    const int cases[][6] = {{20, 45, 0, 3, 40, 45}, {20, 45, 49, 3, 40, 45}, {20, 40, 0, 2, 20, 40},
                            {20, 1, 0, 1, 0, 1},    {20, 0, 0, 0, 0, 0},     {0, 5, 0, 1, 0, 0},
                            {0, 5, 49, 1, 0, 0},    {1, 3, 0, 3, 2, 3}};
    for (const auto& [perPage, rows, spare, pages, lastFirst, lastEnd] : cases) {
        SCOPED_TRACE(testing::Message() << perPage << " per page, " << rows);
        const CPrintLayout layout(PageFor(perPage, rows, spare));
        EXPECT_EQ(layout.RowsPerPage(), perPage);
        EXPECT_EQ(layout.PageCount(), pages);
        const PrintRowRange last = layout.RowsOfPage(pages);
        EXPECT_EQ(std::pair(last.first, last.end), std::pair(lastFirst, lastEnd));
        EXPECT_TRUE(layout.RowsOfPage(0).end == 0 && layout.RowsOfPage(pages + 1).end == 0);
        if (last.end > last.first) {
            EXPECT_EQ(layout.RowCell(last.end - 1, 0).top,
                      layout.HeadingCell(0).top + (last.end - last.first) * kRowFont);
        }
        EXPECT_TRUE(layout.RowCell(rows, 0).IsEmpty());
        EXPECT_TRUE(layout.RowCell(-1, 0).IsEmpty());
    }
}

// Body from 200 to 800; a screen character prints twice as wide. The first widths fit, as 200,
// 100 and 280 inset by 5 x 2; the second, 920 in all, are narrowed by 600 / 920 to 130, 65, 391
// and 13, inset by 6.
TEST(PrintLayoutTest, ColumnsAreScaledInsetAndNarrowedToFitTheBody) {
    const struct {
        std::vector<int> widths;
        double fit;
        std::vector<std::pair<int, int>> spans;  // left and right of each display position
    } cases[] = {
        {{100, 50, 140}, 1.0, {{210, 400}, {410, 500}, {510, 780}}},
        {{100, 50, 300, 10}, 600.0 / 920, {{206, 330}, {336, 395}, {401, 786}, {792, 799}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fit);
        PrintMeasures m = PageFor(20, 45);
        m.columnWidths = c.widths;
        const CPrintLayout layout(m);
        EXPECT_DOUBLE_EQ(layout.Scale(), 2 * c.fit);
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
