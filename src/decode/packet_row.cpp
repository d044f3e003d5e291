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

}  // namespace

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
    std::string& type = row.columns[kColumnType];
    type = EtherTypeName(layout.etherType);
    if (!layout.IsIpv4()) {
        return;
    }

    const char* protocolText = nullptr;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    bool columnsFilled = true;
    switch (layout.ipProtocol) {
        case kIpProtocolIcmp:
            protocolText = "ICMP";
            break;
        case kIpProtocolTcp:
        case kIpProtocolUdp:
            protocolText = layout.ipProtocol == kIpProtocolTcp ? "TCP" : "UDP";
            // Without the whole transport header there are no ports to show.
            columnsFilled = layout.HasPorts();
            sourcePort = reader.Be16(layout.transportOffset + offset::kSourcePort);
            destinationPort = reader.Be16(layout.transportOffset + offset::kDestinationPort);
            break;
        default:
            break;
    }
    if (columnsFilled) {
        AppendAddressAndPort(row.columns[kColumnIpSource], reader.Address<4>(offset::kIpSource),
                             sourcePort);
        AppendAddressAndPort(row.columns[kColumnIpDest], reader.Address<4>(offset::kIpDestination),
                             destinationPort);
    }
    if (protocolText != nullptr) {
        type.push_back('-');
        type.append(protocolText);
    }
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
