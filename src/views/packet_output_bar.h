// The page "Packet Output" of the output docking bar: the hex dump of the packet last shown.
// Requests go straight to the hex control.
#pragma once

#include <QString>
#include <QWidget>

#include "views/hex_host.h"

namespace wirelark {

class CPacketOutputBar : public QWidget {
    Q_OBJECT

public:
    explicit CPacketOutputBar(QWidget* parent = nullptr);

    CHexCtrl& HexCtrl() { return m_host.HexCtrl(); }
    const CHexCtrl& HexCtrl() const { return m_host.HexCtrl(); }

private:
    CHexHost m_host;
};

}  // namespace wirelark
