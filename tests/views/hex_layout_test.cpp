// The hex dump's geometry in numbers: columns, bytes per row, visible and drawn rows, scrolling
// limits, highlight outlines, and the texts of the three columns.
#include "views/hex_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace wirelark {
namespace {

// A client of 556 x 140 pixels with 8 x 13 cells holds 16 bytes per row and 10 whole rows; its
// hex column's first row is L = 42, T = 5, R = 418.
CHexLayout Layout(std::size_t length, std::uint32_t topRow = 0, int width = 556, int height = 140) {
    CHexLayoutInput input;
    input.clientWidth = width;
    input.clientHeight = height;
    input.cellWidth = 8;
    input.lineHeight = 13;
    input.length = length;
    input.topRow = topRow;
    return CHexLayout(input);
}

TEST(HexLayoutTest, ExampleClientGivesElevenBytesPerRowAndFourteenRows) {
    const CHexLayout layout = Layout(100, 0, 400, 200);
    EXPECT_EQ(layout.TextArea(), (CHexRect{5, 5, 395, 195}));
    EXPECT_EQ(layout.VisibleRows(), 14u);
    EXPECT_EQ(layout.BytesPerRow(), 11u);
    EXPECT_EQ(layout.OffsetColumnLeft(), 0);
    EXPECT_EQ(layout.OffsetColumnWidth(), 37);
    EXPECT_EQ(layout.HexColumnLeft(), 37);
    EXPECT_EQ(layout.HexColumnWidth(), 261);
    EXPECT_EQ(layout.CharColumnLeft(), 298);
    EXPECT_EQ(layout.CharColumnWidth(), 93);
    // Filled areas leave each column's 5-pixel gap and sit in the text area.
    EXPECT_EQ(layout.OffsetColumnRect(), (CHexRect{5, 5, 37, 195}));
    EXPECT_EQ(layout.HexColumnRect(), (CHexRect{42, 5, 298, 195}));
    EXPECT_EQ(layout.CharColumnRect(), (CHexRect{303, 5, 391, 195}));
    EXPECT_EQ(layout.RowRect(layout.HexColumnRect(), 2), (CHexRect{42, 31, 298, 44}));
}

TEST(HexLayoutTest, BytesPerRowFollowTheWidthAndNeverDropBelowOne) {
    struct Case {
        int clientWidth;
        std::uint32_t bytesPerRow;
    };
    // Text width = client - 10; space for bytes = text width - 42; a byte takes 32 pixels, the
    // last one 24.
    const Case cases[] = {
        {0, 1},   {20, 1},  {51, 1},  {52, 1},  {75, 1},   {76, 1},   {107, 1},
        {108, 2}, {116, 2}, {139, 2}, {140, 3}, {556, 16}, {555, 15}, {588, 17},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Layout(60, 0, c.clientWidth).BytesPerRow(), c.bytesPerRow)
            << "client width " << c.clientWidth;
    }
}

TEST(HexLayoutTest, NarrowControlShowsOneBytePerRowAndCollapsedTextArea) {
    const CHexLayout layout = Layout(60, 0, 30, 8);
    EXPECT_EQ(layout.TextArea(), (CHexRect{5, 5, 25, 5}));
    EXPECT_EQ(layout.BytesPerRow(), 1u);
    EXPECT_EQ(layout.VisibleRows(), 0u);
    EXPECT_EQ(layout.RowsDrawn(), 0u);  // no whole row fits
    EXPECT_EQ(layout.GreatestTopRow(), 60u);
    EXPECT_TRUE(layout.HighlightOutline(0, 0).empty());
}

TEST(HexLayoutTest, WithoutScrollingTheTextAreaIsTheWholeClient) {
    CHexLayoutInput input;
    input.clientWidth = 546;
    input.clientHeight = 130;
    input.cellWidth = 8;
    input.lineHeight = 13;
    input.scrolling = false;
    input.length = 60;
    const CHexLayout layout(input);
    EXPECT_EQ(layout.TextArea(), (CHexRect{0, 0, 546, 130}));
    EXPECT_EQ(layout.BytesPerRow(), 16u);
    EXPECT_EQ(layout.VisibleRows(), 10u);
}

TEST(HexLayoutTest, SixtyBytesFitInFourRowsWithoutScrollBar) {
    const CHexLayout layout = Layout(60);
    EXPECT_EQ(layout.BytesPerRow(), 16u);
    EXPECT_EQ(layout.VisibleRows(), 10u);
    EXPECT_EQ(layout.Rows(), 4u);
    EXPECT_EQ(layout.GreatestTopRow(), 0u);
    EXPECT_FALSE(layout.ScrollBarShown());
    EXPECT_EQ(layout.FirstByteShown(), 0u);
    EXPECT_EQ(layout.LastByteShown(), 59);
    EXPECT_EQ(layout.RowsDrawn(), 4u);
    // The last row holds bytes 48 to 59.
    EXPECT_EQ(layout.LastByteShown() + 1 - 3 * 16, 12);
    // A scrolled position from an earlier, longer packet falls back to the top.
    EXPECT_EQ(Layout(60, 40).TopRow(), 0u);
}

TEST(HexLayoutTest, LongFrameScrollsOverAllRowsWithProportionalPage) {
    const CHexLayout layout = Layout(1514);
    EXPECT_EQ(layout.Rows(), 95u);
    EXPECT_EQ(layout.GreatestTopRow(), 85u);
    EXPECT_TRUE(layout.ScrollBarShown());
    EXPECT_EQ(layout.ScrollMaximum(), 94u);
    EXPECT_EQ(layout.VisibleRows(), 10u);
    EXPECT_EQ(layout.ClampTopRow(86), 85u);  // line down at the bottom stays put
    EXPECT_EQ(layout.ClampTopRow(40), 40u);

    const CHexLayout bottom = Layout(1514, 90);
    EXPECT_EQ(bottom.TopRow(), 85u);
    EXPECT_EQ(bottom.FirstByteShown(), 1360u);
    EXPECT_EQ(bottom.LastByteShown(), 1513);
    EXPECT_EQ(bottom.RowsDrawn(), 10u);

    // Only the rows on screen are drawn, however long the frame.
    const CHexLayout huge = Layout(65536, 1000);
    EXPECT_EQ(huge.FirstByteShown(), 16000u);
    EXPECT_EQ(huge.LastByteShown(), 16159);
    EXPECT_EQ(huge.RowsDrawn(), 10u);
}

TEST(HexLayoutTest, ResizingChangesBytesPerRowAndClampsTheTopRow) {
    EXPECT_EQ(Layout(1514, 85).TopRow(), 85u);
    // Wider: 32 bytes per row leave 48 rows and a greatest top row of 38.
    const CHexLayout wider = Layout(1514, 85, 1068);
    EXPECT_EQ(wider.BytesPerRow(), 32u);
    EXPECT_EQ(wider.GreatestTopRow(), 38u);
    EXPECT_EQ(wider.TopRow(), 38u);
}

TEST(HexLayoutTest, EmptyDataDrawsNothing) {
    const CHexLayout layout = Layout(0);
    EXPECT_EQ(layout.Rows(), 0u);
    EXPECT_EQ(layout.RowsDrawn(), 0u);
    EXPECT_FALSE(layout.ScrollBarShown());
}

using Points = std::vector<CHexPoint>;

TEST(HexLayoutTest, HighlightOutlines) {
    struct Case {
        const char* name;
        std::uint32_t topRow;
        int first;
        int last;
        Points points;
    };
    const Case cases[] = {
        {"Ethernet header: one row", 0, 0, 13, {{40, 18}, {40, 5}, {372, 5}, {372, 18}}},
        {"ends at the end of its row", 0, 0, 15, {{40, 18}, {40, 5}, {420, 5}, {420, 18}}},
        {"one byte", 0, 20, 20, {{136, 31}, {136, 18}, {156, 18}, {156, 31}}},
        {"IP header: three rows, 8 points",
         0,
         14,
         33,
         {{376, 18}, {376, 5}, {419, 5}, {419, 31}, {84, 31}, {84, 44}, {40, 44}, {40, 18}}},
        {"two whole rows", 0, 0, 31, {{40, 18}, {40, 5}, {419, 5}, {419, 31}, {40, 31}, {40, 18}}},
        {"starts rows above the screen",
         5,
         0,
         100,
         {{40, 4}, {419, 4}, {419, 18}, {156, 18}, {156, 31}, {40, 31}, {40, 4}}},
        {"starts in the row just above the screen",
         5,
         70,
         90,
         {{184, 5}, {184, -8}, {419, -8}, {419, 5}, {300, 5}, {300, 18}, {40, 18}, {40, 5}}},
        {"starts in the last visible row",
         0,
         159,
         170,
         {{400, 135},
          {400, 122},
          {419, 122},
          {419, 135},
          {300, 135},
          {300, 148},
          {40, 148},
          {40, 135}}},
        {"ends before the first byte shown", 5, 0, 79, {}},
        {"starts below the visible rows", 0, 160, 170, {}},
        {"inverted", 0, 20, 10, {}},
        {"first end unset", 0, -1, 13, {}},
        {"last end unset", 0, 0, -1, {}},
    };
    for (const Case& c : cases) {
        const CHexLayout layout = Layout(1514, c.topRow);
        ASSERT_EQ(layout.TopRow(), c.topRow) << c.name;
        const Points points = layout.HighlightOutline(c.first, c.last);
        EXPECT_EQ(points, c.points) << c.name;
        EXPECT_LE(points.size(), 8u) << c.name;
    }
}

TEST(HexLayoutTest, ExtremeRangesGiveOutlinesWithoutOverflow) {
    const CHexLayout layout = Layout(1514, 85);
    const Points all = layout.HighlightOutline(INT_MIN + 1, INT_MAX);
    ASSERT_EQ(all.size(), 5u);  // ends at a row end: no notch
    EXPECT_EQ(all.front(), (CHexPoint{40, 4}));
    // The bottom lies far below the control: (2^31 - 1360) / 16 rows under the top.
    EXPECT_EQ(all[2].y, 5 + (std::int64_t{INT_MAX} + 1 - 1360) / 16 * 13);
    EXPECT_TRUE(layout.HighlightOutline(INT_MIN, -2).empty());
}

TEST(HexLayoutTest, OffsetTextsAreUpperCaseAndZeroPaddedToFourDigits) {
    EXPECT_EQ(FormatOffsetText(0), "0000");
    EXPECT_EQ(FormatOffsetText(0x10), "0010");
    EXPECT_EQ(FormatOffsetText(0x30), "0030");
    EXPECT_EQ(FormatOffsetText(0xABCD), "ABCD");
    EXPECT_EQ(FormatOffsetText(0x10000), "10000");
}

TEST(HexLayoutTest, HexRowsPlaceTwoDigitsPerByteAndPadShortRows) {
    const std::uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x5C};
    EXPECT_EQ(FormatHexRow(bytes, 4), "0A FF 00 5C");
    EXPECT_EQ(FormatHexRow(std::span(bytes, 2), 4), "0A FF      ");
    EXPECT_EQ(FormatHexRow(std::span(bytes, 1), 1), "0A");
}

TEST(HexLayoutTest, CharacterColumnShowsDotForEveryUnprintableByte) {
    std::vector<std::uint8_t> bytes{0x00, 0x1F, 0x20, 0x41, 0x7E, 0x7F};
    for (int value = 0x80; value <= 0xFF; ++value) {
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    const std::string text = FormatCharRow(bytes);
    ASSERT_EQ(text.size(), bytes.size());
    EXPECT_EQ(text.substr(0, 6), ".. A~.");
    EXPECT_EQ(text.substr(6), std::string(128, '.'));
    EXPECT_EQ(FormatCharRow({}), "");
}

}  // namespace
}  // namespace wirelark
