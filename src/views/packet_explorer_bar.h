// The page "Packet Explorer" of the explorer docking bar: the packet tree filling the page.
#pragma once

#include <QString>
#include <QWidget>

#include "views/packet_tree_ctrl.h"

namespace wirelark {

class CPacketExplorerBar : public QWidget {
    Q_OBJECT

public:
    static QString PageTitle() { return QStringLiteral("Packet Explorer"); }

    explicit CPacketExplorerBar(QWidget* parent = nullptr);

    // Reads the tree's colours from the profile again and repaints it.
    void ApplyColors() { m_tree.ApplyColors(); }

    CPacketTreeCtrl& TreeCtrl() { return m_tree; }
    const CPacketTreeCtrl& TreeCtrl() const { return m_tree; }

private:
    CPacketTreeCtrl m_tree;
};

}  // namespace wirelark
