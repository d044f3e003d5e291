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
    EXPECT_EQ(layout.PageRect(), (PrintRect{0, 0, 1000, height}));
    EXPECT_EQ(layout.PrintableRect(), (PrintRect{200, 150, 800, height - 150}));
    EXPECT_EQ(layout.HeaderRect(), (PrintRect{200, 150, 800, 230}));
    EXPECT_EQ(layout.FooterRect(), (PrintRect{200, height - 210, 800, height - 150}));
    EXPECT_EQ(layout.BodyRect(), (PrintRect{200, 230, 800, height - 210}));
    EXPECT_EQ(layout.HeaderBar(), (PrintRect{200, 210, 800, 215}));
    EXPECT_EQ(layout.FooterBar(), (PrintRect{200, height - 195, 800, height - 190}));
    EXPECT_EQ(layout.HeaderTextRect(), (PrintRect{200, 150, 800, 190}));
    EXPECT_EQ(layout.FooterTextRect(), (PrintRect{200, height - 180, 800, height - 150}));
}

TEST(PrintLayoutTest, PagesAndTheirRows) {
    const struct {
        int rowsPerPage;
        int rowCount;
        int spare;
        int pages;
        int lastFirst;
        int lastEnd;
    } cases[] = {
        {20, 45, 0, 3, 40, 45},   // the last page half full
        {20, 45, 49, 3, 40, 45},  // spare pixels short of a row make no extra row
        {20, 40, 0, 2, 20, 40},   // exactly full pages
        {20, 1, 0, 1, 0, 1},     {20, 0, 0, 0, 0, 0},  // an empty list prints no page
        {0, 5, 0, 1, 0, 0},                            // too small for a row: one page without rows
        {0, 5, 49, 1, 0, 0},     {1, 3, 0, 3, 2, 3},
    };
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
    }
}

TEST(PrintLayoutTest, RowsStartUnderTheHeadingLineOnEveryPage) {
    const CPrintLayout layout(PageFor(20, 45));
    const int bodyTop = layout.BodyRect().top;
    EXPECT_EQ(layout.HeadingCell(0).top, bodyTop);
    EXPECT_EQ(layout.HeadingCell(0).bottom, bodyTop + kRowFont);
    const struct {
        int row;
        int top;
    } cases[] = {{0, bodyTop + 50},
                 {19, bodyTop + 1000},
                 {20, bodyTop + 50},
                 {40, bodyTop + 50},
                 {44, bodyTop + 250}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(layout.RowCell(c.row, 0).top, c.top);
        EXPECT_EQ(layout.RowCell(c.row, 0).bottom, c.top + kRowFont);
    }
    EXPECT_TRUE(layout.RowCell(45, 0).IsEmpty());
    EXPECT_TRUE(layout.RowCell(-1, 0).IsEmpty());
}

TEST(PrintLayoutTest, ColumnsAreScaledInsetAndNarrowedToFitTheBody) {
    // Body from 200 to 800; a screen character prints twice as wide.
    const struct {
        const char* name;
        std::vector<int> widths;
        double scale;
        double fit;
        std::vector<PrintRect> cells;  // heading cells, by display position
    } cases[] = {
        {"page widths 200, 100, 280 fit; inset 5 x 2",
         {100, 50, 140},
         2.0,
         1.0,
         {{210, 230, 400, 280}, {410, 230, 500, 280}, {510, 230, 780, 280}}},
        {"page widths of 920 narrowed by 600 / 920 to 130, 65, 391, 13; inset 6",
         {100, 50, 300, 10},
         600.0 / 460,
         600.0 / 920,
         {{206, 230, 330, 280}, {336, 230, 395, 280}, {401, 230, 786, 280}, {792, 230, 799, 280}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrintMeasures m = PageFor(20, 45);
        m.columnWidths = c.widths;
        const CPrintLayout layout(m);
        EXPECT_DOUBLE_EQ(layout.Scale(), c.scale);
        EXPECT_DOUBLE_EQ(layout.FitFactor(), c.fit);
        ASSERT_EQ(layout.ColumnCount(), static_cast<int>(c.cells.size()));
        for (std::size_t position = 0; position < c.cells.size(); ++position) {
            SCOPED_TRACE(position);
            const PrintRect& heading = c.cells[position];
            EXPECT_EQ(layout.HeadingCell(static_cast<int>(position)), heading);
            EXPECT_EQ(layout.RowCell(7, static_cast<int>(position)),
                      (PrintRect{heading.left, 630, heading.right, 680}));
        }
        EXPECT_TRUE(layout.HeadingCell(layout.ColumnCount()).IsEmpty());
        EXPECT_TRUE(layout.HeadingCell(-1).IsEmpty());
    }
}

TEST(PrintLayoutTest, DegenerateMeasuresDivideByNothing) {
    PrintMeasures m = PageFor(20, 45);
    m.screenCharWidth = 0;
    m.rowFontHeight = 0;
    const CPrintLayout layout(m);
    EXPECT_DOUBLE_EQ(layout.Scale(), 1.0);
    EXPECT_EQ(layout.RowsPerPage(), 0);
    EXPECT_EQ(layout.PageCount(), 1);
    EXPECT_TRUE(layout.RowCell(3, 0).IsEmpty());

    PrintMeasures tiny = PageFor(20, 45);
    tiny.deviceWidth = 100;  // narrower than the margins
    tiny.deviceHeight = 100;
    const CPrintLayout cramped(tiny);
    EXPECT_EQ(cramped.RowsPerPage(), 0);
    EXPECT_EQ(cramped.PageCount(), 1);
    EXPECT_TRUE(cramped.HeadingCell(0).IsEmpty());
}

}  // namespace
}  // namespace wirelark
