// The hex dump's geometry in numbers: columns, bytes per row, visible and drawn rows, scrolling
// limits, highlight outlines, and the texts of the three columns.
#include "views/hex_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <sstream>
#include <tuple>
#include <vector>

namespace wirelark {
namespace {

// A client of 556 x 140 pixels with 8 x 13 cells holds 16 bytes per row and 10 whole rows; its
// hex column's first row is L = 42, T = 5, R = 418.
CHexLayout Layout(std::size_t length, std::uint32_t topRow = 0, int width = 556, int height = 140,
                  bool scrolling = true) {
    return CHexLayout(CHexLayoutInput{width, height, 8, 13, scrolling, length, topRow});
}

// "bytes per row, visible rows, rows, top row/greatest top row, scroll bar or -, first-last byte
// shown, rows drawn".
std::string RowsText(const CHexLayout& layout) {
    std::ostringstream out;
    out << layout.BytesPerRow() << ' ' << layout.VisibleRows() << ' ' << layout.Rows() << ' '
        << layout.TopRow() << '/' << layout.GreatestTopRow()
        << (layout.ScrollBarShown() ? " bar " : " - ") << layout.FirstByteShown() << '-'
        << layout.LastByteShown() << ' ' << layout.RowsDrawn();
    return out.str();
}

TEST(HexLayoutTest, ColumnsSitInTheTextAreaWhichIsTheWholeClientWithoutScrolling) {
    const CHexLayout layout = Layout(100, 0, 400, 200);
    EXPECT_EQ(layout.TextArea(), (CHexRect{5, 5, 395, 195}));
    EXPECT_EQ(RowsText(layout), "11 14 10 0/0 - 0-99 10");
    // Left and width of the offset, hex and character columns.
    EXPECT_EQ((std::vector<int>{layout.OffsetColumnLeft(), layout.OffsetColumnWidth(),
                                layout.HexColumnLeft(), layout.HexColumnWidth(),
                                layout.CharColumnLeft(), layout.CharColumnWidth()}),
              (std::vector<int>{0, 37, 37, 261, 298, 93}));
    // Filled areas leave each column's 5-pixel gap and sit in the text area.
    EXPECT_EQ(layout.OffsetColumnRect(), (CHexRect{5, 5, 37, 195}));
    EXPECT_EQ(layout.HexColumnRect(), (CHexRect{42, 5, 298, 195}));
    EXPECT_EQ(layout.CharColumnRect(), (CHexRect{303, 5, 391, 195}));
    EXPECT_EQ(layout.RowRect(layout.HexColumnRect(), 2), (CHexRect{42, 31, 298, 44}));

    const CHexLayout flat = Layout(60, 0, 546, 130, false);
    EXPECT_EQ(flat.TextArea(), (CHexRect{0, 0, 546, 130}));
    EXPECT_EQ(RowsText(flat), "16 10 4 0/0 - 0-59 4");
}

TEST(HexLayoutTest, BytesPerRowFollowTheWidthAndNeverDropBelowOne) {
    // {client width, bytes per row}. Text width = client - 10; space for bytes = text width - 42;
    // a byte takes 32 pixels, the last one 24.
    const std::pair<int, std::uint32_t> cases[] = {
        {0, 1},   {20, 1},  {51, 1},  {52, 1},  {75, 1},   {76, 1},   {107, 1},
        {108, 2}, {116, 2}, {139, 2}, {140, 3}, {556, 16}, {555, 15}, {588, 17}};
    for (const auto& [width, bytesPerRow] : cases) {
        EXPECT_EQ(Layout(60, 0, width).BytesPerRow(), bytesPerRow) << "client width " << width;
    }
}

TEST(HexLayoutTest, RowsScrollingAndBytesShownFollowLengthTopRowAndClient) {
    // {what, length, top row asked, client width, client height, RowsText}
    const std::tuple<const char*, std::size_t, std::uint32_t, int, int, const char*> cases[] = {
        {"sixty bytes in four rows", 60, 0, 556, 140, "16 10 4 0/0 - 0-59 4"},
        {"scrolled from a longer packet", 60, 40, 556, 140, "16 10 4 0/0 - 0-59 4"},
        {"1514 bytes", 1514, 0, 556, 140, "16 10 95 0/85 bar 0-159 10"},
        {"1514 bytes past the bottom", 1514, 90, 556, 140, "16 10 95 85/85 bar 1360-1513 10"},
        {"65536 bytes", 65536, 1000, 556, 140, "16 10 4096 1000/4086 bar 16000-16159 10"},
        {"wider: 32 bytes per row", 1514, 85, 1068, 140, "32 10 48 38/38 bar 1216-1513 10"},
        {"empty data", 0, 0, 556, 140, "16 10 0 0/0 - 0--1 0"},
        {"narrow: no whole row fits", 60, 0, 30, 8, "1 0 60 0/60 bar 0--1 0"},
    };
    for (const auto& [name, length, topRow, width, height, rows] : cases) {
        EXPECT_EQ(RowsText(Layout(length, topRow, width, height)), rows) << name;
    }
}

TEST(HexLayoutTest, ScrollRangeCoversAllRowsAndTheTopRowStopsAtTheGreatest) {
    const CHexLayout layout = Layout(1514);
    EXPECT_EQ(layout.ScrollMaximum(), 94u);
    EXPECT_EQ(layout.ClampTopRow(86), 85u);  // line down at the bottom stays put
    EXPECT_EQ(layout.ClampTopRow(40), 40u);
    const CHexLayout narrow = Layout(60, 0, 30, 8);
    EXPECT_EQ(narrow.TextArea(), (CHexRect{5, 5, 25, 5}));
    EXPECT_TRUE(narrow.HighlightOutline(0, 0).empty());
}

// The outline round bytes first..last as "x,y x,y ...".
std::string OutlineText(const CHexLayout& layout, int first, int last) {
    std::ostringstream out;
    for (const CHexPoint& point : layout.HighlightOutline(first, last)) {
        out << (out.tellp() > 0 ? " " : "") << point.x << ',' << point.y;
    }
    return out.str();
}

TEST(HexLayoutTest, HighlightOutlines) {
    // {what, top row, first byte, last byte, the outline's points}
    const std::tuple<const char*, std::uint32_t, int, int, const char*> cases[] = {
        {"Ethernet header: one row", 0, 0, 13, "40,18 40,5 372,5 372,18"},
        {"ends at the end of its row", 0, 0, 15, "40,18 40,5 420,5 420,18"},
        {"one byte", 0, 20, 20, "136,31 136,18 156,18 156,31"},
        {"IP header: three rows, 8 points", 0, 14, 33,
         "376,18 376,5 419,5 419,31 84,31 84,44 40,44 40,18"},
        {"two whole rows", 0, 0, 31, "40,18 40,5 419,5 419,31 40,31 40,18"},
        {"starts rows above the screen", 5, 0, 100, "40,4 419,4 419,18 156,18 156,31 40,31 40,4"},
        {"starts in the row just above the screen", 5, 70, 90,
         "184,5 184,-8 419,-8 419,5 300,5 300,18 40,18 40,5"},
        {"starts in the last visible row", 0, 159, 170,
         "400,135 400,122 419,122 419,135 300,135 300,148 40,148 40,135"},
        {"ends before the first byte shown", 5, 0, 79, ""},
        {"starts below the visible rows", 0, 160, 170, ""},
        {"inverted", 0, 20, 10, ""},
        {"first end unset", 0, -1, 13, ""},
        {"last end unset", 0, 0, -1, ""},
        // Without overflow: the bottom lies (2^31 - 1360) / 16 rows of 13 pixels under the top.
        {"from far above to the greatest int", 85, INT_MIN + 1, INT_MAX,
         "40,4 419,4 419,1744829364 40,1744829364 40,4"},
        {"wholly far above", 85, INT_MIN, -2, ""},
    };
    for (const auto& [name, topRow, first, last, outline] : cases) {
        EXPECT_EQ(OutlineText(Layout(1514, topRow), first, last), outline) << name;
    }
}

TEST(HexLayoutTest, ColumnTextsAreUpperCaseHexPaddedAndDotsForUnprintableBytes) {
    EXPECT_EQ(FormatOffsetText(0), "0000");
    EXPECT_EQ(FormatOffsetText(0xABCD), "ABCD");
    EXPECT_EQ(FormatOffsetText(0x10000), "10000");

    const std::uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x5C};
    EXPECT_EQ(FormatHexRow(bytes, 4), "0A FF 00 5C");
    EXPECT_EQ(FormatHexRow(std::span(bytes, 2), 4), "0A FF      ");  // a short row is padded
    EXPECT_EQ(FormatHexRow(std::span(bytes, 1), 1), "0A");

    const std::uint8_t chars[] = {0x00, 0x1F, 0x20, 0x41, 0x7E, 0x7F, 0x80, 0xA0, 0xE9, 0xFF};
    EXPECT_EQ(FormatCharRow(chars), ".. A~.....");
    EXPECT_EQ(FormatCharRow({}), "");
}

}  // namespace
}  // namespace wirelark
