// The page content of the packet output bar: holds the hex control and keeps it filling its
// own area.
#pragma once

#include <QWidget>

#include "views/hex_ctrl.h"

namespace wirelark {

class CHexHost : public QWidget {
    Q_OBJECT

public:
    explicit CHexHost(QWidget* parent = nullptr);

    CHexCtrl& HexCtrl() { return m_hexCtrl; }
    const CHexCtrl& HexCtrl() const { return m_hexCtrl; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CHexCtrl m_hexCtrl;
};

}  // namespace wirelark
