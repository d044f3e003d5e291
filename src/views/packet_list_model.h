// The packet list's rows, read straight from the document: row r is the r-th stored packet, and
// its texts are formatted only when a view asks for them.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QPixmap>
#include <array>
#include <vector>

#include "decode/packet_row.h"

namespace wirelark {

class CWirelarkDoc;

class CPacketListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr const std::array<const char*, kColumnCount>& kTitles = kColumnTitles;

    explicit CPacketListModel(const CWirelarkDoc& doc, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // All rows anew from the document.
    void RefillRows();
    // Shows as rows the packets the document has gained at its end since the last call.
    void PacketsAppended();
    void SetColors(const QColor& background, const QColor& text);

private:
    const CPacketRow& RowTexts(int row) const;

    const CWirelarkDoc& m_doc;
    int m_rows = 0;  // the rows the views know of, which may lag behind the document
    QColor m_background = Qt::white;
    QColor m_text = Qt::black;
    QPixmap m_rowImage;
    // A view asks for each column of a row in turn: the row is formatted once for all eight.
    mutable int m_cachedRow = -1;
    mutable CPacketRow m_cachedTexts;
    mutable std::vector<std::uint8_t> m_frameBuffer;  // a row's bytes read from their file
};

}  // namespace wirelark
