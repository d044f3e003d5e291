// The explorer tree's lines, icons and nesting for each kind of frame, and the node references.
#include "decode/packet_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/frame_builder.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

CFrameBuilder Ip(std::uint8_t protocol = 6, test::CIpv4Fields ip = {}) {
    ip.protocol = protocol;
    return CFrameBuilder().Ethernet().Ipv4(ip);
}

// One line per node in display order: two blanks per level, the icon, a bar, the text.
void RenderNode(const CPacketTree& tree, int index, int depth, std::vector<std::string>& lines) {
    const CExplorerNode& node = tree.nodes[static_cast<std::size_t>(index)];
    lines.push_back(std::string(static_cast<std::size_t>(depth) * 2, ' ') +
                    std::to_string(node.icon) + "|" + node.text);
    for (const int child : node.children) {
        EXPECT_EQ(tree.nodes[static_cast<std::size_t>(child)].parent, index);
        RenderNode(tree, child, depth + 1, lines);
    }
}

std::vector<std::string> Render(const CPacketTree& tree) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        if (tree.nodes[i].parent == CPacketTree::kNone) {
            RenderNode(tree, static_cast<int>(i), 0, lines);
        }
    }
    EXPECT_EQ(lines.size(), tree.nodes.size());
    return lines;
}

std::vector<std::string> Tree(int number, const std::vector<std::uint8_t>& frame) {
    CPacketTree tree;
    EXPECT_TRUE(BuildPacketTree(number, frame, tree));
    return Render(tree);
}

std::vector<std::string> EthernetLines(const std::string& type = "2048", int number = 1) {
    return {"8|Packet Number:" + std::to_string(number), "  9|Ethernet Header",
            "    10|Dst Mac Address:00.11.22.33.44.55", "    10|Src Mac Address:66.77.88.99.AA.BB",
            "    10|Type:" + type};
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<std::string> IpHeader(int protocol, const std::string& protocolName,
                                  const std::string& totalLength) {
    return {
        "  7|IP Header",
        "    6|Version: 4",
        "    6|Header length: 20 bytes",
        "    6|Type of service: 0",
        "    6|Total Len: " + totalLength + " bytes",
        "    6|Identification: 7238",
        "    6|Flags: 4h",
        "    6|Offset: 0 bytes",
        "    6|Time to live: 64 seconds/hops",
        "    6|Protocol: " + std::to_string(protocol) + " - " + protocolName,
        "    6|Header checksum: 47201",
        "    6|Source address: [192.168.0.1]",
        "    6|Destination address: [10.0.0.2]",
        "    6|No Ip Options",
    };
}

TEST(PacketTree, Ipv6FrameShowsTheEthernetHeaderOnly) {
    const auto frame = CFrameBuilder().Ethernet({.etherType = 0x86DD}).Payload(40).Build();
    EXPECT_EQ(Tree(3, frame), EthernetLines("34525", 3));
}

TEST(PacketTree, ArpRequestShowsNineLinesWithPaddedNames) {
    const auto frame = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
    const auto expected = Concat({EthernetLines("2054"),
                                  {
                                      "  7|ARP frame",
                                      "    6|Hardware Type: 1-(10Mb Ethernet)",
                                      "    6|Protocol Type: 2048-(IPv4)   ",
                                      "    6|Hardware address length: 6",
                                      "    6|Protocol address length: 4",
                                      "    6|Operation: 1-(ARP Request)     ",
                                      "    6|Sender Hardware Address:66.77.88.99.AA.BB",
                                      "    6|Sender Protocol Address: 192.168.0.1",
                                      "    6|Target Hardware Address:00.00.00.00.00.00",
                                      "    6|Target Protocol Address: 192.168.0.254",
                                  }});
    EXPECT_EQ(Tree(1, frame), expected);
}

TEST(PacketTree, IgmpEndsWithTheIpHeader) {
    const auto frame = Ip(2).Payload(8).Build();
    EXPECT_EQ(Tree(1, frame), Concat({EthernetLines(), IpHeader(2, "IGMP", "28")}));
}

std::vector<std::string> TcpSynLines(const std::string& data) {
    std::vector<std::string> lines{
        "  14|TCP Header",
        "    13|Source Port: 51000",
        "    13|Destination Port: 80",
        "    13|Sequence number: 256",
        "    13|Acknowledgement number: 0",
        "    13|Header Length: 20",
        "    13|Flags: 0x02",
        "      11|FIN: 0 -(No more data from sender)",
        "      12|SYN: 1 - (Synchronize sequence number)",
        "      11|RST: 0 - (Reset the connection)",
        "      11|PSH: 0 - (Push function)",
        "      11|ACK: 0 - (Acknowledgment field sign.)",
        "      11|URG: 0 - (Urgent pointer field sign.)",
        "    13|Window: 64240",
        "    13|Checksum: 4660",
        "    13|Urgent point: 0",
        "    13|No Tcp Options",
    };
    if (!data.empty()) {
        lines.push_back("  4|Data");
        lines.push_back("    5|" + data);
    }
    return lines;
}

TEST(PacketTree, TcpSynCountsThePaddingAsDataAndWithoutAnyHasNoDataNode) {
    const auto padded = Ip().Tcp().PadTo(60).Build();
    EXPECT_EQ(Tree(1, padded), Concat({EthernetLines(), IpHeader(6, "TCP", "40"),
                                       TcpSynLines("6 byte(s) of data")}));
    CPacketTree tree;
    ASSERT_TRUE(BuildPacketTree(1, Ip().Tcp().Build(), tree));
    EXPECT_EQ(Render(tree), Concat({EthernetLines(), IpHeader(6, "TCP", "40"), TcpSynLines("")}));
    EXPECT_EQ(tree.data, CPacketTree::kNone);
}

TEST(PacketTree, TcpFlagsAndOptionsAndUnsignedSequenceNumbers) {
    const auto frame = Ip(6, {.ihl = 6, .flagsFragment = 0x2005})
                           .Tcp({.sequence = 0xFFFFFFFF,
                                 .acknowledgement = 0x80000000,
                                 .dataOffset = 8,
                                 .flags = 0xFF})
                           .Build();
    const auto lines = Tree(1, frame);
    for (const char* line :
         {"    6|Header length: 24 bytes", "    6|Ip Options: 4 bytes", "    6|Flags: 2h",
          "    6|Offset: 5 bytes", "    13|Sequence number: 4294967295",
          "    13|Acknowledgement number: 2147483648", "    13|Header Length: 32",
          "    13|Flags: 0xFF", "      12|URG: 1 - (Urgent pointer field sign.)",
          "      12|FIN: 1 -(No more data from sender)", "    13|Tcp Options: 12 bytes"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
}

TEST(PacketTree, UdpHasDataOnlyWithPayload) {
    const auto empty = Ip(17).Udp().Build();
    const std::vector<std::string> udp{
        "  14|UDP Header",          "    13|Source Port: 53", "    13|Destination Port: 53",
        "    13|Message length: 8", "    13|Checksum: 43981",
    };
    EXPECT_EQ(Tree(1, empty), Concat({EthernetLines(), IpHeader(17, "UDP", "28"), udp}));

    const auto full = Ip(17).Udp().Payload(5).Build();
    const auto lines = Tree(1, full);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "  4|Data");
    EXPECT_EQ(lines.back(), "    5|5 byte(s) of data");
}

TEST(PacketTree, IcmpHasPaddedTypeAndIdentifierAndSequenceWhateverTheTypeAndNeverData) {
    EXPECT_EQ(Tree(1, Ip(1).Icmp().Payload(32).Build()),
              Concat({EthernetLines(),
                      IpHeader(1, "ICMP", "60"),
                      {
                          "  14|ICMP",
                          "    13|Type:  8 - Echo                   ",
                          "    13|Identifier: 1",
                          "    13|Seq Number: 7",
                          "    13|Check Sum: 19802",
                      }}));
    const auto lines = Tree(
        1, Ip(1).Icmp({.type = 3, .code = 3, .identifier = 0x0102, .sequence = 0x0304}).Build());
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end() - 1),
              (std::vector<std::string>{"    13|Type:  3 - Port unreachable       ",
                                        "    13|Identifier: 258", "    13|Seq Number: 772"}));
}

TEST(PacketTree, ShortFramesEndWithTheLastCompleteHeader) {
    const auto tcp = Ip().Tcp().PadTo(60).Build();
    struct CCase {
        std::size_t size;
        std::size_t lines;
    };
    // Root alone, + Ethernet (4), + IPv4 (14), + TCP (17) + Data (2).
    for (const CCase c : {CCase{1, 1}, CCase{13, 1}, CCase{14, 5}, CCase{33, 5}, CCase{34, 19},
                          CCase{53, 19}, CCase{54, 36}, CCase{55, 38}}) {
        CPacketTree tree;
        ASSERT_TRUE(BuildPacketTree(1, std::span(tcp).first(c.size), tree));
        EXPECT_EQ(tree.nodes.size(), c.lines) << "frame of " << c.size;
    }
    const auto arp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().TruncateTo(41).Build();
    EXPECT_EQ(Tree(1, arp).size(), 5u);
}

TEST(PacketTree, EmptyFrameLeavesTheTreeAsItWas) {
    CPacketTree tree;
    ASSERT_TRUE(BuildPacketTree(4, Ip().Tcp().Build(), tree));
    const auto before = Render(tree);
    EXPECT_FALSE(BuildPacketTree(5, {}, tree));
    EXPECT_EQ(Render(tree), before);
}

TEST(PacketTree, ReferencesBelongToTheTreeJustBuilt) {
    CPacketTree tree;
    ASSERT_TRUE(BuildPacketTree(1, Ip().Tcp().PadTo(60).Build(), tree));
    const auto text = [&](int index) { return tree.nodes[static_cast<std::size_t>(index)].text; };
    EXPECT_EQ(text(tree.root), "Packet Number:1");
    EXPECT_EQ(text(tree.ethernet), "Ethernet Header");
    EXPECT_EQ(text(tree.network), "IP Header");
    EXPECT_EQ(text(tree.transport), "TCP Header");
    EXPECT_EQ(text(tree.tcpFlags), "Flags: 0x02");
    EXPECT_EQ(text(tree.data), "Data");
    EXPECT_EQ(tree.ExpansionOrder(),
              (std::vector<int>{tree.root, tree.ethernet, tree.root, tree.network, tree.transport,
                                tree.tcpFlags, tree.data}));
    EXPECT_EQ(tree.ParentText(tree.tcpFlags + 1), "Flags: 0x02");
    EXPECT_EQ(tree.ParentText(tree.root), "");

    // A UDP packet shown next: no flags node, and nothing refers past the new tree.
    ASSERT_TRUE(BuildPacketTree(2, Ip(17).Udp().Build(), tree));
    EXPECT_EQ(tree.tcpFlags, CPacketTree::kNone);
    EXPECT_EQ(tree.data, CPacketTree::kNone);
    for (const int index : tree.ExpansionOrder()) {
        EXPECT_LT(static_cast<std::size_t>(index), tree.nodes.size());
    }
    EXPECT_EQ(tree.RootText(), "Packet Number:2");
}

}  // namespace
}  // namespace wirelark
