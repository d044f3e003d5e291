// Geometry of the hex dump as plain numbers: columns, bytes per row, visible rows, scrolling
// limits and the outline of a highlighted byte range. The hex control paints what this says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "toolkit/pixel_rect.h"

namespace wirelark {

using CHexRect = CPixelRect;

// 64-bit, since a range far outside the data puts outline points far outside the control.
struct CHexPoint {
    std::int64_t x = 0;
    std::int64_t y = 0;

    bool operator==(const CHexPoint&) const = default;
};

struct CHexLayoutInput {
    int clientWidth = 0;
    int clientHeight = 0;
    int cellWidth = 1;   // advance of "0" in the dump's font
    int lineHeight = 1;  // height of "0" in the dump's font
    bool scrolling = true;
    std::size_t length = 0;    // bytes shown
    std::uint32_t topRow = 0;  // requested first row on screen
};

class CHexLayout {
public:
    static constexpr int kInset = 5;         // text area inside the client, with scrolling only
    static constexpr int kColumnGap = 5;     // blank pixels after each column
    static constexpr int kOffsetDigits = 4;  // hexadecimal digits of the offset column

    CHexLayout() = default;
    explicit CHexLayout(const CHexLayoutInput& input);

    int CellWidth() const { return m_cellWidth; }
    int LineHeight() const { return m_lineHeight; }
    const CHexRect& TextArea() const { return m_textArea; }
    std::uint32_t VisibleRows() const { return m_visibleRows; }
    std::uint32_t BytesPerRow() const { return m_bytesPerRow; }
    std::uint64_t Rows() const { return m_rows; }
    std::uint32_t GreatestTopRow() const { return m_greatestTopRow; }
    // The requested top row, no greater than the greatest top row.
    std::uint32_t TopRow() const { return m_topRow; }

    int OffsetColumnLeft() const { return 0; }
    int OffsetColumnWidth() const { return m_offsetWidth; }
    int HexColumnLeft() const { return m_offsetWidth; }
    int HexColumnWidth() const { return m_hexWidth; }
    int CharColumnLeft() const { return m_offsetWidth + m_hexWidth; }
    int CharColumnWidth() const { return m_charWidth; }

    // Filled areas of the three columns: each column's width without its trailing gap, the
    // text area's height.
    CHexRect OffsetColumnRect() const;
    CHexRect HexColumnRect() const;
    CHexRect CharColumnRect() const;
    // Row `index` of the rows drawn (0 = the top row on screen) within a column.
    CHexRect RowRect(const CHexRect& column, std::uint32_t index) const;

    // Bytes drawn: from FirstByteShown through LastByteShown, in RowsDrawn rows; nothing when
    // no row fits wholly or there is no data.
    std::uint64_t FirstByteShown() const;
    std::int64_t LastByteShown() const;
    std::uint32_t RowsDrawn() const;

    // Vertical scroll bar: shown only when some rows lie below the screen; its range runs from 0
    // through ScrollMaximum with a page of VisibleRows, so that the thumb is proportional.
    bool ScrollBarShown() const { return m_greatestTopRow > 0; }
    std::uint64_t ScrollMaximum() const;
    std::uint32_t ClampTopRow(std::uint64_t requested) const;

    // The outline round bytes first..last (inclusive) in the hex column, up to 8 points, closed
    // back to the first. None when either end is -1, when the range is inverted, or when it
    // lies wholly above or below the visible rows.
    std::vector<CHexPoint> HighlightOutline(int first, int last) const;

private:
    int m_cellWidth = 1;
    int m_lineHeight = 1;
    CHexRect m_textArea;
    std::size_t m_length = 0;
    std::uint32_t m_visibleRows = 0;
    std::uint32_t m_bytesPerRow = 1;
    std::uint64_t m_rows = 0;
    std::uint32_t m_greatestTopRow = 0;
    std::uint32_t m_topRow = 0;
    int m_offsetWidth = 0;
    int m_hexWidth = 0;
    int m_charWidth = 0;
};

// Row texts of the three columns.
std::string FormatOffsetText(std::uint64_t offset);
// Two upper-case digits per byte at positions 3j and 3j + 1, blanks elsewhere, 3 x bytesPerRow
// - 1 characters whatever the number of bytes given.
std::string FormatHexRow(std::span<const std::uint8_t> bytes, std::uint32_t bytesPerRow);
// One character per byte: printable ASCII as itself, everything else as ".".
std::string FormatCharRow(std::span<const std::uint8_t> bytes);

}  // namespace wirelark
