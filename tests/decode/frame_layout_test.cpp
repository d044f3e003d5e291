// Field positions, byte order, derived sizes and which headers a short frame still carries.
#include "decode/frame_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/frame_builder.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

CFrameBuilder Ip(test::CIpv4Fields ip = {}) {
    return CFrameBuilder().Ethernet().Ipv4(ip);
}
CFrameBuilder EtherType(std::uint16_t etherType) {
    return CFrameBuilder().Ethernet({.etherType = etherType});
}

// Big-endian reads themselves show in every decoded text.
TEST(FrameReader, ReadsNothingPastTheEnd) {
    const std::vector<std::uint8_t> storage{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const CFrameReader cut(std::span<const std::uint8_t>(storage).first(3));
    EXPECT_TRUE(cut.Has(0, 3));
    EXPECT_TRUE(cut.Has(3, 0));
    EXPECT_FALSE(cut.Has(2, 2));
    EXPECT_FALSE(cut.Has(4, 0));
    EXPECT_FALSE(cut.Has(1, SIZE_MAX));
    EXPECT_EQ(cut.U8(3), 0);
    EXPECT_EQ(cut.Be16(2), 0);
    EXPECT_EQ(cut.Be32(0), 0u);
    EXPECT_EQ((cut.Address<4>(0)), (Ipv4Address{0, 0, 0, 0}));
}

TEST(FrameReader, WordFormKeepsTheLowByte) {
    const std::vector<std::uint16_t> words{0x0008, 0xFF00, 0x01AB};
    EXPECT_EQ(FrameFromWords(words), (std::vector<std::uint8_t>{0x08, 0x00, 0xAB}));
    EXPECT_EQ(WordsFromFrame(FrameFromWords(words)), (std::vector<std::uint16_t>{8, 0, 0xAB}));
}

TEST(DerivedSizes, FollowHeaderLengthFieldsAndFrameSize) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> frame;
        int ipHeader, ipOptions, tcpOptions, payload, first, last;
    } cases[] = {
        {"Tcp60WithPadding", Ip().Tcp().PadTo(60).Build(), 20, 0, 0, 6, 54, 59},
        {"Tcp54NoPayload", Ip().Tcp().Build(), 20, 0, 0, 0, 0, 0},
        {"Udp42NoPayload", Ip({.protocol = 17}).Udp().Build(), 20, 0, 0, 0, 0, 0},
        {"UdpWithData", Ip({.protocol = 17}).Udp().Payload(10).Build(), 20, 0, 0, 10, 42, 51},
        {"Ihl6MovesTransport", Ip({.ihl = 6}).Tcp().Payload(2).Build(), 24, 4, 0, 2, 58, 59},
        {"DataOffset8", Ip().Tcp({.dataOffset = 8}).Payload(4).Build(), 20, 0, 12, 4, 66, 69},
        {"Ihl4IsShorterThanMinimum", Ip({.ihl = 4, .protocol = 2}).Build(), 16, -4, 0, 0, 0, 0},
        // Options claimed but not captured: the payload comes out negative, the range inverted.
        {"TcpOptionsMissing", Ip().Tcp({.dataOffset = 8}).TruncateTo(60).Build(), 20, 0, 12, -6, 66,
         59},
        {"IcmpHasNoPayloadSize", Ip({.protocol = 1}).Icmp().Payload(32).Build(), 20, 0, 0, 0, 0, 0},
        {"ArpIsNotIpv4", EtherType(0x0806).Arp().Build(), 0, 0, 0, 0, 0, 0},
        {"Ipv6IsNotIpv4", EtherType(0x86DD).Payload(40).Build(), 0, 0, 0, 0, 0, 0},
        {"EmptyFrame", {}, 0, 0, 0, 0, 0, 0},
        // Headers cut short are not there at all, so nothing is derived from them.
        {"IpHeaderCutShort", Ip().TruncateTo(33).Build(), 0, 0, 0, 0, 0, 0},
        {"TcpHeaderCutShort", Ip().Tcp().TruncateTo(53).Build(), 20, 0, 0, 0, 0, 0},
        {"UdpHeaderCutShort", Ip({.protocol = 17}).Udp().TruncateTo(41).Build(), 20, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetIpHeaderLength(c.frame), c.ipHeader);
        EXPECT_EQ(GetIpOptionsLength(c.frame), c.ipOptions);
        EXPECT_EQ(GetTcpOptionsLength(c.frame), c.tcpOptions);
        int first = -1;
        int last = -1;
        EXPECT_EQ(GetPayloadRange(c.frame, first, last), c.payload);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(last, c.last);
    }
}

// TCP and UDP cut-offs are covered through the tree and the filters.
TEST(HeaderPresence, NeedsTheWholeFixedPartOfEachHeader) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> frame;
        NetworkHeader network;
        TransportHeader transport;
    } cases[] = {
        {"Ihl6TcpNeeds58", Ip({.ihl = 6}).Tcp().TruncateTo(57).Build(), NetworkHeader::Ipv4,
         TransportHeader::None},
        {"IcmpAt41", Ip({.protocol = 1}).Icmp().TruncateTo(41).Build(), NetworkHeader::Ipv4,
         TransportHeader::None},
        {"IcmpAt42", Ip({.protocol = 1}).Icmp().Build(), NetworkHeader::Ipv4,
         TransportHeader::Icmp},
        {"ArpAt41", EtherType(0x0806).Arp().TruncateTo(41).Build(), NetworkHeader::None,
         TransportHeader::None},
        {"ArpAt42", EtherType(0x0806).Arp().Build(), NetworkHeader::Arp, TransportHeader::None},
        {"RarpNotDecoded", EtherType(0x8035).Arp().Build(), NetworkHeader::None,
         TransportHeader::None},
        {"VlanNotDecoded", EtherType(0x8100).Ipv4().Tcp().Build(), NetworkHeader::None,
         TransportHeader::None},
        {"OtherProtocolEndsAtIpv4", Ip({.protocol = 2}).Payload(8).Build(), NetworkHeader::Ipv4,
         TransportHeader::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CFrameLayout layout = DecodeFrameLayout(CFrameReader(c.frame));
        EXPECT_TRUE(layout.hasEthernet);
        EXPECT_EQ(layout.network, c.network);
        EXPECT_EQ(layout.transport, c.transport);
    }
}

}  // namespace
}  // namespace wirelark
