// The explorer page: the tree fills the page whatever size the dock gives it.
#include "views/packet_explorer_bar.h"

#include <QVBoxLayout>

namespace wirelark {

CPacketExplorerBar::CPacketExplorerBar(QWidget* parent) : QWidget(parent), m_tree(this) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(&m_tree);
}

}  // namespace wirelark
