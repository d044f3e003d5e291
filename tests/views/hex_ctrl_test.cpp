// The hex dump control on the offscreen platform: its data, highlight and top row, its scroll
// bar, and the pixels it paints where its layout says.
#include "views/hex_ctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "support/frame_builder.h"
#include "toolkit/profile.h"
#include "views/packet_output_bar.h"

namespace wirelark {
namespace {

const QColor kBackground(222, 219, 189);
const QColor kHexFill(175, 170, 160);

// Whether some pixel in rect is within 64 of the colour in every channel, since glyph edges are
// smoothed.
bool AnyPixel(const QImage& image, const CHexRect& rect, const QColor& color) {
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            const QColor p = image.pixelColor(x, y);
            if (std::max({std::abs(p.red() - color.red()), std::abs(p.green() - color.green()),
                          std::abs(p.blue() - color.blue())}) < 64) {
                return true;
            }
        }
    }
    return false;
}

class HexCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }

    // Resizes the control until its client area (without the scroll bar) holds `bytesPerRow`
    // bytes per row and 10 whole rows.
    static void SizeClient(CHexCtrl& hex, int bytesPerRow = 16) {
        const CHexLayout layout = hex.CurrentLayout();
        const int c = layout.CellWidth();
        const QSize client((4 * c + 5) + 5 + (bytesPerRow - 1) * 4 * c + 3 * c + 10,
                           10 * layout.LineHeight() + 10);
        hex.show();
        for (int attempt = 0; attempt < 6; ++attempt) {
            QApplication::processEvents();
            if (hex.viewport()->size() == client) {
                return;
            }
            hex.resize(hex.size() + client - hex.viewport()->size());
        }
        ASSERT_EQ(hex.viewport()->size(), client);
    }

    static QImage Grab(CHexCtrl& hex) {
        QApplication::processEvents();
        return hex.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QTemporaryDir m_dir;
};

TEST_F(HexCtrlTest, SetDataCopiesTheBytesAndClearKeepsTheHighlightButShowsOnlyTheBackground) {
    CProfile::WriteProfileInt("Color", "OutputBk", 0x00112233);
    CHexCtrl hex;
    CProfile::WriteProfileInt("Color", "OutputBk", 0x00445566);  // read at construction only
    hex.SetData(std::vector<std::uint8_t>{0xFF, 0x41, 0x00});    // gone once the call is done
    EXPECT_EQ(std::vector<std::uint8_t>(hex.Data().begin(), hex.Data().end()),
              (std::vector<std::uint8_t>{0xFF, 0x41, 0x00}));
    SizeClient(hex);
    hex.SetHighlight(14, 33);
    hex.Clear();
    EXPECT_TRUE(hex.Data().empty());
    EXPECT_EQ(std::make_pair(hex.HighlightFirst(), hex.HighlightLast()), std::make_pair(14, 33));
    EXPECT_EQ(hex.CurrentLayout().RowsDrawn(), 0u);
    // The middle lies in the hex column, which is filled whenever there are bytes.
    EXPECT_EQ(Grab(hex).pixelColor(hex.viewport()->width() / 2, hex.viewport()->height() / 2),
              QColor(0x33, 0x22, 0x11));
}

TEST_F(HexCtrlTest, ScrollBarCoversAllRowsMovesByLinePageAndThumbAndANewPacketKeepsThePlace) {
    CHexCtrl hex;
    hex.SetData(std::vector<std::uint8_t>(1514));
    SizeClient(hex);
    QScrollBar* bar = hex.verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    // Qt's range ends at the last top row; with the page it spans rows 0 to 94.
    EXPECT_EQ(bar->maximum(), 85);
    EXPECT_EQ(bar->pageStep(), 10);

    const std::pair<QAbstractSlider::SliderAction, std::uint32_t> steps[] = {
        {QAbstractSlider::SliderSingleStepSub, 0},  {QAbstractSlider::SliderSingleStepAdd, 1},
        {QAbstractSlider::SliderPageStepAdd, 11},   {QAbstractSlider::SliderPageStepSub, 1},
        {QAbstractSlider::SliderPageStepSub, 0},    {QAbstractSlider::SliderToMaximum, 85},
        {QAbstractSlider::SliderSingleStepAdd, 85}, {QAbstractSlider::SliderPageStepAdd, 85},
    };
    for (const auto& [action, topRow] : steps) {
        bar->triggerAction(action);
        EXPECT_EQ(hex.TopRow(), topRow) << "action " << action;
    }
    bar->setSliderPosition(42);  // dragging the thumb
    EXPECT_EQ(hex.TopRow(), 42u);
    EXPECT_EQ(hex.CurrentLayout().FirstByteShown(), 42u * 16);

    // Empty data changes nothing; a long packet after a long one opens at the same place, but
    // without the highlight.
    hex.SetHighlight(14, 33);
    hex.SetData({});
    EXPECT_EQ(hex.Data().size(), 1514u);
    EXPECT_EQ(hex.HighlightFirst(), 14);
    hex.SetData(std::vector<std::uint8_t>(1500));
    EXPECT_EQ(hex.TopRow(), 42u);
    EXPECT_EQ(std::make_pair(hex.HighlightFirst(), hex.HighlightLast()), std::make_pair(-1, -1));

    // Twice as wide: 32 bytes per row, 47 rows, so the top row can be 37 at most.
    SizeClient(hex, 32);
    EXPECT_EQ(hex.TopRow(), 37u);
    EXPECT_EQ(bar->maximum(), 37);
    hex.SetData(std::vector<std::uint8_t>(60));  // a short packet needs no scroll bar
    QApplication::processEvents();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(hex.TopRow(), 0u);
}

TEST_F(HexCtrlTest, WithoutScrollingStyleTheDumpNeverMoves) {
    CHexCtrl hex(nullptr, false);
    hex.SetData(std::vector<std::uint8_t>(1514));
    hex.resize(400, 100);
    hex.show();
    QApplication::processEvents();
    EXPECT_FALSE(hex.verticalScrollBar()->isVisible());
    EXPECT_EQ(hex.CurrentLayout().TextArea(), (CHexRect{0, 0, 400, 100}));
    hex.verticalScrollBar()->setRange(0, 50);
    hex.verticalScrollBar()->setValue(10);
    EXPECT_EQ(hex.TopRow(), 0u);
}

TEST_F(HexCtrlTest, PaintsColumnsAndHighlightWhereTheLayoutSaysAndNothingForAnInvertedRange) {
    CHexCtrl hex;
    hex.SetData(test::CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build());
    SizeClient(hex);
    hex.SetHighlight(14, 33);
    const QImage image = Grab(hex);
    const CHexLayout layout = hex.CurrentLayout();
    const CHexRect offset = layout.OffsetColumnRect();
    const CHexRect column = layout.HexColumnRect();
    const CHexRect chars = layout.CharColumnRect();
    const int h = layout.LineHeight();
    const int c = layout.CellWidth();
    const int between = column.left + 2 * c + c / 2;
    const auto middleOf = [&](int row) { return column.top + row * h + h / 2; };
    const struct {
        const char* what;
        int x, y;
        QColor color;
    } pixels[] = {
        {"the inset around the text", 1, 1, kBackground},
        {"offset column", offset.left, offset.bottom - 1, Qt::black},
        {"character column", chars.right - 1, chars.bottom - 1, Qt::black},
        {"hex column below the rows drawn", column.left + 1, column.bottom - 1, kHexFill},
        {"between bytes 0 and 1 of the last row", between, middleOf(3), kHexFill},
        // Row 1 is outlined over its whole width: red edge 2 pixels left of the digits, yellow
        // inside, including the blank between two bytes.
        {"row 1's left edge", column.left - 2, middleOf(1), Qt::red},
        {"row 1 between two bytes", between, middleOf(1), Qt::yellow},
        {"row 1's right edge", column.right + 1, middleOf(1), Qt::red},
        {"row 0 before byte 14", between, middleOf(0), kHexFill},
        {"row 2 after byte 33", column.left + 8 * c + c / 2, middleOf(2), kHexFill},
    };
    for (const auto& p : pixels) {
        EXPECT_EQ(image.pixelColor(p.x, p.y), p.color) << p.what;
    }
    // Digits lie on top: some black pixel inside row 1's yellow, some green in the characters,
    // some yellow in the offsets, of which only 4 rows show 60 bytes.
    EXPECT_TRUE(AnyPixel(image, layout.RowRect(column, 1), Qt::black));
    EXPECT_TRUE(AnyPixel(image, layout.RowRect(chars, 0), Qt::green));
    EXPECT_TRUE(AnyPixel(image, layout.RowRect(offset, 3), Qt::yellow));
    EXPECT_FALSE(AnyPixel(image, layout.RowRect(offset, 4), Qt::yellow));

    // An inverted range is kept as given but outlines nothing.
    hex.SetHighlight(33, 14);
    EXPECT_EQ(std::make_pair(hex.HighlightFirst(), hex.HighlightLast()), std::make_pair(33, 14));
    EXPECT_FALSE(AnyPixel(Grab(hex), {column.left - 2, column.top, column.right + 2, column.bottom},
                          Qt::yellow));
}

TEST_F(HexCtrlTest, HostAndOutputPageFillTheirArea) {
    CPacketOutputBar bar;
    for (const QSize size : {QSize(500, 180), QSize(320, 90)}) {
        bar.resize(size);
        bar.show();
        QApplication::processEvents();
        EXPECT_EQ(bar.HexCtrl().geometry(), QRect(QPoint(0, 0), size));
    }
}

}  // namespace
}  // namespace wirelark
