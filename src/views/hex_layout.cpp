// Geometry of the hex dump and the texts of its rows.
#include "views/hex_layout.h"

#include <algorithm>

namespace wirelark {

CHexLayout::CHexLayout(const CHexLayoutInput& input)
    : m_cellWidth(std::max(input.cellWidth, 1)),
      m_lineHeight(std::max(input.lineHeight, 1)),
      m_length(input.length) {
    m_textArea = {0, 0, std::max(input.clientWidth, 0), std::max(input.clientHeight, 0)};
    if (input.scrolling) {
        m_textArea.left += kInset;
        m_textArea.top += kInset;
        m_textArea.right = std::max(m_textArea.right - kInset, m_textArea.left);
        m_textArea.bottom = std::max(m_textArea.bottom - kInset, m_textArea.top);
    }
    m_visibleRows = static_cast<std::uint32_t>(m_textArea.Height() / m_lineHeight);

    m_offsetWidth = m_cellWidth * kOffsetDigits + kColumnGap;
    const std::int64_t space =
        static_cast<std::int64_t>(m_textArea.Width()) - m_offsetWidth - kColumnGap;
    std::int64_t bytesPerRow = 1;
    if (space >= 0) {
        const std::int64_t byteWidth = 4 * static_cast<std::int64_t>(m_cellWidth);
        // The last byte of a row needs its two digits and its character but no separating blank.
        bytesPerRow = space / byteWidth + (space % byteWidth >= 3 * m_cellWidth ? 1 : 0);
    }
    m_bytesPerRow = static_cast<std::uint32_t>(std::max<std::int64_t>(bytesPerRow, 1));
    m_hexWidth = static_cast<int>(m_cellWidth * (3 * static_cast<std::int64_t>(m_bytesPerRow) - 1) +
                                  kColumnGap);
    m_charWidth =
        static_cast<int>(m_cellWidth * static_cast<std::int64_t>(m_bytesPerRow) + kColumnGap);

    m_rows = (m_length + m_bytesPerRow - 1) / m_bytesPerRow;
    m_greatestTopRow =
        m_rows > m_visibleRows ? static_cast<std::uint32_t>(m_rows - m_visibleRows) : 0;
    m_topRow = std::min(input.topRow, m_greatestTopRow);
}

CHexRect CHexLayout::OffsetColumnRect() const {
    const int left = m_textArea.left + OffsetColumnLeft();
    return {left, m_textArea.top, left + m_offsetWidth - kColumnGap, m_textArea.bottom};
}

CHexRect CHexLayout::HexColumnRect() const {
    const int left = m_textArea.left + HexColumnLeft();
    return {left, m_textArea.top, left + m_hexWidth - kColumnGap, m_textArea.bottom};
}

CHexRect CHexLayout::CharColumnRect() const {
    const int left = m_textArea.left + CharColumnLeft();
    return {left, m_textArea.top, left + m_charWidth - kColumnGap, m_textArea.bottom};
}

CHexRect CHexLayout::RowRect(const CHexRect& column, std::uint32_t index) const {
    const int top = m_textArea.top + static_cast<int>(index) * m_lineHeight;
    return {column.left, top, column.right, top + m_lineHeight};
}

std::uint64_t CHexLayout::FirstByteShown() const {
    return static_cast<std::uint64_t>(m_topRow) * m_bytesPerRow;
}

std::int64_t CHexLayout::LastByteShown() const {
    const auto first = static_cast<std::int64_t>(FirstByteShown());
    const std::int64_t screenEnd =
        first + static_cast<std::int64_t>(m_visibleRows) * m_bytesPerRow - 1;
    return std::min(screenEnd, static_cast<std::int64_t>(m_length) - 1);
}

std::uint32_t CHexLayout::RowsDrawn() const {
    const std::int64_t count = LastByteShown() - static_cast<std::int64_t>(FirstByteShown()) + 1;
    if (count <= 0) {
        return 0;
    }
    return static_cast<std::uint32_t>((count + m_bytesPerRow - 1) / m_bytesPerRow);
}

std::uint64_t CHexLayout::ScrollMaximum() const {
    return static_cast<std::uint64_t>(m_greatestTopRow) + m_visibleRows - 1;
}

std::uint32_t CHexLayout::ClampTopRow(std::uint64_t requested) const {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(requested, m_greatestTopRow));
}

std::vector<CHexPoint> CHexLayout::HighlightOutline(int first, int last) const {
    std::vector<CHexPoint> points;
    if (first == -1 || last == -1 || first > last) {
        return points;
    }
    const CHexRect row = RowRect(HexColumnRect(), 0);
    const std::int64_t left = row.left;
    const std::int64_t top = row.top;
    const std::int64_t right = row.right;
    const std::int64_t c = m_cellWidth;
    const std::int64_t h = m_lineHeight;
    const std::int64_t b = m_bytesPerRow;
    const auto shown = static_cast<std::int64_t>(FirstByteShown());

    const std::int64_t start = first - shown;
    const std::int64_t end = static_cast<std::int64_t>(last) - shown + 1;  // exclusive
    if (end <= 0 || start >= static_cast<std::int64_t>(m_visibleRows) * b) {
        return points;
    }
    // Signed division truncating toward zero, remainders with the dividend's sign.
    std::int64_t startRow = start / b;
    std::int64_t startCol = start % b;
    std::int64_t endRow = end / b;
    std::int64_t endCol = end % b;
    if (endRow == startRow + 1 && endCol == 0) {
        endRow = startRow;
        endCol = b;
    }

    if (startRow < -1) {
        points.push_back({left - 2, top - 1});
    } else {
        if (startCol < 0 && startRow == 0) {
            startRow = -1;
            startCol += b;
        }
        startCol = std::max<std::int64_t>(startCol, 0);
        const std::int64_t x = left + 3 * c * startCol - 2;
        points.push_back({x, top + (startRow + 1) * h});
        points.push_back({x, top + startRow * h});
    }
    const std::int64_t endX = left + (3 * endCol - 1) * c + 2;
    const std::int64_t endTop = top + endRow * h;
    if (startRow == endRow) {
        points.push_back({endX, endTop});
        points.push_back({endX, endTop + h});
        return points;
    }
    const std::int64_t firstY = points.front().y;
    points.push_back({right + 1, points.back().y});
    points.push_back({right + 1, endTop});
    if (endCol > 0) {
        points.push_back({endX, endTop});
        points.push_back({endX, endTop + h});
    }
    points.push_back({left - 2, points.back().y});
    points.push_back({left - 2, firstY});
    return points;
}

std::string FormatOffsetText(std::uint64_t offset) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[offset & 0xF]);
        offset >>= 4;
    } while (offset != 0);
    if (text.size() < CHexLayout::kOffsetDigits) {
        text.insert(0, CHexLayout::kOffsetDigits - text.size(), '0');
    }
    return text;
}

std::string FormatHexRow(std::span<const std::uint8_t> bytes, std::uint32_t bytesPerRow) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(3 * static_cast<std::size_t>(std::max<std::uint32_t>(bytesPerRow, 1)) - 1,
                     ' ');
    const std::size_t count = std::min<std::size_t>(bytes.size(), bytesPerRow);
    for (std::size_t j = 0; j < count; ++j) {
        text[3 * j] = kDigits[bytes[j] >> 4];
        text[3 * j + 1] = kDigits[bytes[j] & 0xF];
    }
    return text;
}

std::string FormatCharRow(std::span<const std::uint8_t> bytes) {
    std::string text(bytes.size(), '.');
    for (std::size_t j = 0; j < bytes.size(); ++j) {
        if (bytes[j] >= 0x20 && bytes[j] <= 0x7E) {
            text[j] = static_cast<char>(bytes[j]);
        }
    }
    return text;
}

}  // namespace wirelark
