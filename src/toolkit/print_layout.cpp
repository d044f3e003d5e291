// Page geometry of a printed list.
#include "toolkit/print_layout.h"

#include <algorithm>
#include <cmath>

namespace wirelark {
namespace {

constexpr int kBarHeight = 5;
constexpr int kCellInset = 5;  // on-screen pixels between a column's edge and its text

}  // namespace

CPrintLayout::CPrintLayout(const PrintMeasures& m)
    : m_headerFontHeight(std::max(m.headerFontHeight, 0)),
      m_footerFontHeight(std::max(m.footerFontHeight, 0)),
      m_rowFontHeight(std::max(m.rowFontHeight, 0)),
      m_rowCount(std::max(m.rowCount, 0)) {
    m_page = {0, 0, std::max(m.deviceWidth, 0), std::max(m.deviceHeight, 0)};
    m_printable = {m_page.left + m.margins.left, m_page.top + m.margins.top,
                   m_page.right - m.margins.right, m_page.bottom - m.margins.bottom};
    m_header = {m_printable.left, m_printable.top, m_printable.right,
                m_printable.top + m.headerLines * m_headerFontHeight};
    m_footer = {m_printable.left, m_printable.bottom - m.footerLines * m_footerFontHeight,
                m_printable.right, m_printable.bottom};
    m_body = {m_printable.left, m_header.bottom, m_printable.right, m_footer.top};

    // A font without a width on the screen would make every column infinitely wide.
    const double fontScale =
        m.screenCharWidth > 0 ? static_cast<double>(m.rowFontWidth) / m.screenCharWidth : 1.0;
    m_scale = fontScale;
    // Columns that would run past the body are narrowed, all alike, so that none is cut off.
    double screenSum = 0.0;
    double pageSum = 0.0;
    for (const int screenWidth : m.columnWidths) {
        screenSum += std::max(screenWidth, 0);
        pageSum += std::floor(std::max(screenWidth, 0) * fontScale);
    }
    const int bodyWidth = std::max(m_body.Width(), 0);
    if (bodyWidth > 0 && pageSum > bodyWidth) {
        m_scale = bodyWidth / screenSum;
        m_fitFactor = m_scale / fontScale;
    }

    // The first line of the body holds the headings.
    if (m_rowFontHeight > 0) {
        m_rowsPerPage = std::max((m_body.Height() - m_rowFontHeight) / m_rowFontHeight, 0);
    }
    if (m_rowCount == 0) {
        m_pageCount = 0;
    } else if (m_rowsPerPage == 0) {
        m_pageCount = 1;
    } else {
        m_pageCount = (m_rowCount + m_rowsPerPage - 1) / m_rowsPerPage;
    }

    // No column is wider than the body, which also keeps the sums within range.
    int sum = 0;
    for (const int screenWidth : m.columnWidths) {
        const int pageWidth = static_cast<int>(
            std::min(std::max(screenWidth, 0) * m_scale, static_cast<double>(bodyWidth)));
        m_columnLefts.push_back(sum);
        m_columnWidths.push_back(pageWidth);
        sum += pageWidth;
    }
}

PrintRowRange CPrintLayout::RowsOfPage(int page) const {
    if (page < 1 || page > m_pageCount || m_rowsPerPage == 0) {
        return {};
    }
    const int first = m_rowsPerPage * (page - 1);
    return {first, std::min(m_rowCount, first + m_rowsPerPage)};
}

PrintRect CPrintLayout::HeaderBar() const {
    const int top = m_header.top + m_headerFontHeight * 3 / 2;
    return {m_header.left, top, m_header.right, top + kBarHeight};
}

PrintRect CPrintLayout::FooterBar() const {
    const int top = m_footer.top + m_footerFontHeight / 2;
    return {m_footer.left, top, m_footer.right, top + kBarHeight};
}

PrintRect CPrintLayout::HeaderTextRect() const {
    return {m_header.left, m_header.top, m_header.right, m_header.top + m_headerFontHeight};
}

PrintRect CPrintLayout::FooterTextRect() const {
    return {m_footer.left, m_footer.bottom - m_footerFontHeight, m_footer.right, m_footer.bottom};
}

PrintRect CPrintLayout::ColumnSpan(int position, int top) const {
    if (position < 0 || position >= ColumnCount()) {
        return {};
    }
    const auto index = static_cast<std::size_t>(position);
    const int start = m_body.left + m_columnLefts[index];
    const int left = start + static_cast<int>(m_scale * kCellInset);
    const int right = std::min(m_body.right, start + m_columnWidths[index]);
    if (left >= right) {
        return {};
    }
    return {left, top, right, top + m_rowFontHeight};
}

PrintRect CPrintLayout::HeadingCell(int position) const {
    return ColumnSpan(position, m_body.top);
}

PrintRect CPrintLayout::RowCell(int row, int position) const {
    if (row < 0 || row >= m_rowCount || m_rowsPerPage == 0) {
        return {};
    }
    return ColumnSpan(position, m_body.top + m_rowFontHeight * (row % m_rowsPerPage + 1));
}

}  // namespace wirelark
