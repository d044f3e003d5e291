// The page "Packet Output" of the output docking bar: the hex dump of the packet last shown.
// Each request is passed on unchanged to the hex control.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <span>
#include <vector>

#include "views/hex_host.h"

namespace wirelark {

class CPacketOutputBar : public QWidget {
    Q_OBJECT

public:
    explicit CPacketOutputBar(QWidget* parent = nullptr);

    void SetData(const std::vector<std::uint16_t>& words) { m_host.SetData(words); }
    void SetData(std::span<const std::uint8_t> bytes) { m_host.SetData(bytes); }
    void Clear() { m_host.Clear(); }
    void SetHighlight(int first, int last) { m_host.SetHighlight(first, last); }

    CHexCtrl& HexCtrl() { return m_host.HexCtrl(); }
    const CHexCtrl& HexCtrl() const { return m_host.HexCtrl(); }

private:
    CHexHost m_host;
};

}  // namespace wirelark
