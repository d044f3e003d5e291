// Frame builder for tests; multi-byte fields go out in network order.
#include "support/frame_builder.h"

#include <algorithm>

namespace wirelark::test {

void CFrameBuilder::Put16(std::uint16_t value) {
    Put8(static_cast<std::uint8_t>(value >> 8));
    Put8(static_cast<std::uint8_t>(value & 0xFF));
}

void CFrameBuilder::Put32(std::uint32_t value) {
    Put16(static_cast<std::uint16_t>(value >> 16));
    Put16(static_cast<std::uint16_t>(value & 0xFFFF));
}

CFrameBuilder& CFrameBuilder::Ethernet(const CEthernetFields& fields) {
    Put(fields.dst);
    Put(fields.src);
    Put16(fields.etherType);
    return *this;
}

CFrameBuilder& CFrameBuilder::Ipv4(const CIpv4Fields& fields) {
    const std::size_t start = m_bytes.size();
    Put8(static_cast<std::uint8_t>((fields.version << 4) | (fields.ihl & 0x0F)));
    Put8(fields.typeOfService);
    Put16(fields.totalLength.value_or(0));
    Put16(fields.identification);
    Put16(fields.flagsFragment);
    Put8(fields.timeToLive);
    Put8(fields.protocol);
    Put16(fields.checksum);
    Put(fields.source);
    Put(fields.destination);
    for (int i = 20; i < (fields.ihl & 0x0F) * 4; ++i) {
        Put8(0x01);  // no-operation option
    }
    if (!fields.totalLength) {
        m_autoIpLength = start;
    }
    return *this;
}

CFrameBuilder& CFrameBuilder::Tcp(const CTcpFields& fields) {
    Put16(fields.sourcePort);
    Put16(fields.destinationPort);
    Put32(fields.sequence);
    Put32(fields.acknowledgement);
    Put8(static_cast<std::uint8_t>(fields.dataOffset << 4));
    Put8(fields.flags);
    Put16(fields.window);
    Put16(fields.checksum);
    Put16(fields.urgent);
    for (int i = 20; i < (fields.dataOffset & 0x0F) * 4; ++i) {
        Put8(0x01);
    }
    return *this;
}

CFrameBuilder& CFrameBuilder::Udp(const CUdpFields& fields) {
    if (!fields.length) {
        m_autoUdpLength = m_bytes.size();
    }
    Put16(fields.sourcePort);
    Put16(fields.destinationPort);
    Put16(fields.length.value_or(0));
    Put16(fields.checksum);
    return *this;
}

CFrameBuilder& CFrameBuilder::Icmp(const CIcmpFields& fields) {
    Put8(fields.type);
    Put8(fields.code);
    Put16(fields.checksum);
    Put16(fields.identifier);
    Put16(fields.sequence);
    return *this;
}

CFrameBuilder& CFrameBuilder::Arp(const CArpFields& fields) {
    Put16(fields.hardwareType);
    Put16(fields.protocolType);
    Put8(fields.hardwareLength);
    Put8(fields.protocolLength);
    Put16(fields.operation);
    Put(fields.senderMac);
    Put(fields.senderIp);
    Put(fields.targetMac);
    Put(fields.targetIp);
    return *this;
}

CFrameBuilder& CFrameBuilder::Payload(std::size_t count, std::uint8_t first) {
    for (std::size_t i = 0; i < count; ++i) {
        Put8(static_cast<std::uint8_t>(first + i));
    }
    return *this;
}

CFrameBuilder& CFrameBuilder::PadTo(std::size_t size) {
    if (!m_unpaddedSize) {
        m_unpaddedSize = m_bytes.size();
    }
    if (m_bytes.size() < size) {
        m_bytes.resize(size, 0);
    }
    return *this;
}

CFrameBuilder& CFrameBuilder::TruncateTo(std::size_t size) {
    m_truncatedSize = std::min(size, m_truncatedSize.value_or(size));
    return *this;
}

std::vector<std::uint8_t> CFrameBuilder::Build() const {
    std::vector<std::uint8_t> frame = m_bytes;
    const std::size_t end = m_unpaddedSize.value_or(frame.size());
    const auto fill = [&](std::optional<std::size_t> at, std::size_t field) {
        if (at && *at + field + 2 <= frame.size()) {
            const auto length = static_cast<std::uint16_t>(end - *at);
            frame[*at + field] = static_cast<std::uint8_t>(length >> 8);
            frame[*at + field + 1] = static_cast<std::uint8_t>(length & 0xFF);
        }
    };
    fill(m_autoIpLength, 2);
    fill(m_autoUdpLength, 4);
    if (m_truncatedSize && *m_truncatedSize < frame.size()) {
        frame.resize(*m_truncatedSize);
    }
    return frame;
}

}  // namespace wirelark::test
