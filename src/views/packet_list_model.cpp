// Row texts for the packet list, formatted on demand from the stored packets.
#include "views/packet_list_model.h"

#include "store/wirelark_doc.h"
#include "views/image_strip.h"

namespace wirelark {

CPacketListModel::CPacketListModel(const CWirelarkDoc& doc, QObject* parent)
    : QAbstractTableModel(parent),
      m_doc(doc),
      m_rowImage(CImageStrip::ListImage(CImageStrip::kPacketImage)) {}

int CPacketListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int CPacketListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

const CPacketRow& CPacketListModel::RowTexts(int row) const {
    if (row != m_cachedRow) {
        const CPacketObj& packet = m_doc.GetPacketList()[static_cast<std::size_t>(row)];
        if (const auto bytes = m_doc.GetPacketBytes(packet, m_frameBuffer)) {
            FormatPacketRow(packet.GetNumber(), packet.GetTimeText(), packet.GetLength(), *bytes,
                            m_cachedTexts);
        } else {
            // Bytes its file has lost: what the document still knows for certain.
            FormatPacketRow(packet.GetNumber(), {}, packet.GetLength(), {}, m_cachedTexts);
        }
        m_cachedRow = row;
    }
    return m_cachedTexts;
}

QVariant CPacketListModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    // The document can be emptied (File New) a moment before the rows are rebuilt.
    if (!index.isValid() || row < 0 || row >= m_rows ||
        static_cast<std::size_t>(row) >= m_doc.GetPacketList().size()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(RowTexts(row)[index.column()]);
        case Qt::DecorationRole:
            return index.column() == kColumnId ? QVariant(m_rowImage) : QVariant();
        case Qt::TextAlignmentRole:
            return static_cast<int>(
                (index.column() == kColumnId ? Qt::AlignLeft : Qt::AlignHCenter) |
                Qt::AlignVCenter);
        case Qt::BackgroundRole:
            return m_background;
        case Qt::ForegroundRole:
            return m_text;
        default:
            return {};
    }
}

QVariant CPacketListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(kTitles[static_cast<std::size_t>(section)]);
    }
    if (role == Qt::TextAlignmentRole) {
        return static_cast<int>((section == kColumnId ? Qt::AlignLeft : Qt::AlignHCenter) |
                                Qt::AlignVCenter);
    }
    return {};
}

void CPacketListModel::RefillRows() {
    beginResetModel();
    m_rows = static_cast<int>(m_doc.GetPacketList().size());
    m_cachedRow = -1;
    endResetModel();
}

void CPacketListModel::PacketsAppended() {
    const int total = static_cast<int>(m_doc.GetPacketList().size());
    if (total < m_rows) {
        RefillRows();  // emptied behind our back: never show rows that are gone
        return;
    }
    if (total > m_rows) {
        beginInsertRows({}, m_rows, total - 1);
        m_rows = total;
        endInsertRows();
    }
}

void CPacketListModel::SetColors(const QColor& background, const QColor& text) {
    m_background = background;
    m_text = text;
    if (m_rows > 0) {
        emit dataChanged(index(0, 0), index(m_rows - 1, kColumnCount - 1),
                         {Qt::BackgroundRole, Qt::ForegroundRole});
    }
}

}  // namespace wirelark
