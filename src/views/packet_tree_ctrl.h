// The packet explorer tree: one packet's decoded headers as nodes with icons, and the byte range
// of the node the user selects, reported for the hex dump to outline.
#pragma once

#include <QTreeWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "views/explorer_icons.h"

namespace wirelark {

// Answers the inclusive byte range of a tree line from its root, parent and own texts, as
// CWirelarkDoc::GetFieldByteRange does; false when the line has none.
using FieldRangeLookup = std::function<bool(std::string_view rootText, std::string_view parentText,
                                            std::string_view nodeText, int& first, int& last)>;

class CPacketTreeCtrl : public QTreeWidget {
    Q_OBJECT

public:
    static constexpr int kControlId = 133;

    explicit CPacketTreeCtrl(QWidget* parent = nullptr);

    // Without a lookup (no document) selecting a line reports nothing.
    void SetFieldRangeLookup(FieldRangeLookup lookup) { m_lookup = std::move(lookup); }

    // Replaces the tree with the one of this frame and expands it; a frame without bytes leaves
    // the tree as it was.
    void BuildPacketTree(int number, std::span<const std::uint8_t> frame);
    // Deletes every node and empties the six node references.
    void ClearPacketTree();
    // Expands the first top-level node, then each set reference in the order Ethernet, root,
    // network, transport, TCP flags, data.
    void ExpandPacketTree();
    // Reads "WorkSpaceColor" and "WorkSpaceTextColor" from the profile again and repaints.
    void ApplyColors();

    // The node references of the tree shown; nullptr when not set.
    QTreeWidgetItem* RootNode() const { return m_pRoot; }
    QTreeWidgetItem* EthernetNode() const { return m_pEthernet; }
    QTreeWidgetItem* NetworkNode() const { return m_pNetwork; }
    QTreeWidgetItem* TransportNode() const { return m_pTransport; }
    QTreeWidgetItem* TcpFlagsNode() const { return m_pTcpFlags; }
    QTreeWidgetItem* DataNode() const { return m_pData; }

signals:
    // The byte range of the line just selected, first and last inclusive, exactly as the lookup
    // gave it (first may be greater than last).
    void HighlightRange(int first, int last);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void OnSelectionChanged();

    std::array<QIcon, CExplorerIcons::kCount> m_icons;
    FieldRangeLookup m_lookup;
    QTreeWidgetItem* m_pRoot = nullptr;
    QTreeWidgetItem* m_pEthernet = nullptr;
    QTreeWidgetItem* m_pNetwork = nullptr;
    QTreeWidgetItem* m_pTransport = nullptr;
    QTreeWidgetItem* m_pTcpFlags = nullptr;
    QTreeWidgetItem* m_pData = nullptr;
};

}  // namespace wirelark
