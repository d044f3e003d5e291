// The hex control's host: the control always covers the whole host.
#include "views/hex_host.h"

#include <QResizeEvent>

namespace wirelark {

CHexHost::CHexHost(QWidget* parent) : QWidget(parent), m_hexCtrl(this, true) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_hexCtrl.setGeometry(rect());
}

void CHexHost::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_hexCtrl.setGeometry(0, 0, event->size().width(), event->size().height());
}

}  // namespace wirelark
