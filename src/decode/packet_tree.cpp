// Builds the explorer tree's lines from a frame, in the order and with the texts they are shown.
#include "decode/packet_tree.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "decode/frame_layout.h"
#include "decode/frame_reader.h"
#include "decode/protocol_names.h"

namespace wirelark {

void CPacketTree::Clear() {
    nodes.clear();
    root = ethernet = network = transport = tcpFlags = data = kNone;
}

int CPacketTree::Insert(int parent, std::string text, int icon) {
    const int index = static_cast<int>(nodes.size());
    nodes.push_back(CExplorerNode{std::move(text), icon, parent, {}});
    if (parent != kNone) {
        nodes[static_cast<std::size_t>(parent)].children.push_back(index);
    }
    return index;
}

std::vector<int> CPacketTree::ExpansionOrder() const {
    std::vector<int> order;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].parent == kNone) {
            order.push_back(static_cast<int>(i));
            break;
        }
    }
    for (const int reference : {ethernet, root, network, transport, tcpFlags, data}) {
        if (reference != kNone) {
            order.push_back(reference);
        }
    }
    return order;
}

std::string_view CPacketTree::RootText() const {
    return root == kNone ? std::string_view() : nodes[static_cast<std::size_t>(root)].text;
}

std::string_view CPacketTree::ParentText(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= nodes.size()) {
        return {};
    }
    const int parent = nodes[static_cast<std::size_t>(index)].parent;
    return parent == kNone ? std::string_view() : nodes[static_cast<std::size_t>(parent)].text;
}

namespace {

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char text[160];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) {
        return {};
    }
    return std::string(text,
                       std::min<std::size_t>(static_cast<std::size_t>(length), sizeof text - 1));
}

std::string BracketedAddress(const Ipv4Address& a) {
    return Format("[%d.%d.%d.%d]", a[0], a[1], a[2], a[3]);
}

// Adds field lines under the reference of their branch, which is always set when called.
class CTreeWriter {
public:
    CTreeWriter(const CFrameReader& frame, CPacketTree& tree) : m_frame(frame), m_tree(tree) {}

    void Ethernet() {
        m_tree.ethernet = m_tree.Insert(m_tree.root, "Ethernet Header", tree_icon::kEthernetHeader);
        const int parent = m_tree.ethernet;
        m_tree.Insert(parent, "Dst Mac Address:" + FormatMacAddress(Mac(offset::kDstMac)),
                      tree_icon::kEthernetField);
        m_tree.Insert(parent, "Src Mac Address:" + FormatMacAddress(Mac(offset::kSrcMac)),
                      tree_icon::kEthernetField);
        m_tree.Insert(parent, Format("Type:%d", m_frame.Be16(offset::kEtherType)),
                      tree_icon::kEthernetField);
    }

    void Ipv4(const CFrameLayout& layout) {
        m_tree.network = m_tree.Insert(m_tree.root, "IP Header", tree_icon::kNetworkHeader);
        const std::uint16_t flagsFragment = m_frame.Be16(offset::kIpFlagsFragment);
        const int h = layout.ipHeaderLength;
        Field(Format("Version: %d", m_frame.U8(offset::kIpVersionIhl) >> 4));
        Field(Format("Header length: %d bytes", h));
        Field(Format("Type of service: %d", m_frame.U8(offset::kIpTypeOfService)));
        Field(Format("Total Len: %d bytes", m_frame.Be16(offset::kIpTotalLength)));
        Field(Format("Identification: %d", m_frame.Be16(offset::kIpIdentification)));
        Field(Format("Flags: %xh", static_cast<unsigned>(flagsFragment >> 12)));
        Field(Format("Offset: %d bytes", flagsFragment & 0x1FFF));
        Field(Format("Time to live: %d seconds/hops", m_frame.U8(offset::kIpTimeToLive)));
        Field(Format("Protocol: %d - %s", layout.ipProtocol,
                     IpProtocolName(layout.ipProtocol).c_str()));
        Field(Format("Header checksum: %d", m_frame.Be16(offset::kIpChecksum)));
        Field("Source address: " + BracketedAddress(Ip(offset::kIpSource)));
        Field("Destination address: " + BracketedAddress(Ip(offset::kIpDestination)));
        Field(h == 20 ? std::string("No Ip Options") : Format("Ip Options: %d bytes", h - 20));
    }

    void Arp() {
        m_tree.network = m_tree.Insert(m_tree.root, "ARP frame", tree_icon::kNetworkHeader);
        const std::uint16_t hardware = m_frame.Be16(offset::kArpHardwareType);
        const std::uint16_t protocol = m_frame.Be16(offset::kArpProtocolType);
        const std::uint16_t operation = m_frame.Be16(offset::kArpOperation);
        Field(Format("Hardware Type: %d-%s", hardware, ArpHardwareTypeName(hardware).c_str()));
        Field(Format("Protocol Type: %d-%s", protocol, ArpProtocolTypeName(protocol).c_str()));
        Field(Format("Hardware address length: %d", m_frame.U8(offset::kArpHardwareLength)));
        Field(Format("Protocol address length: %d", m_frame.U8(offset::kArpProtocolLength)));
        Field(Format("Operation: %d-%s", operation, ArpOperationName(operation).c_str()));
        Field("Sender Hardware Address:" + FormatMacAddress(Mac(offset::kArpSenderMac)));
        Field("Sender Protocol Address: " + FormatDottedQuad(Ip(offset::kArpSenderIp)));
        Field("Target Hardware Address:" + FormatMacAddress(Mac(offset::kArpTargetMac)));
        Field("Target Protocol Address: " + FormatDottedQuad(Ip(offset::kArpTargetIp)));
    }

    void Icmp(std::size_t t) {
        m_tree.transport = m_tree.Insert(m_tree.root, "ICMP", tree_icon::kTransportHeader);
        const std::uint8_t type = m_frame.U8(t + offset::kIcmpType);
        const std::uint8_t code = m_frame.U8(t + offset::kIcmpCode);
        Segment(Format("Type: %2d - %s", type, IcmpTypeName(type, code).c_str()));
        Segment(Format("Identifier: %d", m_frame.Be16(t + offset::kIcmpIdentifier)));
        Segment(Format("Seq Number: %d", m_frame.Be16(t + offset::kIcmpSequence)));
        Segment(Format("Check Sum: %d", m_frame.Be16(t + offset::kIcmpChecksum)));
    }

    void Tcp(const CFrameLayout& layout) {
        const std::size_t t = layout.transportOffset;
        const int l = layout.tcpHeaderLength;
        m_tree.transport = m_tree.Insert(m_tree.root, "TCP Header", tree_icon::kTransportHeader);
        Ports(t);
        Segment(Format("Sequence number: %u", m_frame.Be32(t + offset::kTcpSequence)));
        Segment(
            Format("Acknowledgement number: %u", m_frame.Be32(t + offset::kTcpAcknowledgement)));
        Segment(Format("Header Length: %d", l));
        const std::uint8_t flags = m_frame.U8(t + offset::kTcpFlags);
        m_tree.tcpFlags = m_tree.Insert(m_tree.transport, Format("Flags: 0x%02X", flags),
                                        tree_icon::kTransportField);
        static constexpr const char* kFlagLines[] = {
            "FIN: %d -(No more data from sender)",    "SYN: %d - (Synchronize sequence number)",
            "RST: %d - (Reset the connection)",       "PSH: %d - (Push function)",
            "ACK: %d - (Acknowledgment field sign.)", "URG: %d - (Urgent pointer field sign.)",
        };
        for (int bit = 0; bit < 6; ++bit) {
            const int set = (flags >> bit) & 1;
            char text[64];
            std::snprintf(text, sizeof text, kFlagLines[bit], set);
            m_tree.Insert(m_tree.tcpFlags, text, set ? tree_icon::kFlagSet : tree_icon::kFlagClear);
        }
        Segment(Format("Window: %d", m_frame.Be16(t + offset::kTcpWindow)));
        Segment(Format("Checksum: %d", m_frame.Be16(t + offset::kTcpChecksum)));
        Segment(Format("Urgent point: %d", m_frame.Be16(t + offset::kTcpUrgent)));
        Segment(l == 20 ? std::string("No Tcp Options") : Format("Tcp Options: %d bytes", l - 20));
        Data(layout);
    }

    void Udp(const CFrameLayout& layout) {
        const std::size_t t = layout.transportOffset;
        m_tree.transport = m_tree.Insert(m_tree.root, "UDP Header", tree_icon::kTransportHeader);
        Ports(t);
        Segment(Format("Message length: %d", m_frame.Be16(t + offset::kUdpLength)));
        Segment(Format("Checksum: %d", m_frame.Be16(t + offset::kUdpChecksum)));
        Data(layout);
    }

private:
    MacAddress Mac(std::size_t at) const { return m_frame.Address<6>(at); }
    Ipv4Address Ip(std::size_t at) const { return m_frame.Address<4>(at); }
    void Field(std::string text) {
        m_tree.Insert(m_tree.network, std::move(text), tree_icon::kNetworkField);
    }
    void Segment(std::string text) {
        m_tree.Insert(m_tree.transport, std::move(text), tree_icon::kTransportField);
    }
    void Ports(std::size_t t) {
        Segment(Format("Source Port: %d", m_frame.Be16(t + offset::kSourcePort)));
        Segment(Format("Destination Port: %d", m_frame.Be16(t + offset::kDestinationPort)));
    }
    void Data(const CFrameLayout& layout) {
        const int payload = layout.PayloadSize();
        if (payload == 0) {
            return;
        }
        m_tree.data = m_tree.Insert(m_tree.root, "Data", tree_icon::kData);
        m_tree.Insert(m_tree.data, Format("%d byte(s) of data", payload), tree_icon::kPayloadSize);
    }

    const CFrameReader& m_frame;
    CPacketTree& m_tree;
};

}  // namespace

bool BuildPacketTree(int number, std::span<const std::uint8_t> frame, CPacketTree& tree) {
    if (frame.empty()) {
        return false;
    }
    const CFrameReader reader(frame);
    const CFrameLayout layout = DecodeFrameLayout(reader);
    tree.Clear();
    tree.root =
        tree.Insert(CPacketTree::kNone, Format("Packet Number:%d", number), tree_icon::kPacket);
    if (!layout.hasEthernet) {
        return true;
    }
    CTreeWriter writer(reader, tree);
    writer.Ethernet();
    if (layout.network == NetworkHeader::Arp) {
        writer.Arp();
        return true;
    }
    if (!layout.IsIpv4()) {
        return true;
    }
    writer.Ipv4(layout);
    switch (layout.transport) {
        case TransportHeader::Icmp:
            writer.Icmp(layout.transportOffset);
            break;
        case TransportHeader::Tcp:
            writer.Tcp(layout);
            break;
        case TransportHeader::Udp:
            writer.Udp(layout);
            break;
        case TransportHeader::None:
            break;
    }
    return true;
}

}  // namespace wirelark
