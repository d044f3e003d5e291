// The output page: the host fills the page whatever size the dock gives it.
#include "views/packet_output_bar.h"

#include <QVBoxLayout>

namespace wirelark {

CPacketOutputBar::CPacketOutputBar(QWidget* parent) : QWidget(parent), m_host(this) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(&m_host);
}

}  // namespace wirelark
