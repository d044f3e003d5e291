// The page "Packet Explorer" of the explorer docking bar: the packet tree filling the page.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "views/packet_tree_ctrl.h"

namespace wirelark {

class CPacketExplorerBar : public QWidget {
    Q_OBJECT

public:
    explicit CPacketExplorerBar(QWidget* parent = nullptr);

    // Passed on unchanged to the tree control.
    void BuildPacketTree(int number, std::span<const std::uint8_t> bytes) {
        m_tree.BuildPacketTree(number, bytes);
    }
    void ClearPacketTree() { m_tree.ClearPacketTree(); }
    void ExpandPacketTree() { m_tree.ExpandPacketTree(); }
    void SetFieldRangeLookup(FieldRangeLookup lookup) {
        m_tree.SetFieldRangeLookup(std::move(lookup));
    }
    // Reads the tree's colours from the profile again and repaints it.
    void ApplyColors() { m_tree.ApplyColors(); }

    CPacketTreeCtrl& TreeCtrl() { return m_tree; }
    const CPacketTreeCtrl& TreeCtrl() const { return m_tree; }

private:
    CPacketTreeCtrl m_tree;
};

}  // namespace wirelark
