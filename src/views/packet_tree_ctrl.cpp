// The packet explorer tree control: inserts the decoder's tree node by node and maps the
// selected node to a byte range.
#include "views/packet_tree_ctrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPalette>
#include <string>

#include "decode/packet_tree.h"
#include "views/setup_color_page.h"

namespace wirelark {

CPacketTreeCtrl::CPacketTreeCtrl(QWidget* parent)
    : QTreeWidget(parent), m_icons(CExplorerIcons::Icons()) {
    setObjectName(QStringLiteral("CPacketTreeCtrl"));
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setExpandsOnDoubleClick(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(CExplorerIcons::IconSize());
    setUniformRowHeights(true);
    // Long lines scroll sideways instead of being cut with an ellipsis.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideNone);
    ApplyColors();
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CPacketTreeCtrl::OnSelectionChanged);
}

void CPacketTreeCtrl::BuildPacketTree(int number, std::span<const std::uint8_t> frame) {
    CPacketTree tree;
    if (!wirelark::BuildPacketTree(number, frame, tree)) {
        return;
    }
    setUpdatesEnabled(false);
    ClearPacketTree();
    std::vector<QTreeWidgetItem*> items;
    items.reserve(tree.nodes.size());
    for (const CExplorerNode& node : tree.nodes) {
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(node.text)});
        if (node.icon >= 0 && node.icon < CExplorerIcons::kCount) {
            item->setIcon(0, m_icons[static_cast<std::size_t>(node.icon)]);
        }
        if (node.parent == CPacketTree::kNone) {
            addTopLevelItem(item);
        } else {
            items[static_cast<std::size_t>(node.parent)]->addChild(item);
        }
        items.push_back(item);
    }
    const auto reference = [&items](int index) {
        return index == CPacketTree::kNone ? nullptr : items[static_cast<std::size_t>(index)];
    };
    m_pRoot = reference(tree.root);
    m_pEthernet = reference(tree.ethernet);
    m_pNetwork = reference(tree.network);
    m_pTransport = reference(tree.transport);
    m_pTcpFlags = reference(tree.tcpFlags);
    m_pData = reference(tree.data);
    ExpandPacketTree();
    setUpdatesEnabled(true);
}

void CPacketTreeCtrl::ClearPacketTree() {
    m_pRoot = m_pEthernet = m_pNetwork = m_pTransport = m_pTcpFlags = m_pData = nullptr;
    clear();
}

void CPacketTreeCtrl::ExpandPacketTree() {
    if (QTreeWidgetItem* first = topLevelItem(0)) {
        first->setExpanded(true);
    }
    for (QTreeWidgetItem* node :
         {m_pEthernet, m_pRoot, m_pNetwork, m_pTransport, m_pTcpFlags, m_pData}) {
        if (node != nullptr) {
            node->setExpanded(true);
        }
    }
}

void CPacketTreeCtrl::ApplyColors() {
    const QColor background = ReadSetupColor(SetupColor::TreeView);
    const QColor text = ReadSetupColor(SetupColor::TreeViewText);
    QPalette colors = palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colors.setColor(group, QPalette::Base, background);
        colors.setColor(group, QPalette::Window, background);
        colors.setColor(group, QPalette::Text, text);
    }
    setPalette(colors);
    viewport()->update();
}

void CPacketTreeCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // A right click selects the line under the mouse, which outlines its bytes as a left
        // click does.
        if (QTreeWidgetItem* item = itemAt(event->position().toPoint())) {
            setCurrentItem(item);
        }
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CPacketTreeCtrl::OnSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    QTreeWidgetItem* root = topLevelItem(0);
    if (selected.isEmpty() || root == nullptr || selected.front() == root || !m_lookup) {
        return;
    }
    const QTreeWidgetItem* node = selected.front();
    const std::string rootText = root->text(0).toStdString();
    const std::string parentText = node->parent() ? node->parent()->text(0).toStdString() : "";
    const std::string nodeText = node->text(0).toStdString();
    int first = 0;
    int last = 0;
    if (m_lookup(rootText, parentText, nodeText, first, last)) {
        emit HighlightRange(first, last);
    }
}

}  // namespace wirelark
