// The hex dump control: a private copy of one packet's bytes drawn as offsets, hexadecimal
// values and characters, with an outlined byte range and vertical scrolling.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <cstdint>
#include <span>
#include <vector>

#include "views/hex_layout.h"

class QPainter;

namespace wirelark {

class CHexCtrl : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Without `bScrolling` the text area is the whole client area, no scroll bar is shown and
    // scrolling does not move the dump.
    explicit CHexCtrl(QWidget* parent = nullptr, bool bScrolling = true);
    ~CHexCtrl() override;

    // An empty frame changes nothing; otherwise the control keeps a copy of the bytes, drops the
    // highlight and repaints. The top row is kept.
    void SetData(std::span<const std::uint8_t> bytes);
    // Shows nothing; the highlight and the top row are kept.
    void Clear();
    // Stores the inclusive range as given and repaints; -1 at either end, or last before first,
    // outlines nothing.
    void SetHighlight(int first, int last);

    int HighlightFirst() const { return m_highlightFirst; }
    int HighlightLast() const { return m_highlightLast; }
    std::uint32_t TopRow() const { return m_topRow; }
    std::span<const std::uint8_t> Data() const { return m_data; }
    bool IsScrolling() const { return m_bScrolling; }
    QColor BackgroundColor() const { return m_background; }
    // The layout of the dump at the control's present size, font, data and top row.
    CHexLayout CurrentLayout() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void UpdateScrollBars();
    void PostUpdateScrollBars();
    void PaintOffsetColumn(QPainter& painter, const CHexLayout& layout) const;
    void PaintHexColumn(QPainter& painter, const CHexLayout& layout) const;
    void PaintCharColumn(QPainter& painter, const CHexLayout& layout) const;
    template <typename PaintRow>
    void ForEachRowShown(const CHexLayout& layout, PaintRow paintRow) const;

    QFont m_font;
    int m_cellWidth = 1;
    int m_lineHeight = 1;
    std::vector<std::uint8_t> m_data;
    std::uint32_t m_topRow = 0;
    int m_highlightFirst = -1;
    int m_highlightLast = -1;
    const bool m_bScrolling;
    const QColor m_background;
    bool m_bScrollUpdatePosted = false;
    bool m_bUpdatingScrollBars = false;
};

}  // namespace wirelark
