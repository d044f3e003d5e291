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
#include <functional>
#include <tuple>
#include <vector>

#include "store/wirelark_doc.h"
#include "support/frame_builder.h"
#include "toolkit/profile.h"
#include "views/hex_ctrl.h"
#include "views/packet_explorer_bar.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

QTreeWidgetItem* Find(const QTreeWidget& tree, const QString& text) {
    return tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0, nullptr);
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
        m_tree->SetFieldRangeLookup(std::bind_front(&CWirelarkDoc::GetFieldByteRange, &m_doc));
        QObject::connect(m_tree.get(), &CPacketTreeCtrl::HighlightRange, &m_hex,
                         &CHexCtrl::SetHighlight);
        m_tree->resize(360, 640);
        m_tree->show();
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

    // The texts of the nodes the tree refers to (root, Ethernet, network, transport, TCP flags,
    // data), "-" for none and "(closed)" after one not expanded.
    QString References() const {
        QStringList texts;
        for (const QTreeWidgetItem* node :
             {m_tree->RootNode(), m_tree->EthernetNode(), m_tree->NetworkNode(),
              m_tree->TransportNode(), m_tree->TcpFlagsNode(), m_tree->DataNode()}) {
            texts << (node == nullptr ? "-"
                                      : node->text(0) + (node->isExpanded() ? "" : " (closed)"));
        }
        return texts.join(" | ");
    }

    std::pair<int, int> Outline() const { return {m_hex.HighlightFirst(), m_hex.HighlightLast()}; }

    QTemporaryDir m_dir;
    CWirelarkDoc m_doc;
    std::vector<std::vector<std::uint8_t>> m_frames;
    CHexCtrl m_hex;
    std::unique_ptr<CPacketTreeCtrl> m_tree;
};

TEST_F(PacketTreeCtrlTest, EachPacketReplacesTheTreeExpandedWithReferencesAnEmptyOneLeavesIt) {
    // {lines, References} after packets 1 to 3: the texts themselves are the decoder's.
    const std::pair<int, const char*> trees[] = {
        {38, "Packet Number:1 | Ethernet Header | IP Header | TCP Header | Flags: 0x02 | Data"},
        {26, "Packet Number:2 | Ethernet Header | IP Header | UDP Header | - | Data"},
        {15, "Packet Number:3 | Ethernet Header | ARP frame | - | - | -"}};
    for (int packet = 1; packet <= 3; ++packet) {
        ShowPacket(packet);
        const auto& [lines, references] = trees[packet - 1];
        EXPECT_EQ(m_tree->findItems("", Qt::MatchContains | Qt::MatchRecursive).size(), lines);
        EXPECT_EQ(m_tree->topLevelItemCount(), 1);
        EXPECT_EQ(References(), references);
    }
    QTreeWidgetItem* const arpRoot = m_tree->RootNode();
    m_tree->BuildPacketTree(7, {});
    EXPECT_EQ(m_tree->topLevelItem(0), arpRoot);
    EXPECT_EQ(m_tree->topLevelItemCount(), 1);

    m_tree->ClearPacketTree();
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    EXPECT_EQ(References(), "- | - | - | - | - | -");
    m_tree->ExpandPacketTree();  // nothing to expand, nothing to touch
}

TEST_F(PacketTreeCtrlTest, LinesNestAsDecodedWithTheirPicturesOfTheStrip) {
    ShowPacket(1);
    // {line, parent, icon}: which line gets which index is the decoder's; here the index picks
    // the strip's picture.
    QTreeWidgetItem* const root = m_tree->RootNode();
    const std::tuple<const char*, QTreeWidgetItem*, int> lines[] = {
        {"Packet Number:1", nullptr, 8},
        {"Type:2048", m_tree->EthernetNode(), 10},
        {"TCP Header", root, 14},
        {"Flags: 0x02", m_tree->TransportNode(), 13},
        {"FIN: 0 -(No more data from sender)", m_tree->TcpFlagsNode(), 11},
        {"SYN: 1 - (Synchronize sequence number)", m_tree->TcpFlagsNode(), 12},
        {"6 byte(s) of data", m_tree->DataNode(), 5}};
    const std::array<QIcon, CExplorerIcons::kCount> icons = CExplorerIcons::Icons();
    const auto image = [](const QIcon& icon) {
        return icon.pixmap(CExplorerIcons::IconSize()).toImage();
    };
    for (const auto& [text, parent, index] : lines) {
        QTreeWidgetItem* item = Find(*m_tree, text);
        ASSERT_NE(item, nullptr) << text;
        EXPECT_EQ(item->parent(), parent) << text;
        EXPECT_EQ(image(item->icon(0)), image(icons[static_cast<std::size_t>(index)])) << text;
    }
}

TEST(ExplorerIconsTest, StripPicturesDifferAndKeepEachLayersColours) {
    const std::array<QIcon, CExplorerIcons::kCount> icons = CExplorerIcons::Icons();
    for (std::size_t i = 0; i < icons.size(); ++i) {
        for (std::size_t j = i + 1; j < icons.size(); ++j) {
            EXPECT_NE(icons[i].pixmap(16, 15).toImage(), icons[j].pixmap(16, 15).toImage())
                << i << " and " << j;
        }
    }
    const QImage strip = CExplorerIcons::Strip().toImage();
    ASSERT_EQ(strip.size(), QSize(240, 15));
    // The centre pixel of each coloured picture, as 0xRRGGBB.
    const std::pair<int, QRgb> centres[] = {{6, 0xFF00FF},  {7, 0xFF00FF},  {9, 0x00FFFF},
                                            {10, 0x00FFFF}, {11, 0xC0C0C0}, {12, 0x00FF00},
                                            {13, 0x00FF00}, {14, 0x00FF00}, {4, 0xFFFF00}};
    for (const auto& [index, color] : centres) {
        EXPECT_EQ(strip.pixelColor(index * 16 + 8, 7), QColor(color)) << "icon " << index;
    }
}

TEST_F(PacketTreeCtrlTest, SelectingAFieldOutlinesItsBytesAndALineWithoutRangeLeavesTheOutline) {
    // "line=first-last" of the outline after selecting the line in packet 1, 2 or 3: a line
    // without a byte range leaves the outline, a new packet drops it.
    const std::vector<const char*> packets[] = {
        {"Ethernet Header=0-13", "Type:2048=12-13", "Source Port: 51000=34-35", "Flags: 0x02=47-47",
         "SYN: 1 - (Synchronize sequence number)=47-47", "No Tcp Options=47-47",
         "6 byte(s) of data=54-59", "No Ip Options=54-59", "Packet Number:1=54-59"},
        {"Message length: 20=38-39"},
        {"Sender Protocol Address: 192.168.0.1=28-31"}};
    for (int packet = 1; packet <= 3; ++packet) {
        ShowPacket(packet);
        EXPECT_EQ(Outline(), std::make_pair(-1, -1));
        for (const QString text : packets[packet - 1]) {
            Select(text.section('=', 0, 0));
            const QStringList range = text.section('=', 1).split('-');
            EXPECT_EQ(Outline(), std::make_pair(range[0].toInt(), range[1].toInt()))
                << text.toStdString();
        }
    }
    m_tree->SetFieldRangeLookup(nullptr);
    Select("Sender Hardware Address:66.77.88.99.AA.BB");
    EXPECT_EQ(Outline(), std::make_pair(28, 31)) << "without a lookup selection sends nothing";
}

TEST_F(PacketTreeCtrlTest, RightClickSelectsTheLineUnderTheMouseAndOutlinesIt) {
    ShowPacket(3);
    QTreeWidgetItem* item = Find(*m_tree, "Sender Protocol Address: 192.168.0.1");
    ASSERT_NE(item, nullptr);
    RightClick(m_tree->visualItemRect(item).center());
    EXPECT_EQ(m_tree->currentItem(), item);
    EXPECT_TRUE(item->isSelected());
    EXPECT_EQ(Outline(), std::make_pair(28, 31));

    // Below the last line there is nothing to select: the selection and outline stay.
    const QPoint empty(5, m_tree->viewport()->height() - 3);
    ASSERT_EQ(m_tree->itemAt(empty), nullptr);
    RightClick(empty);
    EXPECT_EQ(m_tree->currentItem(), item);
    EXPECT_EQ(Outline(), std::make_pair(28, 31));
}

TEST_F(PacketTreeCtrlTest, ExplorerPageHoldsTheTreeInTheProfileColoursAndShowsNewOnesApplied) {
    CProfile::WriteProfileInt("Color", "WorkSpaceColor", 0x00C0FFEE);
    CPacketExplorerBar bar;
    CPacketTreeCtrl& tree = bar.TreeCtrl();
    EXPECT_EQ(tree.palette().color(QPalette::Base), QColor(0xEE, 0xFF, 0xC0));
    bar.resize(360, 640);
    bar.show();
    bar.BuildPacketTree(1, m_frames[0]);
    QApplication::processEvents();
    EXPECT_EQ(tree.geometry(), QRect(0, 0, 360, 640));
    EXPECT_EQ(tree.topLevelItem(0)->text(0), "Packet Number:1");

    CProfile::WriteProfileInt("Color", "WorkSpaceColor", 0x00402010);
    CProfile::WriteProfileInt("Color", "WorkSpaceTextColor", 0x0000FFFF);
    bar.ApplyColors();
    QApplication::processEvents();
    const QImage image = tree.viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(image.width() - 3, image.height() - 3), QColor(0x10, 0x20, 0x40));
    EXPECT_EQ(tree.palette().color(QPalette::Text), QColor(Qt::yellow));
    bar.ClearPacketTree();
    EXPECT_EQ(tree.topLevelItemCount(), 0);
}

}  // namespace
}  // namespace wirelark
