// Finds the headers of a stored frame and answers the per-packet length questions.
#include "decode/frame_layout.h"

#include <algorithm>
#include <climits>

namespace wirelark {

namespace {

// Stored frames never come near 2 GiB, but the arithmetic must not overflow if one did.
int ClampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

std::vector<std::uint8_t> FrameFromWords(std::span<const std::uint16_t> words) {
    std::vector<std::uint8_t> frame(words.size());
    std::transform(words.begin(), words.end(), frame.begin(),
                   [](std::uint16_t word) { return static_cast<std::uint8_t>(word & 0xFF); });
    return frame;
}

std::vector<std::uint16_t> WordsFromFrame(std::span<const std::uint8_t> frame) {
    return std::vector<std::uint16_t>(frame.begin(), frame.end());
}

int CFrameLayout::PayloadSize() const {
    int headers = 0;
    if (transport == TransportHeader::Tcp) {
        headers = tcpHeaderLength;
    } else if (transport == TransportHeader::Udp) {
        headers = static_cast<int>(offset::kUdpSize);
    } else {
        return 0;
    }
    return ClampToInt(static_cast<std::int64_t>(frameSize) -
                      static_cast<std::int64_t>(transportOffset) - headers);
}

int CFrameLayout::PayloadFirst() const {
    const int headers =
        transport == TransportHeader::Tcp ? tcpHeaderLength : static_cast<int>(offset::kUdpSize);
    return static_cast<int>(transportOffset) + headers;
}

CFrameLayout DecodeFrameLayout(const CFrameReader& frame) {
    CFrameLayout layout;
    layout.frameSize = frame.Size();
    if (!frame.Has(0, offset::kEthernetEnd)) {
        return layout;
    }
    layout.hasEthernet = true;
    layout.etherType = frame.Be16(offset::kEtherType);

    if (layout.etherType == kEtherTypeArp) {
        if (frame.Has(offset::kEthernetEnd, offset::kArpEnd - offset::kEthernetEnd)) {
            layout.network = NetworkHeader::Arp;
        }
        return layout;
    }
    if (layout.etherType != kEtherTypeIpv4 ||
        !frame.Has(offset::kEthernetEnd, offset::kIpFixedEnd - offset::kEthernetEnd)) {
        return layout;
    }
    layout.network = NetworkHeader::Ipv4;
    layout.ipHeaderLength = (frame.U8(offset::kIpVersionIhl) & 0x0F) * 4;
    layout.ipProtocol = frame.U8(offset::kIpProtocol);
    layout.transportOffset = offset::kEthernetEnd + static_cast<std::size_t>(layout.ipHeaderLength);

    const std::size_t t = layout.transportOffset;
    switch (layout.ipProtocol) {
        case kIpProtocolIcmp:
            if (frame.Has(t, offset::kIcmpFixedSize)) {
                layout.transport = TransportHeader::Icmp;
            }
            break;
        case kIpProtocolTcp:
            if (frame.Has(t, offset::kTcpFixedSize)) {
                layout.transport = TransportHeader::Tcp;
                layout.tcpHeaderLength = (frame.U8(t + offset::kTcpDataOffset) >> 4) * 4;
            }
            break;
        case kIpProtocolUdp:
            if (frame.Has(t, offset::kUdpSize)) {
                layout.transport = TransportHeader::Udp;
            }
            break;
        default:
            break;
    }
    return layout;
}

int GetIpHeaderLength(std::span<const std::uint8_t> frame) {
    return DecodeFrameLayout(CFrameReader(frame)).ipHeaderLength;
}

int GetIpOptionsLength(std::span<const std::uint8_t> frame) {
    const CFrameLayout layout = DecodeFrameLayout(CFrameReader(frame));
    return layout.IsIpv4() ? layout.ipHeaderLength - 20 : 0;
}

int GetTcpOptionsLength(std::span<const std::uint8_t> frame) {
    const CFrameLayout layout = DecodeFrameLayout(CFrameReader(frame));
    return layout.transport == TransportHeader::Tcp ? layout.tcpHeaderLength - 20 : 0;
}

int GetPayloadRange(std::span<const std::uint8_t> frame, int& first, int& last) {
    first = 0;
    last = 0;
    const CFrameLayout layout = DecodeFrameLayout(CFrameReader(frame));
    const int payload = layout.PayloadSize();
    if (payload != 0) {
        first = layout.PayloadFirst();
        last = ClampToInt(static_cast<std::int64_t>(layout.frameSize) - 1);
    }
    return payload;
}

}  // namespace wirelark
