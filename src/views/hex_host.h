// The page content of the packet output bar: holds the hex control and keeps it filling its
// own area.
#pragma once

#include <QWidget>
#include <cstdint>
#include <span>
#include <vector>

#include "views/hex_ctrl.h"

namespace wirelark {

class CHexHost : public QWidget {
    Q_OBJECT

public:
    explicit CHexHost(QWidget* parent = nullptr);

    void SetData(const std::vector<std::uint16_t>& words) { m_hexCtrl.SetData(words); }
    void SetData(std::span<const std::uint8_t> bytes) { m_hexCtrl.SetData(bytes); }
    void Clear() { m_hexCtrl.Clear(); }
    void SetHighlight(int first, int last) { m_hexCtrl.SetHighlight(first, last); }

    CHexCtrl& HexCtrl() { return m_hexCtrl; }
    const CHexCtrl& HexCtrl() const { return m_hexCtrl; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CHexCtrl m_hexCtrl;
};

}  // namespace wirelark
