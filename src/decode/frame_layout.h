// Where each header and field of a stored Ethernet frame lies, which headers a frame carries, and
// the per-packet length answers that the field byte ranges are built on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/frame_reader.h"

namespace wirelark {

// Byte offsets from the first byte of the destination MAC address.
namespace offset {
inline constexpr std::size_t kDstMac = 0;
inline constexpr std::size_t kSrcMac = 6;
inline constexpr std::size_t kEtherType = 12;
inline constexpr std::size_t kEthernetEnd = 14;

inline constexpr std::size_t kIpVersionIhl = 14;
inline constexpr std::size_t kIpTypeOfService = 15;
inline constexpr std::size_t kIpTotalLength = 16;
inline constexpr std::size_t kIpIdentification = 18;
inline constexpr std::size_t kIpFlagsFragment = 20;
inline constexpr std::size_t kIpTimeToLive = 22;
inline constexpr std::size_t kIpProtocol = 23;
inline constexpr std::size_t kIpChecksum = 24;
inline constexpr std::size_t kIpSource = 26;
inline constexpr std::size_t kIpDestination = 30;
inline constexpr std::size_t kIpFixedEnd = 34;

inline constexpr std::size_t kArpHardwareType = 14;
inline constexpr std::size_t kArpProtocolType = 16;
inline constexpr std::size_t kArpHardwareLength = 18;
inline constexpr std::size_t kArpProtocolLength = 19;
inline constexpr std::size_t kArpOperation = 20;
inline constexpr std::size_t kArpSenderMac = 22;
inline constexpr std::size_t kArpSenderIp = 28;
inline constexpr std::size_t kArpTargetMac = 32;
inline constexpr std::size_t kArpTargetIp = 38;
inline constexpr std::size_t kArpEnd = 42;

// From the start T of the transport header.
inline constexpr std::size_t kSourcePort = 0;
inline constexpr std::size_t kDestinationPort = 2;
inline constexpr std::size_t kTcpSequence = 4;
inline constexpr std::size_t kTcpAcknowledgement = 8;
inline constexpr std::size_t kTcpDataOffset = 12;
inline constexpr std::size_t kTcpFlags = 13;
inline constexpr std::size_t kTcpWindow = 14;
inline constexpr std::size_t kTcpChecksum = 16;
inline constexpr std::size_t kTcpUrgent = 18;
inline constexpr std::size_t kTcpFixedSize = 20;
inline constexpr std::size_t kUdpLength = 4;
inline constexpr std::size_t kUdpChecksum = 6;
inline constexpr std::size_t kUdpSize = 8;
inline constexpr std::size_t kIcmpType = 0;
inline constexpr std::size_t kIcmpCode = 1;
inline constexpr std::size_t kIcmpChecksum = 2;
inline constexpr std::size_t kIcmpIdentifier = 4;
inline constexpr std::size_t kIcmpSequence = 6;
inline constexpr std::size_t kIcmpFixedSize = 8;
}  // namespace offset

inline constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
inline constexpr std::uint16_t kEtherTypeArp = 0x0806;
inline constexpr std::uint16_t kEtherTypeRarp = 0x8035;
inline constexpr std::uint8_t kIpProtocolIcmp = 1;
inline constexpr std::uint8_t kIpProtocolTcp = 6;
inline constexpr std::uint8_t kIpProtocolUdp = 17;

enum class NetworkHeader { None, Ipv4, Arp };
enum class TransportHeader { None, Icmp, Tcp, Udp };

// Which headers a frame carries. A header counts only when its fixed part is wholly present
// (Ethernet 14 bytes, IPv4 20, ARP 28, TCP 20, UDP 8, ICMP 8); decoding stops at the first one
// that is not. Header and options lengths are taken as found, also below 20.
struct CFrameLayout {
    std::size_t frameSize = 0;
    bool hasEthernet = false;
    std::uint16_t etherType = 0;
    NetworkHeader network = NetworkHeader::None;
    int ipHeaderLength = 0;  // H
    std::uint8_t ipProtocol = 0;
    std::size_t transportOffset = 0;  // T = 14 + H
    TransportHeader transport = TransportHeader::None;
    int tcpHeaderLength = 0;  // L

    bool IsIpv4() const { return network == NetworkHeader::Ipv4; }
    // TCP and UDP carry ports and a payload size.
    bool HasPorts() const {
        return transport == TransportHeader::Tcp || transport == TransportHeader::Udp;
    }
    // P = N - 14 - H - L for TCP, N - 14 - H - 8 for UDP; negative when the frame is shorter
    // than its headers claim; 0 without a TCP or UDP header.
    int PayloadSize() const;
    int PayloadFirst() const;
};

CFrameLayout DecodeFrameLayout(const CFrameReader& frame);

// H for an IPv4 frame, else 0.
int GetIpHeaderLength(std::span<const std::uint8_t> frame);
// H - 20 for an IPv4 frame, else 0.
int GetIpOptionsLength(std::span<const std::uint8_t> frame);
// L - 20 for an IPv4 frame carrying TCP, else 0.
int GetTcpOptionsLength(std::span<const std::uint8_t> frame);
// Sets first and last to 0, then to the payload range when the frame carries TCP or UDP and the
// payload size is not 0; returns the payload size (possibly negative) or 0.
int GetPayloadRange(std::span<const std::uint8_t> frame, int& first, int& last);

}  // namespace wirelark
