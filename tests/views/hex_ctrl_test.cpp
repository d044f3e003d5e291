// The hex dump control on the offscreen platform: its data, highlight and top row, its scroll
// bar, and the pixels it paints where its layout says.
#include "views/hex_ctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <vector>

#include "support/frame_builder.h"
#include "toolkit/profile.h"
#include "views/packet_output_bar.h"

namespace wirelark {
namespace {

// Whether some pixel in rect has the colour; glyph edges are smoothed, so a channel counts as
// full from 200 and as empty below 80.
bool AnyPixel(const QImage& image, const CHexRect& rect, const QColor& color) {
    const auto near = [](int channel, int wanted) {
        return wanted == 0 ? channel < 80 : channel >= 200;
    };
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (near(pixel.red(), color.red()) && near(pixel.green(), color.green()) &&
                near(pixel.blue(), color.blue())) {
                return true;
            }
        }
    }
    return false;
}

std::vector<std::uint8_t> Counting(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

class HexCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }

    // Resizes the control until its client area (without the scroll bar) has exactly this size.
    static void SizeClient(CHexCtrl& hex, QSize client) {
        hex.show();
        for (int attempt = 0; attempt < 6; ++attempt) {
            QApplication::processEvents();
            const QSize difference = client - hex.viewport()->size();
            if (difference.isNull()) {
                return;
            }
            hex.resize(hex.size() + difference);
        }
        QApplication::processEvents();
        ASSERT_EQ(hex.viewport()->size(), client);
    }

    // The client size that holds `bytesPerRow` bytes per row and `rows` whole rows.
    static QSize ClientFor(const CHexCtrl& hex, int bytesPerRow, int rows) {
        const CHexLayout layout = hex.CurrentLayout();
        const int c = layout.CellWidth();
        const int textWidth = (4 * c + 5) + 5 + (bytesPerRow - 1) * 4 * c + 3 * c;
        return {textWidth + 10, rows * layout.LineHeight() + 10};
    }

    static QImage Grab(CHexCtrl& hex) {
        QApplication::processEvents();
        return hex.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QTemporaryDir m_dir;
};

TEST_F(HexCtrlTest, BackgroundIsReadFromTheProfileOnceAtConstruction) {
    EXPECT_EQ(CHexCtrl().BackgroundColor(), QColor(222, 219, 189));
    CProfile::WriteProfileInt("Color", "OutputBk", 0x00112233);
    CHexCtrl hex;
    EXPECT_EQ(hex.BackgroundColor(), QColor(0x33, 0x22, 0x11));
    CProfile::WriteProfileInt("Color", "OutputBk", 0x00445566);
    hex.resize(200, 100);
    EXPECT_EQ(Grab(hex).pixelColor(190, 90), QColor(0x33, 0x22, 0x11));
}

TEST_F(HexCtrlTest, SetDataKeepsACopyAndDropsHighlightButNotTopRowAndEmptyDataChangesNothing) {
    CHexCtrl hex;
    hex.SetData(Counting(1514));
    SizeClient(hex, ClientFor(hex, 16, 10));
    hex.verticalScrollBar()->setValue(30);
    hex.SetHighlight(14, 33);
    hex.SetData({});
    EXPECT_EQ(hex.Data().size(), 1514u);
    EXPECT_EQ(hex.HighlightFirst(), 14);

    // A long packet after a long one opens at the same scroll position.
    hex.SetData(Counting(1500));
    EXPECT_EQ(hex.TopRow(), 30u);
    EXPECT_EQ(hex.HighlightFirst(), -1);
    EXPECT_EQ(hex.HighlightLast(), -1);

    hex.SetHighlight(0, 13);
    hex.SetData(std::vector<std::uint8_t>{0xFF, 0x41, 0x00});  // gone once the call is done
    EXPECT_EQ(std::vector<std::uint8_t>(hex.Data().begin(), hex.Data().end()),
              (std::vector<std::uint8_t>{0xFF, 0x41, 0x00}));
    EXPECT_EQ(hex.HighlightFirst(), -1);
    EXPECT_EQ(hex.HighlightLast(), -1);
    EXPECT_EQ(hex.TopRow(), 0u);  // one row needs no scrolling
}

TEST_F(HexCtrlTest, ClearKeepsHighlightAndPaintsOnlyTheBackground) {
    CHexCtrl hex;
    hex.SetData(Counting(1514));
    SizeClient(hex, ClientFor(hex, 16, 10));
    hex.SetHighlight(14, 33);
    hex.Clear();
    EXPECT_TRUE(hex.Data().empty());
    EXPECT_EQ(hex.HighlightFirst(), 14);
    EXPECT_EQ(hex.HighlightLast(), 33);
    EXPECT_EQ(hex.CurrentLayout().RowsDrawn(), 0u);
    // With nothing to show, the background covers the whole control.
    const QImage image = Grab(hex);
    EXPECT_EQ(image.pixelColor(2, 2), QColor(222, 219, 189));
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(222, 219, 189));
}

TEST_F(HexCtrlTest, ScrollBarCoversAllRowsAndMovesByLinePageAndThumb) {
    CHexCtrl hex;
    hex.SetData(Counting(1514));
    SizeClient(hex, ClientFor(hex, 16, 10));
    const CHexLayout layout = hex.CurrentLayout();
    ASSERT_EQ(layout.BytesPerRow(), 16u);
    ASSERT_EQ(layout.VisibleRows(), 10u);
    QScrollBar* bar = hex.verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    // Qt's range ends at the last top row; with the page it spans rows 0 to 94.
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 85);
    EXPECT_EQ(bar->pageStep(), 10);
    EXPECT_EQ(static_cast<std::uint64_t>(bar->maximum() + bar->pageStep() - 1),
              layout.ScrollMaximum());

    struct Step {
        QAbstractSlider::SliderAction action;
        std::uint32_t topRow;
    };
    const Step steps[] = {
        {QAbstractSlider::SliderSingleStepSub, 0},  {QAbstractSlider::SliderSingleStepAdd, 1},
        {QAbstractSlider::SliderPageStepAdd, 11},   {QAbstractSlider::SliderPageStepSub, 1},
        {QAbstractSlider::SliderPageStepSub, 0},    {QAbstractSlider::SliderToMaximum, 85},
        {QAbstractSlider::SliderSingleStepAdd, 85}, {QAbstractSlider::SliderPageStepAdd, 85},
    };
    for (const Step& step : steps) {
        bar->triggerAction(step.action);
        EXPECT_EQ(hex.TopRow(), step.topRow) << "action " << step.action;
    }
    bar->setSliderPosition(42);  // dragging the thumb
    EXPECT_EQ(hex.TopRow(), 42u);
    EXPECT_EQ(hex.CurrentLayout().FirstByteShown(), 42u * 16);
}

TEST_F(HexCtrlTest, ShortPacketHasNoScrollBarAndResizingClampsTheTopRow) {
    CHexCtrl hex;
    hex.SetData(Counting(60));
    SizeClient(hex, ClientFor(hex, 16, 10));
    EXPECT_FALSE(hex.verticalScrollBar()->isVisible());
    EXPECT_EQ(hex.CurrentLayout().Rows(), 4u);

    hex.SetData(Counting(1514));
    SizeClient(hex, ClientFor(hex, 16, 10));
    hex.verticalScrollBar()->setValue(85);
    ASSERT_EQ(hex.TopRow(), 85u);
    // Twice as wide: 32 bytes per row, 48 rows, so the top row can be 38 at most.
    SizeClient(hex, ClientFor(hex, 32, 10));
    EXPECT_EQ(hex.CurrentLayout().BytesPerRow(), 32u);
    EXPECT_EQ(hex.TopRow(), 38u);
    EXPECT_EQ(hex.verticalScrollBar()->maximum(), 38);
}

TEST_F(HexCtrlTest, WithoutScrollingStyleTheDumpNeverMoves) {
    CHexCtrl hex(nullptr, false);
    hex.SetData(Counting(1514));
    hex.resize(400, 100);
    hex.show();
    QApplication::processEvents();
    EXPECT_FALSE(hex.verticalScrollBar()->isVisible());
    EXPECT_EQ(hex.CurrentLayout().TextArea(), (CHexRect{0, 0, 400, 100}));
    hex.verticalScrollBar()->setRange(0, 50);
    hex.verticalScrollBar()->setValue(10);
    EXPECT_EQ(hex.TopRow(), 0u);
}

TEST_F(HexCtrlTest, PaintsColumnsAndHighlightWhereTheLayoutSays) {
    CHexCtrl hex;
    hex.SetData(test::CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build());
    SizeClient(hex, ClientFor(hex, 16, 10));
    hex.SetHighlight(14, 33);
    const QImage image = Grab(hex);
    const CHexLayout layout = hex.CurrentLayout();
    const CHexRect offset = layout.OffsetColumnRect();
    const CHexRect hexColumn = layout.HexColumnRect();
    const CHexRect chars = layout.CharColumnRect();
    const int h = layout.LineHeight();
    const int c = layout.CellWidth();
    const int middle = h / 2;

    EXPECT_EQ(image.pixelColor(1, 1), QColor(222, 219, 189));  // the inset around the text
    EXPECT_EQ(image.pixelColor(offset.left, offset.bottom - 1), Qt::black);
    EXPECT_EQ(image.pixelColor(chars.right - 1, chars.bottom - 1), Qt::black);
    // The hex column's fill below the rows drawn, and between byte 0 and 1 of the last row.
    EXPECT_EQ(image.pixelColor(hexColumn.left + 1, hexColumn.bottom - 1), QColor(175, 170, 160));
    EXPECT_EQ(image.pixelColor(hexColumn.left + 2 * c + c / 2, hexColumn.top + 3 * h + middle),
              QColor(175, 170, 160));
    // Row 1 is outlined over its whole width: red edge 2 pixels left of the digits, yellow
    // inside, including the blank between two bytes.
    const int row1 = hexColumn.top + h + middle;
    EXPECT_EQ(image.pixelColor(hexColumn.left - 2, row1), Qt::red);
    EXPECT_EQ(image.pixelColor(hexColumn.left - 1, row1), Qt::yellow);
    EXPECT_EQ(image.pixelColor(hexColumn.left + 2 * c + c / 2, row1), Qt::yellow);
    EXPECT_EQ(image.pixelColor(hexColumn.right + 1, row1), Qt::red);
    // Row 0 before byte 14 and row 2 after byte 33 are not.
    EXPECT_EQ(image.pixelColor(hexColumn.left + 2 * c + c / 2, hexColumn.top + middle),
              QColor(175, 170, 160));
    EXPECT_EQ(image.pixelColor(hexColumn.left + 8 * c + c / 2, hexColumn.top + 2 * h + middle),
              QColor(175, 170, 160));

    // Digits lie on top: some black pixel inside row 1's yellow, some green in the characters,
    // some yellow in the offsets.
    EXPECT_TRUE(AnyPixel(image, layout.RowRect(hexColumn, 1), Qt::black));
    EXPECT_TRUE(AnyPixel(image, layout.RowRect(chars, 0), Qt::green));
    EXPECT_TRUE(AnyPixel(image, layout.RowRect(offset, 3), Qt::yellow));
    EXPECT_FALSE(
        AnyPixel(image, layout.RowRect(offset, 4), Qt::yellow));  // only 4 rows of 60 bytes
}

TEST_F(HexCtrlTest, InvertedOrUnsetRangeIsStoredButDrawsNothing) {
    CHexCtrl hex;
    hex.SetData(Counting(60));
    SizeClient(hex, ClientFor(hex, 16, 10));
    const CHexRect column = hex.CurrentLayout().HexColumnRect();
    const auto yellowInHexColumn = [&] {
        return AnyPixel(Grab(hex), {column.left - 2, column.top, column.right + 2, column.bottom},
                        Qt::yellow);
    };
    hex.SetHighlight(0, 13);
    EXPECT_TRUE(yellowInHexColumn());
    hex.SetHighlight(33, 14);
    EXPECT_EQ(hex.HighlightFirst(), 33);
    EXPECT_EQ(hex.HighlightLast(), 14);
    EXPECT_FALSE(yellowInHexColumn());
    hex.SetHighlight(-1, 13);
    EXPECT_FALSE(yellowInHexColumn());
    // A range far outside the data is cut to what is on screen.
    hex.SetHighlight(-100000, 100000);
    EXPECT_TRUE(yellowInHexColumn());
}

TEST_F(HexCtrlTest, HostAndOutputPageFillTheirArea) {
    CPacketOutputBar bar;
    bar.resize(500, 180);
    bar.show();
    QApplication::processEvents();
    EXPECT_EQ(bar.HexCtrl().geometry(), QRect(0, 0, 500, 180));

    bar.resize(320, 90);
    QApplication::processEvents();
    EXPECT_EQ(bar.HexCtrl().geometry(), QRect(0, 0, 320, 90));
}

}  // namespace
}  // namespace wirelark
