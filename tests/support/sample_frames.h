// Frames that the intake and row-text tests share: TCP and UDP between given ports, ICMP, IGMP,
// ARP, any other Ether type, and any of them cut short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/frame_builder.h"

namespace wirelark::test {

using Frame = std::vector<std::uint8_t>;

inline CFrameBuilder OverIpv4(std::uint8_t protocol, CIpv4Fields ip = {}) {
    ip.protocol = protocol;
    return CFrameBuilder().Ethernet().Ipv4(ip);
}
inline Frame TcpFrame(std::uint16_t source, std::uint16_t destination) {
    return OverIpv4(6)
        .Tcp({.sourcePort = source, .destinationPort = destination})
        .PadTo(60)
        .Build();
}
inline Frame UdpFrame(std::uint16_t source, std::uint16_t destination) {
    return OverIpv4(17)
        .Udp({.sourcePort = source, .destinationPort = destination})
        .PadTo(60)
        .Build();
}
// TCP after an IPv4 header with four option bytes, so the ports sit at 38 to 41.
inline Frame Ihl6TcpFrame(std::uint16_t source, std::uint16_t destination, CIpv4Fields ip = {}) {
    ip.ihl = 6;
    return OverIpv4(6, ip).Tcp({.sourcePort = source, .destinationPort = destination}).Build();
}
inline const Frame kIcmp = OverIpv4(1).Icmp().Build();
inline const Frame kIgmp = OverIpv4(2).Payload(8).PadTo(60).Build();
inline const Frame kArp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
inline Frame EtherFrame(std::uint16_t etherType) {
    return CFrameBuilder().Ethernet({.etherType = etherType}).Payload(46).Build();
}
inline Frame Cut(Frame frame, std::size_t size) {
    frame.resize(size);
    return frame;
}

}  // namespace wirelark::test
