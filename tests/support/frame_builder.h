// Builds Ethernet frames for tests layer by layer with readable field values: Ethernet, ARP,
// IPv4 (any IHL, with option bytes), ICMP, TCP (any data offset) and UDP, then payload, padding
// and truncation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace wirelark::test {

using Mac = std::array<std::uint8_t, 6>;
using Ip = std::array<std::uint8_t, 4>;

struct CEthernetFields {
    Mac dst{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    Mac src{0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};
    std::uint16_t etherType = 0x0800;
};

struct CIpv4Fields {
    std::uint8_t version = 4;
    std::uint8_t ihl = 5;  // options of (ihl - 5) * 4 bytes follow the fixed 20
    std::uint8_t typeOfService = 0;
    std::optional<std::uint16_t> totalLength{};  // unset: the bytes from here to the end, unpadded
    std::uint16_t identification = 0x1C46;
    std::uint16_t flagsFragment = 0x4000;  // don't fragment
    std::uint8_t timeToLive = 64;
    std::uint8_t protocol = 6;
    std::uint16_t checksum = 0xB861;
    Ip source{192, 168, 0, 1};
    Ip destination{10, 0, 0, 2};
};

struct CTcpFields {
    std::uint16_t sourcePort = 51000;
    std::uint16_t destinationPort = 80;
    std::uint32_t sequence = 256;
    std::uint32_t acknowledgement = 0;
    std::uint8_t dataOffset = 5;  // options of (dataOffset - 5) * 4 bytes follow the fixed 20
    std::uint8_t flags = 0x02;    // SYN
    std::uint16_t window = 64240;
    std::uint16_t checksum = 0x1234;
    std::uint16_t urgent = 0;
};

struct CUdpFields {
    std::uint16_t sourcePort = 53;
    std::uint16_t destinationPort = 53;
    std::optional<std::uint16_t> length{};  // unset: the bytes from here to the end, unpadded
    std::uint16_t checksum = 0xABCD;
};

struct CIcmpFields {
    std::uint8_t type = 8;
    std::uint8_t code = 0;
    std::uint16_t checksum = 0x4D5A;
    std::uint16_t identifier = 1;
    std::uint16_t sequence = 7;
};

struct CArpFields {
    std::uint16_t hardwareType = 1;
    std::uint16_t protocolType = 0x0800;
    std::uint8_t hardwareLength = 6;
    std::uint8_t protocolLength = 4;
    std::uint16_t operation = 1;
    Mac senderMac{0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};
    Ip senderIp{192, 168, 0, 1};
    Mac targetMac{0, 0, 0, 0, 0, 0};
    Ip targetIp{192, 168, 0, 254};
};

class CFrameBuilder {
public:
    CFrameBuilder& Ethernet(const CEthernetFields& fields = {});
    CFrameBuilder& Ipv4(const CIpv4Fields& fields = {});
    CFrameBuilder& Tcp(const CTcpFields& fields = {});
    CFrameBuilder& Udp(const CUdpFields& fields = {});
    CFrameBuilder& Icmp(const CIcmpFields& fields = {});
    CFrameBuilder& Arp(const CArpFields& fields = {});
    // Payload bytes counting up from `first`.
    CFrameBuilder& Payload(std::size_t count, std::uint8_t first = 0);
    // Zero bytes up to a frame of `size` bytes, as an adapter pads a short frame; not counted
    // in the automatic length fields.
    CFrameBuilder& PadTo(std::size_t size);
    // Cuts the frame to at most `size` bytes, as if it had been captured short.
    CFrameBuilder& TruncateTo(std::size_t size);

    std::vector<std::uint8_t> Build() const;

private:
    void Put8(std::uint8_t value) { m_bytes.push_back(value); }
    void Put16(std::uint16_t value);
    void Put32(std::uint32_t value);
    template <std::size_t N>
    void Put(const std::array<std::uint8_t, N>& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    }

    std::vector<std::uint8_t> m_bytes;
    std::optional<std::size_t> m_autoIpLength;   // offset of the IPv4 header to fill in
    std::optional<std::size_t> m_autoUdpLength;  // offset of the UDP header to fill in
    std::optional<std::size_t> m_unpaddedSize;
    std::optional<std::size_t> m_truncatedSize;
};

}  // namespace wirelark::test
