// The packet explorer tree on the offscreen platform: the tree of a packet, its icons and
// references, selection and right click mapped to byte ranges that reach the hex dump, and the
// profile's colours.
#include "views/packet_tree_ctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

#include "store/wirelark_doc.h"
#include "support/frame_builder.h"
#include "toolkit/profile.h"
#include "views/hex_ctrl.h"
#include "views/packet_explorer_bar.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

// Every node in display order, two blanks per level before its text.
std::vector<std::string> Lines(const QTreeWidget& tree) {
    std::vector<std::string> lines;
    const auto walk = [&lines](const auto& self, const QTreeWidgetItem* item, int depth) -> void {
        lines.push_back(std::string(static_cast<std::size_t>(depth) * 2, ' ') +
                        item->text(0).toStdString());
        for (int i = 0; i < item->childCount(); ++i) {
            self(self, item->child(i), depth + 1);
        }
    };
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        walk(walk, tree.topLevelItem(i), 0);
    }
    return lines;
}

QTreeWidgetItem* Find(const QTreeWidget& tree, const QString& text) {
    const QList<QTreeWidgetItem*> found =
        tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

// The document holds a 60-byte TCP SYN (packet 1), a UDP datagram (2) and an ARP request (3).
// The tree's highlight goes to the hex control as the main frame will pass it.
class PacketTreeCtrlTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        m_frames = {CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build(),
                    CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(12).Build(),
                    CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build()};
        for (std::size_t i = 0; i < m_frames.size(); ++i) {
            ASSERT_TRUE(m_doc.AddPacket(static_cast<int>(i) + 1, m_frames[i],
                                        static_cast<int>(m_frames[i].size()), "12:00:00"));
        }
        m_tree = std::make_unique<CPacketTreeCtrl>();
        m_tree->SetFieldRangeLookup([this](std::string_view root, std::string_view parent,
                                           std::string_view node, int& first, int& last) {
            return m_doc.GetFieldByteRange(root, parent, node, first, last);
        });
        QObject::connect(m_tree.get(), &CPacketTreeCtrl::HighlightRange, m_tree.get(),
                         [this](int first, int last) {
                             m_sent.emplace_back(first, last);
                             m_hex.SetHighlight(first, last);
                         });
        m_tree->resize(360, 640);
        m_tree->show();
        m_hex.resize(560, 200);
    }

    void ShowPacket(int number) {
        const std::vector<std::uint8_t>& frame = m_frames[static_cast<std::size_t>(number) - 1];
        m_tree->BuildPacketTree(number, frame);
        m_hex.SetData(frame);
        QApplication::processEvents();
    }

    void Select(const QString& text) {
        QTreeWidgetItem* item = Find(*m_tree, text);
        ASSERT_NE(item, nullptr) << text.toStdString();
        m_tree->setCurrentItem(item);
    }

    void RightClick(QPoint position) {
        QMouseEvent press(QEvent::MouseButtonPress, position,
                          m_tree->viewport()->mapToGlobal(position), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(m_tree->viewport(), &press);
    }

    std::pair<int, int> Outline() const { return {m_hex.HighlightFirst(), m_hex.HighlightLast()}; }

    QTemporaryDir m_dir;
    CWirelarkDoc m_doc;
    std::vector<std::vector<std::uint8_t>> m_frames;
    CHexCtrl m_hex;
    std::unique_ptr<CPacketTreeCtrl> m_tree;
    std::vector<std::pair<int, int>> m_sent;
};

TEST_F(PacketTreeCtrlTest, TcpPacketGivesExpandedTreeWithReferencesAndBytesInTheDump) {
    ShowPacket(1);
    const std::vector<std::string> lines = Lines(*m_tree);
    ASSERT_EQ(lines.size(), 38u);
    // The texts themselves are the decoder's and tested there; here the nesting is.
    EXPECT_EQ(lines[4], "    Type:2048");
    EXPECT_EQ(lines[27], "      SYN: 1 - (Synchronize sequence number)");
    EXPECT_EQ(lines[37], "    6 byte(s) of data");
    EXPECT_EQ(m_tree->topLevelItemCount(), 1);

    const std::pair<QTreeWidgetItem*, const char*> references[] = {
        {m_tree->RootNode(), "Packet Number:1"}, {m_tree->EthernetNode(), "Ethernet Header"},
        {m_tree->NetworkNode(), "IP Header"},    {m_tree->TransportNode(), "TCP Header"},
        {m_tree->TcpFlagsNode(), "Flags: 0x02"}, {m_tree->DataNode(), "Data"},
    };
    for (const auto& [node, text] : references) {
        ASSERT_NE(node, nullptr) << text;
        EXPECT_EQ(node->text(0), text);
        EXPECT_TRUE(node->isExpanded()) << text;
    }
    EXPECT_EQ(std::vector<std::uint8_t>(m_hex.Data().begin(), m_hex.Data().end()), m_frames[0]);
}

TEST_F(PacketTreeCtrlTest, NodesShowTheirIconsFromAStripKeepingEachLayersColours) {
    ShowPacket(1);
    const std::array<QIcon, CExplorerIcons::kCount> icons = CExplorerIcons::Icons();
    const auto image = [](const QIcon& icon) {
        return icon.pixmap(CExplorerIcons::IconSize()).toImage();
    };
    // Which node gets which index is the decoder's and tested there; here the index picks the
    // strip's picture.
    const std::pair<const char*, int> cases[] = {
        {"Packet Number:1", 8},
        {"Type:2048", 10},
        {"FIN: 0 -(No more data from sender)", 11},
        {"SYN: 1 - (Synchronize sequence number)", 12},
        {"6 byte(s) of data", 5},
    };
    for (const auto& [text, index] : cases) {
        QTreeWidgetItem* item = Find(*m_tree, text);
        ASSERT_NE(item, nullptr) << text;
        EXPECT_EQ(image(item->icon(0)), image(icons[static_cast<std::size_t>(index)])) << text;
    }
    // The pictures differ from one another, so the comparison above tells them apart.
    for (std::size_t i = 0; i < icons.size(); ++i) {
        for (std::size_t j = i + 1; j < icons.size(); ++j) {
            EXPECT_NE(image(icons[i]), image(icons[j])) << i << " and " << j;
        }
    }

    const QImage strip = CExplorerIcons::Strip().toImage();
    ASSERT_EQ(strip.size(), QSize(240, 15));
    // The centre pixel of each coloured picture.
    const std::pair<int, QColor> centres[] = {
        {6, QColor(0xFF, 0x00, 0xFF)},  {7, QColor(0xFF, 0x00, 0xFF)},
        {9, QColor(0x00, 0xFF, 0xFF)},  {10, QColor(0x00, 0xFF, 0xFF)},
        {11, QColor(0xC0, 0xC0, 0xC0)}, {12, QColor(0x00, 0xFF, 0x00)},
        {13, QColor(0x00, 0xFF, 0x00)}, {14, QColor(0x00, 0xFF, 0x00)},
        {4, QColor(0xFF, 0xFF, 0x00)},
    };
    for (const auto& [index, color] : centres) {
        EXPECT_EQ(strip.pixelColor(index * 16 + 8, 7), color) << "icon " << index;
    }
}

TEST_F(PacketTreeCtrlTest, SelectingFieldsOutlinesTheirBytesAndLinesWithoutRangeLeaveTheOutline) {
    ShowPacket(1);
    const std::pair<const char*, std::pair<int, int>> cases[] = {
        {"Ethernet Header", {0, 13}},     {"Type:2048", {12, 13}},
        {"Source Port: 51000", {34, 35}}, {"Flags: 0x02", {47, 47}},
        {"6 byte(s) of data", {54, 59}},
    };
    for (const auto& [text, range] : cases) {
        Select(text);
        EXPECT_EQ(Outline(), range) << text;
        ASSERT_FALSE(m_sent.empty());
        EXPECT_EQ(m_sent.back(), range) << text;
    }
    Select("Ethernet Header");
    const std::size_t sent = m_sent.size();
    for (const char* text :
         {"SYN: 1 - (Synchronize sequence number)", "ACK: 0 - (Acknowledgment field sign.)",
          "No Tcp Options", "No Ip Options", "Packet Number:1"}) {
        Select(text);
        EXPECT_EQ(Outline(), std::make_pair(0, 13)) << text;
    }
    EXPECT_EQ(m_sent.size(), sent);

    m_tree->SetFieldRangeLookup(nullptr);
    Select("Source Port: 51000");
    EXPECT_EQ(m_sent.size(), sent) << "without a lookup selection sends nothing";
}

TEST_F(PacketTreeCtrlTest, RightClickSelectsTheLineUnderTheMouseAndOutlinesIt) {
    ShowPacket(1);
    QTreeWidgetItem* item = Find(*m_tree, "Source Port: 51000");
    ASSERT_NE(item, nullptr);
    RightClick(m_tree->visualItemRect(item).center());
    EXPECT_EQ(m_tree->currentItem(), item);
    EXPECT_TRUE(item->isSelected());
    EXPECT_EQ(Outline(), std::make_pair(34, 35));

    // Below the last line there is nothing to select: the selection and outline stay.
    m_tree->NetworkNode()->setExpanded(false);
    m_tree->TransportNode()->setExpanded(false);
    QApplication::processEvents();
    const QPoint empty(5, m_tree->viewport()->height() - 3);
    ASSERT_EQ(m_tree->itemAt(empty), nullptr);
    RightClick(empty);
    EXPECT_EQ(m_tree->currentItem(), item);
    EXPECT_EQ(Outline(), std::make_pair(34, 35));
}

TEST_F(PacketTreeCtrlTest, AnotherPacketReplacesTreeAndRemovesTheOutline) {
    ShowPacket(1);
    Select("Source Port: 51000");
    ASSERT_EQ(Outline(), std::make_pair(34, 35));

    ShowPacket(2);
    EXPECT_EQ(Outline(), std::make_pair(-1, -1));
    EXPECT_EQ(m_tree->topLevelItem(0)->text(0), "Packet Number:2");
    EXPECT_EQ(m_tree->TcpFlagsNode(), nullptr);
    EXPECT_EQ(Find(*m_tree, "Flags: 0x02"), nullptr);
    ASSERT_NE(m_tree->TransportNode(), nullptr);
    EXPECT_EQ(m_tree->TransportNode()->text(0), "UDP Header");
    EXPECT_TRUE(m_tree->TransportNode()->isExpanded());
    ASSERT_NE(m_tree->DataNode(), nullptr);
    EXPECT_EQ(m_tree->DataNode()->child(0)->text(0), "12 byte(s) of data");
    Select("Message length: 20");
    EXPECT_EQ(Outline(), std::make_pair(38, 39));

    ShowPacket(3);
    EXPECT_EQ(m_tree->NetworkNode()->text(0), "ARP frame");
    EXPECT_EQ(m_tree->TransportNode(), nullptr);
    EXPECT_EQ(m_tree->DataNode(), nullptr);
    Select("Sender Protocol Address: 192.168.0.1");
    EXPECT_EQ(Outline(), std::make_pair(28, 31));
}

TEST_F(PacketTreeCtrlTest, EmptyPacketLeavesTheTreeAndClearEmptiesIt) {
    ShowPacket(1);
    const std::vector<std::string> before = Lines(*m_tree);
    m_tree->BuildPacketTree(7, {});
    EXPECT_EQ(Lines(*m_tree), before);
    EXPECT_NE(m_tree->TcpFlagsNode(), nullptr);

    m_tree->ClearPacketTree();
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    for (QTreeWidgetItem* node :
         {m_tree->RootNode(), m_tree->EthernetNode(), m_tree->NetworkNode(),
          m_tree->TransportNode(), m_tree->TcpFlagsNode(), m_tree->DataNode()}) {
        EXPECT_EQ(node, nullptr);
    }
    m_tree->ExpandPacketTree();  // nothing to expand, nothing to touch
}

TEST_F(PacketTreeCtrlTest, AppliedColoursShowInTheTree) {
    ShowPacket(1);
    QApplication::processEvents();
    const QPoint empty(m_tree->viewport()->width() - 3, m_tree->viewport()->height() - 3);
    QImage image = m_tree->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(empty), QColor(Qt::white));

    CProfile::WriteProfileInt("Color", "WorkSpaceColor", 0x00402010);
    CProfile::WriteProfileInt("Color", "WorkSpaceTextColor", 0x0000FFFF);
    m_tree->ApplyColors();
    QApplication::processEvents();
    image = m_tree->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(empty), QColor(0x10, 0x20, 0x40));
    // Some pixel of the root's text is the new yellow.
    const QRect line = m_tree->visualItemRect(m_tree->topLevelItem(0)) & image.rect();
    bool yellow = false;
    for (int y = line.top(); y <= line.bottom() && !yellow; ++y) {
        for (int x = line.left(); x <= line.right() && !yellow; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            yellow = pixel.red() >= 200 && pixel.green() >= 200 && pixel.blue() < 80;
        }
    }
    EXPECT_TRUE(yellow);
}

TEST_F(PacketTreeCtrlTest, ExplorerPageHoldsTheTreeWithTheProfileColours) {
    CProfile::WriteProfileInt("Color", "WorkSpaceColor", 0x00C0FFEE);
    CPacketExplorerBar bar;
    EXPECT_EQ(bar.TreeCtrl().palette().color(QPalette::Base), QColor(0xEE, 0xFF, 0xC0));
    bar.resize(230, 200);
    bar.show();
    QApplication::processEvents();
    EXPECT_EQ(bar.TreeCtrl().geometry(), QRect(0, 0, 230, 200));

    CProfile::WriteProfileInt("Color", "WorkSpaceColor", 0x00000080);
    bar.ApplyColors();
    EXPECT_EQ(bar.TreeCtrl().palette().color(QPalette::Base), QColor(0x80, 0x00, 0x00));

    bar.BuildPacketTree(1, m_frames[0]);
    QApplication::processEvents();
    EXPECT_EQ(bar.TreeCtrl().topLevelItem(0)->text(0), "Packet Number:1");
    bar.ClearPacketTree();
    EXPECT_EQ(bar.TreeCtrl().topLevelItemCount(), 0);
}

}  // namespace
}  // namespace wirelark
