// The hex dump control. Every paint lays the dump out anew from the control's size and formats
// only the rows on screen.
#include "views/hex_ctrl.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "toolkit/profile.h"
#include "views/setup_color_page.h"

namespace wirelark {
namespace {

constexpr int kDefaultBackground = 0xBDDBDE;
const QColor kOffsetText(0xFF, 0xFF, 0x00);
const QColor kOffsetFill(0x00, 0x00, 0x00);
const QColor kHexFill(175, 170, 160);
const QColor kHexText(0x00, 0x00, 0x00);
const QColor kOutlineFill(0xFF, 0xFF, 0x00);
const QColor kOutlinePen(0xFF, 0x00, 0x00);
const QColor kCharFill(0x00, 0x00, 0x00);
const QColor kCharText(0x00, 0xFF, 0x00);

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;

QRect ToQRect(const CHexRect& rect) {
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

// Points of an outline reaching far beyond the control are pulled in to just outside it; the
// outline's edges are all horizontal or vertical, so the part on screen keeps its shape.
QPolygon ToPolygon(const std::vector<CHexPoint>& points, const QSize& client) {
    constexpr std::int64_t kMargin = 16;
    QPolygon polygon;
    for (const CHexPoint& point : points) {
        const auto x = std::clamp<std::int64_t>(point.x, -kMargin, client.width() + kMargin);
        const auto y = std::clamp<std::int64_t>(point.y, -kMargin, client.height() + kMargin);
        polygon << QPoint(static_cast<int>(x), static_cast<int>(y));
    }
    return polygon;
}

}  // namespace

CHexCtrl::CHexCtrl(QWidget* parent, bool bScrolling)
    : QAbstractScrollArea(parent),
      m_font(QFontDatabase::systemFont(QFontDatabase::FixedFont)),
      m_bScrolling(bScrolling),
      m_background(
          CProfile::GetProfileColor(QString::fromLatin1(kHexBackgroundEntry), kDefaultBackground)) {
    // Fixed-pitch fonts may advance by a fraction of a pixel; spacing each character out to a
    // whole cell keeps every digit on the cell grid that the layout and the outline use.
    const QFontMetricsF metrics(m_font);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char('0'));
    m_cellWidth = std::max(static_cast<int>(std::ceil(advance - 0.01)), 1);
    m_font.setLetterSpacing(QFont::AbsoluteSpacing, m_cellWidth - advance);
    m_lineHeight = std::max(QFontMetrics(m_font).height(), 1);
    setObjectName(QStringLiteral("CHexCtrl"));
    setFrameShape(QFrame::NoFrame);
    // The dump takes no keyboard input; it moves only with its scroll bar.
    setFocusPolicy(Qt::NoFocus);
    setFont(m_font);
    viewport()->setFont(m_font);
    viewport()->setCursor(Qt::ArrowCursor);
    // The paint covers every pixel, so nothing is erased first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(m_bScrolling ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setSingleStep(1);
}

CHexCtrl::~CHexCtrl() = default;

void CHexCtrl::SetData(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    m_data.assign(bytes.begin(), bytes.end());
    m_highlightFirst = -1;
    m_highlightLast = -1;
    UpdateScrollBars();
    viewport()->update();
}

void CHexCtrl::Clear() {
    std::vector<std::uint8_t>().swap(m_data);
    UpdateScrollBars();
    viewport()->update();
}

void CHexCtrl::SetHighlight(int first, int last) {
    m_highlightFirst = first;
    m_highlightLast = last;
    viewport()->update();
}

CHexLayout CHexCtrl::CurrentLayout() const {
    CHexLayoutInput input;
    input.clientWidth = viewport()->width();
    input.clientHeight = viewport()->height();
    input.cellWidth = m_cellWidth;
    input.lineHeight = m_lineHeight;
    input.scrolling = m_bScrolling;
    input.length = m_data.size();
    input.topRow = m_topRow;
    return CHexLayout(input);
}

void CHexCtrl::paintEvent(QPaintEvent* /*event*/) {
    const CHexLayout layout = CurrentLayout();
    m_topRow = layout.TopRow();

    QPainter painter(viewport());
    painter.setFont(m_font);
    painter.fillRect(viewport()->rect(), m_background);
    if (!m_data.empty()) {
        PaintOffsetColumn(painter, layout);
        PaintHexColumn(painter, layout);
        PaintCharColumn(painter, layout);
    }

    if (m_bScrolling) {
        const QScrollBar* bar = verticalScrollBar();
        if (bar->maximum() != static_cast<int>(layout.GreatestTopRow()) ||
            bar->pageStep() != std::max(static_cast<int>(layout.VisibleRows()), 1) ||
            bar->value() != static_cast<int>(m_topRow)) {
            PostUpdateScrollBars();
        }
    }
}

// Calls `paintRow` with each row drawn and the bytes it shows; only these rows are formatted.
template <typename PaintRow>
void CHexCtrl::ForEachRowShown(const CHexLayout& layout, PaintRow paintRow) const {
    const std::span<const std::uint8_t> bytes(m_data);
    const std::uint64_t first = layout.FirstByteShown();
    const auto end = static_cast<std::uint64_t>(layout.LastByteShown() + 1);
    for (std::uint32_t row = 0; row < layout.RowsDrawn(); ++row) {
        const std::uint64_t rowFirst =
            first + static_cast<std::uint64_t>(row) * layout.BytesPerRow();
        const std::uint64_t count = std::min<std::uint64_t>(layout.BytesPerRow(), end - rowFirst);
        paintRow(row, bytes.subspan(rowFirst, count));
    }
}

void CHexCtrl::PaintOffsetColumn(QPainter& painter, const CHexLayout& layout) const {
    const CHexRect column = layout.OffsetColumnRect();
    painter.fillRect(ToQRect(column), kOffsetFill);
    painter.setPen(kOffsetText);
    const std::uint64_t first = layout.FirstByteShown();
    for (std::uint32_t row = 0; row < layout.RowsDrawn(); ++row) {
        const std::uint64_t offset = first + static_cast<std::uint64_t>(row) * layout.BytesPerRow();
        painter.drawText(ToQRect(layout.RowRect(column, row)), kTextFlags,
                         QString::fromLatin1(FormatOffsetText(offset)));
    }
}

void CHexCtrl::PaintHexColumn(QPainter& painter, const CHexLayout& layout) const {
    const CHexRect column = layout.HexColumnRect();
    painter.fillRect(ToQRect(column), kHexFill);
    const std::vector<CHexPoint> outline =
        layout.HighlightOutline(m_highlightFirst, m_highlightLast);
    if (!outline.empty()) {
        painter.setPen(QPen(kOutlinePen, 1, Qt::SolidLine));
        painter.setBrush(kOutlineFill);
        painter.drawPolygon(ToPolygon(outline, viewport()->size()));
        painter.setBrush(Qt::NoBrush);
    }
    painter.setPen(kHexText);
    ForEachRowShown(layout, [&](std::uint32_t row, std::span<const std::uint8_t> bytes) {
        painter.drawText(ToQRect(layout.RowRect(column, row)), kTextFlags,
                         QString::fromLatin1(FormatHexRow(bytes, layout.BytesPerRow())));
    });
}

void CHexCtrl::PaintCharColumn(QPainter& painter, const CHexLayout& layout) const {
    const CHexRect column = layout.CharColumnRect();
    painter.fillRect(ToQRect(column), kCharFill);
    painter.setPen(kCharText);
    ForEachRowShown(layout, [&](std::uint32_t row, std::span<const std::uint8_t> bytes) {
        painter.drawText(ToQRect(layout.RowRect(column, row)), kTextFlags,
                         QString::fromLatin1(FormatCharRow(bytes)));
    });
}

void CHexCtrl::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CHexCtrl::scrollContentsBy(int /*dx*/, int /*dy*/) {
    if (!m_bScrolling || m_data.empty()) {
        return;
    }
    const std::uint32_t row =
        CurrentLayout().ClampTopRow(static_cast<std::uint64_t>(verticalScrollBar()->value()));
    if (row != m_topRow) {
        m_topRow = row;
        viewport()->update();
    }
}

void CHexCtrl::wheelEvent(QWheelEvent* event) {
    // The dump moves only with its scroll bar; the bar itself still takes the wheel.
    event->ignore();
}

void CHexCtrl::PostUpdateScrollBars() {
    if (m_bScrollUpdatePosted) {
        return;
    }
    m_bScrollUpdatePosted = true;
    QTimer::singleShot(0, this, [this] {
        m_bScrollUpdatePosted = false;
        UpdateScrollBars();
    });
}

void CHexCtrl::UpdateScrollBars() {
    if (!m_bScrolling) {
        return;
    }
    if (m_bUpdatingScrollBars) {
        // Showing or hiding the bar resizes the viewport from inside this function.
        PostUpdateScrollBars();
        return;
    }
    m_bUpdatingScrollBars = true;
    const CHexLayout layout = CurrentLayout();
    m_topRow = layout.TopRow();
    QScrollBar* bar = verticalScrollBar();
    const int topRow = static_cast<int>(m_topRow);
    bar->setPageStep(std::max(static_cast<int>(layout.VisibleRows()), 1));
    bar->setRange(0, static_cast<int>(layout.GreatestTopRow()));
    bar->setValue(topRow);
    m_topRow = static_cast<std::uint32_t>(topRow);
    m_bUpdatingScrollBars = false;
}

}  // namespace wirelark
