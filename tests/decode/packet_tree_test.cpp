// The explorer tree's lines, icons and nesting for each kind of frame, the bytes each line
// selects, and the node references.
#include "decode/packet_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode/field_byte_range.h"
#include "support/sample_frames.h"

namespace wirelark {
namespace {

using namespace test;  // the frame builder and sample frames

// One line per node in display order: two blanks per level, the icon, a bar, the text and, when
// the line selects bytes, "=first-last", asked with the texts the explorer asks with.
void RenderNode(const CPacketTree& tree, const Frame& frame, int index, int depth,
                std::vector<std::string>& lines) {
    const CExplorerNode& node = tree.nodes[static_cast<std::size_t>(index)];
    std::string line = std::string(static_cast<std::size_t>(depth) * 2, ' ') +
                       std::to_string(node.icon) + "|" + node.text;
    int first = 0;
    int last = 0;
    if (GetFieldByteRange(tree.RootText(), tree.ParentText(index), node.text, frame, first, last)) {
        line += "=" + std::to_string(first) + "-" + std::to_string(last);
    }
    lines.push_back(line);
    for (const int child : node.children) {
        EXPECT_EQ(tree.nodes[static_cast<std::size_t>(child)].parent, index);
        RenderNode(tree, frame, child, depth + 1, lines);
    }
}

std::vector<std::string> Tree(const Frame& frame) {
    CPacketTree tree;
    EXPECT_TRUE(BuildPacketTree(1, frame, tree));
    std::vector<std::string> lines;
    RenderNode(tree, frame, tree.root, 0, lines);
    EXPECT_EQ(lines.size(), tree.nodes.size());  // all nodes are below the root
    return lines;
}

// The whole tree: the lines up to the network header's last field, then the rest.
void ExpectTree(const Frame& frame, std::vector<std::string> lines,
                const std::vector<std::string>& rest) {
    lines.insert(lines.end(), rest.begin(), rest.end());
    EXPECT_EQ(Tree(frame), lines);
}

TEST(PacketTree, TcpWithOptionsShowsEveryLineAndTheBytesItSelects) {
    const CTcpFields tcp{
        .sequence = 0xFFFFFFFF, .acknowledgement = 0x80000000, .dataOffset = 8, .flags = 0x2B};
    const Frame frame =
        OverIpv4(6, {.ihl = 6, .flagsFragment = 0x2005}).Tcp(tcp).Payload(3).Build();
    ExpectTree(
        frame,
        {"8|Packet Number:1", "  9|Ethernet Header=0-13",
         "    10|Dst Mac Address:00.11.22.33.44.55=0-5",
         "    10|Src Mac Address:66.77.88.99.AA.BB=6-11", "    10|Type:2048=12-13",
         "  7|IP Header=14-37", "    6|Version: 4=14-14", "    6|Header length: 24 bytes=14-14",
         "    6|Type of service: 0=15-15", "    6|Total Len: 59 bytes=16-17",
         "    6|Identification: 7238=18-19", "    6|Flags: 2h=20-21", "    6|Offset: 5 bytes=20-21",
         "    6|Time to live: 64 seconds/hops=22-22", "    6|Protocol: 6 - TCP=23-23",
         "    6|Header checksum: 47201=24-25", "    6|Source address: [192.168.0.1]=26-29",
         "    6|Destination address: [10.0.0.2]=30-33", "    6|Ip Options: 4 bytes=34-37"},
        {"  14|TCP Header=38-57", "    13|Source Port: 51000=38-39",
         "    13|Destination Port: 80=40-41", "    13|Sequence number: 4294967295=42-45",
         "    13|Acknowledgement number: 2147483648=46-49", "    13|Header Length: 32=50-50",
         "    13|Flags: 0x2B=51-51", "      12|FIN: 1 -(No more data from sender)",
         "      12|SYN: 1 - (Synchronize sequence number)",
         "      11|RST: 0 - (Reset the connection)", "      12|PSH: 1 - (Push function)",
         "      11|ACK: 0 - (Acknowledgment field sign.)",
         "      12|URG: 1 - (Urgent pointer field sign.)", "    13|Window: 64240=52-53",
         "    13|Checksum: 4660=54-55", "    13|Urgent point: 0=56-57",
         "    13|Tcp Options: 12 bytes=58-69", "  4|Data=70-72", "    5|3 byte(s) of data=70-72"});
}

// The order and the lines shared with the frame above are checked there. A header is shown only
// when its fixed part is wholly there, so a short frame ends with its last complete header.
TEST(PacketTree, EachFrameEndsWithItsLastCompleteHeader) {
    const Frame tcp = TcpFrame(51000, 80);
    struct CCase {
        const char* name;
        Frame frame;
        std::size_t count;  // root 1, Ethernet 4, IPv4 14, ARP 10, TCP 17, UDP 5, ICMP 5, data 2
        std::vector<std::string> tail;
    };
    const CCase cases[] = {
        CCase("TcpPaddingIsData", tcp, 38,
              {"    13|No Tcp Options", "  4|Data=54-59", "    5|6 byte(s) of data=54-59"}),
        CCase("TcpWithoutDataHasNoDataNode", Cut(tcp, 54), 36, {"    13|No Tcp Options"}),
        CCase("IgmpEndsWithTheIpHeader", kIgmp, 19,
              {"    6|Protocol: 2 - IGMP=23-23", "    6|Header checksum: 47201=24-25",
               "    6|Source address: [192.168.0.1]=26-29",
               "    6|Destination address: [10.0.0.2]=30-33", "    6|No Ip Options"}),
        CCase("UdpWithoutData", OverIpv4(17).Udp().Build(), 24,
              {"    13|Message length: 8=38-39", "    13|Checksum: 43981=40-41"}),
        CCase("UdpWithData", OverIpv4(17).Udp().Payload(5).Build(), 26,
              {"  14|UDP Header=34-41", "    13|Source Port: 53=34-35",
               "    13|Destination Port: 53=36-37", "    13|Message length: 13=38-39",
               "    13|Checksum: 43981=40-41", "  4|Data=42-46", "    5|5 byte(s) of data=42-46"}),
        CCase("IcmpNeverHasData", OverIpv4(1).Icmp().Payload(32).Build(), 24,
              {"    6|No Ip Options", "  14|ICMP", "    13|Type:  8 - Echo                   ",
               "    13|Identifier: 1", "    13|Seq Number: 7", "    13|Check Sum: 19802"}),
        CCase("IcmpTypeThreeAt42", OverIpv4(1).Icmp({.type = 3, .code = 3}).Build(), 24,
              {"    13|Type:  3 - Port unreachable       ", "    13|Identifier: 1",
               "    13|Seq Number: 7", "    13|Check Sum: 19802"}),
        CCase("ArpAt42", Cut(kArp, 42), 15,
              {"  7|ARP frame=14-41", "    6|Hardware Type: 1-(10Mb Ethernet)=14-15",
               "    6|Protocol Type: 2048-(IPv4)   =16-17",
               "    6|Hardware address length: 6=18-18", "    6|Protocol address length: 4=19-19",
               "    6|Operation: 1-(ARP Request)     =20-21",
               "    6|Sender Hardware Address:66.77.88.99.AA.BB=22-27",
               "    6|Sender Protocol Address: 192.168.0.1=28-31",
               "    6|Target Hardware Address:00.00.00.00.00.00=32-37",
               "    6|Target Protocol Address: 192.168.0.254=38-41"}),
        CCase("Ipv6ShowsOnlyEthernet", EtherFrame(0x86DD), 5, {"    10|Type:34525=12-13"}),
        CCase("RarpIsNotDecoded", EtherFrame(0x8035), 5, {}),
        CCase("VlanIsNotDecoded",
              CFrameBuilder().Ethernet({.etherType = 0x8100}).Ipv4().Tcp().Build(), 5, {}),
        CCase("OneByte", Cut(tcp, 1), 1, {"8|Packet Number:1"}),
        CCase("EthernetAt13", Cut(tcp, 13), 1, {}),
        CCase("EthernetAt14", Cut(tcp, 14), 5, {}),
        CCase("Ipv4At33", Cut(tcp, 33), 5, {}),
        CCase("Ipv4At34", Cut(tcp, 34), 19, {}),
        CCase("TcpAt53", Cut(tcp, 53), 19, {}),
        CCase("OneByteOfData", Cut(tcp, 55), 38, {"    5|1 byte(s) of data=54-54"}),
        CCase("Ihl6TcpAt57", Cut(Ihl6TcpFrame(1, 2), 57), 19, {}),
        CCase("IcmpAt41", Cut(kIcmp, 41), 19, {}),
        CCase("ArpAt41", Cut(kArp, 41), 5, {}),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto lines = Tree(c.frame);
        EXPECT_EQ(lines.size(), c.count);
        const std::size_t from = lines.size() - std::min(lines.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(from),
                                           lines.end()),
                  c.tail);
    }
}

TEST(PacketTree, EmptyFrameLeavesTheTreeAsItWas) {
    CPacketTree tree;
    ASSERT_TRUE(BuildPacketTree(4, kIcmp, tree));
    EXPECT_FALSE(BuildPacketTree(5, {}, tree));
    EXPECT_EQ(tree.nodes.size(), 24u);
    EXPECT_EQ(tree.RootText(), "Packet Number:4");
}

TEST(PacketTree, ExpandsTheReferencesOfTheTreeJustBuilt) {
    CPacketTree tree;
    const auto expanded = [&tree] {
        std::vector<std::string> texts;
        for (const int index : tree.ExpansionOrder()) {
            texts.push_back(tree.nodes.at(static_cast<std::size_t>(index)).text);
        }
        return texts;
    };
    ASSERT_TRUE(BuildPacketTree(1, TcpFrame(1, 2), tree));
    EXPECT_EQ(expanded(),
              (std::vector<std::string>{"Packet Number:1", "Ethernet Header", "Packet Number:1",
                                        "IP Header", "TCP Header", "Flags: 0x02", "Data"}));
    EXPECT_EQ(tree.ParentText(tree.root), "");
    // A UDP packet shown next: no flags or data node, and nothing refers past the new tree.
    ASSERT_TRUE(BuildPacketTree(2, OverIpv4(17).Udp().Build(), tree));
    EXPECT_EQ(expanded(), (std::vector<std::string>{"Packet Number:2", "Ethernet Header",
                                                    "Packet Number:2", "IP Header", "UDP Header"}));
}

}  // namespace
}  // namespace wirelark
