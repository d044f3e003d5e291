// Row texts over the frame layout: addresses as the list shows them, the type with its IPv4
// protocol, and address/port pairs.
#include "decode/packet_row.h"

#include "decode/frame_layout.h"
#include "decode/frame_reader.h"
#include "decode/protocol_names.h"

namespace wirelark {

namespace {

void AppendAddressAndPort(std::string& out, const Ipv4Address& address, std::uint16_t port) {
    AppendDottedQuad(out, address);
    out.push_back('/');
    AppendDecimal(out, port);
}

// The IPv4 protocols the Type text names after the EtherType.
const char* ProtocolSuffix(const CFrameLayout& layout) {
    if (!layout.IsIpv4()) {
        return nullptr;
    }
    switch (layout.ipProtocol) {
        case kIpProtocolIcmp:
            return "ICMP";
        case kIpProtocolTcp:
            return "TCP";
        case kIpProtocolUdp:
            return "UDP";
        default:
            return nullptr;
    }
}

}  // namespace

void AppendTypeText(std::string& out, const CFrameLayout& layout) {
    if (!layout.hasEthernet) {
        return;
    }
    out.append(EtherTypeName(layout.etherType));
    if (const char* protocol = ProtocolSuffix(layout)) {
        out.push_back('-');
        out.append(protocol);
    }
}

std::uint32_t TypeTextKey(const CFrameLayout& layout) {
    if (!layout.hasEthernet) {
        return 0;
    }
    const std::uint32_t protocol = layout.IsIpv4() ? 0x100u | layout.ipProtocol : 0u;
    return 0x8000'0000u | (std::uint32_t{layout.etherType} << 9) | protocol;
}

bool HasIpColumns(const CFrameLayout& layout) {
    if (!layout.IsIpv4()) {
        return false;
    }
    // Without the whole transport header there are no ports to show.
    const bool bPorted = layout.ipProtocol == kIpProtocolTcp || layout.ipProtocol == kIpProtocolUdp;
    return !bPorted || layout.HasPorts();
}

CIpColumns ReadIpColumns(const CFrameReader& reader, const CFrameLayout& layout) {
    CIpColumns ip;
    ip.source = reader.Address<4>(offset::kIpSource);
    ip.destination = reader.Address<4>(offset::kIpDestination);
    if (layout.HasPorts()) {
        ip.sourcePort = reader.Be16(layout.transportOffset + offset::kSourcePort);
        ip.destinationPort = reader.Be16(layout.transportOffset + offset::kDestinationPort);
    }
    return ip;
}

void FormatFrameColumns(std::span<const std::uint8_t> frame, CPacketRow& row) {
    for (int column = kColumnMacSource; column <= kColumnIpDest; ++column) {
        row.columns[static_cast<std::size_t>(column)].clear();
    }
    const CFrameReader reader(frame);
    const CFrameLayout layout = DecodeFrameLayout(reader);
    if (!layout.hasEthernet) {
        return;
    }
    AppendMacAddress(row.columns[kColumnMacSource], reader.Address<6>(offset::kSrcMac));
    AppendMacAddress(row.columns[kColumnMacDest], reader.Address<6>(offset::kDstMac));
    AppendTypeText(row.columns[kColumnType], layout);
    if (!HasIpColumns(layout)) {
        return;
    }
    const CIpColumns ip = ReadIpColumns(reader, layout);
    AppendAddressAndPort(row.columns[kColumnIpSource], ip.source, ip.sourcePort);
    AppendAddressAndPort(row.columns[kColumnIpDest], ip.destination, ip.destinationPort);
}

void FormatPacketRow(int number, std::string_view timeText, int length,
                     std::span<const std::uint8_t> frame, CPacketRow& row) {
    std::string& id = row.columns[kColumnId];
    id.clear();
    AppendDecimal(id, number);
    row.columns[kColumnTimeStamp].assign(timeText);
    std::string& len = row.columns[kColumnLen];
    len.clear();
    AppendDecimal(len, length);
    FormatFrameColumns(frame, row);
}

}  // namespace wirelark
