// Page geometry of a printed list: margins, header and footer bands, rows per page, page count
// and the cell of every heading and row, all in device pixels and free of any painting.
#pragma once

#include <vector>

#include "toolkit/pixel_rect.h"

namespace wirelark {

using PrintRect = CPixelRect;

struct PrintMargins {
    int left = 200;
    int top = 150;
    int right = 200;
    int bottom = 150;
};

// What the layout needs to know of the device, the fonts and the list.
struct PrintMeasures {
    int deviceWidth = 0;
    int deviceHeight = 0;
    int headerFontHeight = 0;
    int footerFontHeight = 0;
    int rowFontHeight = 0;
    int rowFontWidth = 0;     // average character width of the row font on the device
    int screenCharWidth = 0;  // average character width of the list's font on the screen
    int rowCount = 0;
    std::vector<int> columnWidths;  // on-screen widths, in display order
    PrintMargins margins;
    int headerLines = 2;
    int footerLines = 2;
};

// First row and one past the last row of a page, 0-based across the whole list.
struct PrintRowRange {
    int first = 0;
    int end = 0;
};

class CPrintLayout {
public:
    CPrintLayout() = default;
    explicit CPrintLayout(const PrintMeasures& measures);

    const PrintRect& PageRect() const { return m_page; }
    const PrintRect& PrintableRect() const { return m_printable; }
    const PrintRect& HeaderRect() const { return m_header; }
    const PrintRect& FooterRect() const { return m_footer; }
    const PrintRect& BodyRect() const { return m_body; }
    // Page pixels per on-screen pixel of a column width.
    double Scale() const { return m_scale; }
    // How much the list's fonts must shrink for its columns to fit across the body at the same
    // proportions: 1 when they fit as they are.
    double FitFactor() const { return m_fitFactor; }
    int RowCount() const { return m_rowCount; }
    int ColumnCount() const { return static_cast<int>(m_columnLefts.size()); }
    // 0 when not even one row fits below the headings.
    int RowsPerPage() const { return m_rowsPerPage; }
    // 0 for an empty list; a list on pages too small for a row still gets one page, which
    // carries the header, the headings and the footer.
    int PageCount() const { return m_pageCount; }

    // Page is 1-based; a page out of range has no rows.
    PrintRowRange RowsOfPage(int page) const;
    // The solid bars under the header texts and over the page number.
    PrintRect HeaderBar() const;
    PrintRect FooterBar() const;
    // Where the two header texts (left- and right-aligned) and the page number go.
    PrintRect HeaderTextRect() const;
    PrintRect FooterTextRect() const;
    // Empty for a display position out of range or too narrow for the inset.
    PrintRect HeadingCell(int position) const;
    PrintRect RowCell(int row, int position) const;

private:
    PrintRect ColumnSpan(int position, int top) const;

    PrintRect m_page;
    PrintRect m_printable;
    PrintRect m_header;
    PrintRect m_footer;
    PrintRect m_body;
    double m_scale = 0.0;
    double m_fitFactor = 1.0;
    int m_headerFontHeight = 0;
    int m_footerFontHeight = 0;
    int m_rowFontHeight = 0;
    int m_rowCount = 0;
    int m_rowsPerPage = 0;
    int m_pageCount = 0;
    std::vector<int> m_columnLefts;   // offsets from the body's left edge, before the inset
    std::vector<int> m_columnWidths;  // page widths
};

}  // namespace wirelark
