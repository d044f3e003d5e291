// Field positions, byte order, derived sizes and which headers a short frame still carries.
#include "decode/frame_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/frame_builder.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

TEST(FrameReader, AssemblesBigEndianNumbersFromRawBytes) {
    const std::vector<std::uint8_t> bytes{0x08, 0x00, 0x1C, 0x46, 0x00,
                                          0x00, 0x01, 0x00, 0xB8, 0x61};
    const CFrameReader reader(bytes);
    EXPECT_EQ(reader.Be16(0), 2048);
    EXPECT_EQ(reader.Be16(2), 7238);
    EXPECT_EQ(reader.Be32(4), 256u);
    EXPECT_EQ(reader.Be16(8), 47201);
    EXPECT_EQ(reader.U8(9), 0x61);
}

TEST(FrameReader, ReadsNothingPastTheEnd) {
    const std::vector<std::uint8_t> storage{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const CFrameReader reader(std::span<const std::uint8_t>(storage).first(3));
    EXPECT_TRUE(reader.Has(0, 3));
    EXPECT_TRUE(reader.Has(3, 0));
    EXPECT_FALSE(reader.Has(2, 2));
    EXPECT_FALSE(reader.Has(4, 0));
    EXPECT_FALSE(reader.Has(1, SIZE_MAX));
    EXPECT_EQ(reader.U8(3), 0);
    EXPECT_EQ(reader.Be16(2), 0);
    EXPECT_EQ(reader.Be32(0), 0u);
    EXPECT_EQ((reader.Address<4>(0)), (Ipv4Address{0, 0, 0, 0}));
}

TEST(FrameReader, WordFormKeepsTheLowByte) {
    const std::vector<std::uint16_t> words{0x0008, 0xFF00, 0x01AB};
    EXPECT_EQ(FrameFromWords(words), (std::vector<std::uint8_t>{0x08, 0x00, 0xAB}));
    EXPECT_EQ(WordsFromFrame(FrameFromWords(words)), (std::vector<std::uint16_t>{8, 0, 0xAB}));
}

struct CSizeCase {
    const char* name;
    std::vector<std::uint8_t> frame;
    int ipHeaderLength;
    int ipOptionsLength;
    int tcpOptionsLength;
    int payload;
    int first;
    int last;
};

class DerivedSizes : public testing::TestWithParam<CSizeCase> {};

TEST_P(DerivedSizes, FollowHeaderLengthFieldsAndFrameSize) {
    const CSizeCase& c = GetParam();
    EXPECT_EQ(GetIpHeaderLength(c.frame), c.ipHeaderLength);
    EXPECT_EQ(GetIpOptionsLength(c.frame), c.ipOptionsLength);
    EXPECT_EQ(GetTcpOptionsLength(c.frame), c.tcpOptionsLength);
    int first = -1;
    int last = -1;
    EXPECT_EQ(GetPayloadRange(c.frame, first, last), c.payload);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(last, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DerivedSizes,
    testing::Values(
        CSizeCase{"Tcp60WithPadding", CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build(), 20,
                  0, 0, 6, 54, 59},
        CSizeCase{"Tcp54NoPayload", CFrameBuilder().Ethernet().Ipv4().Tcp().Build(), 20, 0, 0, 0, 0,
                  0},
        CSizeCase{"Udp42NoPayload", CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Build(),
                  20, 0, 0, 0, 0, 0},
        CSizeCase{"UdpWithData",
                  CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(10).Build(), 20,
                  0, 0, 10, 42, 51},
        CSizeCase{"Ihl6MovesTransport",
                  CFrameBuilder().Ethernet().Ipv4({.ihl = 6}).Tcp().Payload(2).Build(), 24, 4, 0, 2,
                  58, 59},
        CSizeCase{"DataOffset8",
                  CFrameBuilder().Ethernet().Ipv4().Tcp({.dataOffset = 8}).Payload(4).Build(), 20,
                  0, 12, 4, 66, 69},
        CSizeCase{"Ihl4IsShorterThanMinimum",
                  CFrameBuilder().Ethernet().Ipv4({.ihl = 4, .protocol = 2}).Build(), 16, -4, 0, 0,
                  0, 0},
        // Options claimed but not captured: the payload comes out negative, the range inverted.
        CSizeCase{"TcpOptionsMissing",
                  CFrameBuilder().Ethernet().Ipv4().Tcp({.dataOffset = 8}).TruncateTo(60).Build(),
                  20, 0, 12, -6, 66, 59},
        CSizeCase{"IcmpHasNoPayloadSize",
                  CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().Payload(32).Build(), 20,
                  0, 0, 0, 0, 0},
        CSizeCase{"ArpIsNotIpv4", CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().Build(), 0,
                  0, 0, 0, 0, 0},
        CSizeCase{"Ipv6IsNotIpv4",
                  CFrameBuilder().Ethernet({.etherType = 0x86DD}).Payload(40).Build(), 0, 0, 0, 0,
                  0, 0},
        CSizeCase{"EmptyFrame", {}, 0, 0, 0, 0, 0, 0},
        // Headers cut short are not there at all, so nothing is derived from them.
        CSizeCase{"IpHeaderCutShort", CFrameBuilder().Ethernet().Ipv4().TruncateTo(33).Build(), 0,
                  0, 0, 0, 0, 0},
        CSizeCase{"TcpHeaderCutShort",
                  CFrameBuilder().Ethernet().Ipv4().Tcp().TruncateTo(53).Build(), 20, 0, 0, 0, 0,
                  0},
        CSizeCase{"UdpHeaderCutShort",
                  CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().TruncateTo(41).Build(),
                  20, 0, 0, 0, 0, 0}),
    [](const testing::TestParamInfo<CSizeCase>& param) { return param.param.name; });

struct CLayoutCase {
    const char* name;
    std::vector<std::uint8_t> frame;
    bool hasEthernet;
    NetworkHeader network;
    TransportHeader transport;
};

class HeaderPresence : public testing::TestWithParam<CLayoutCase> {};

// TCP and UDP cut-offs are covered through the tree and the filters.
TEST_P(HeaderPresence, NeedsTheWholeFixedPartOfEachHeader) {
    const CLayoutCase& c = GetParam();
    const CFrameLayout layout = DecodeFrameLayout(CFrameReader(c.frame));
    EXPECT_EQ(layout.hasEthernet, c.hasEthernet);
    EXPECT_EQ(layout.network, c.network);
    EXPECT_EQ(layout.transport, c.transport);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, HeaderPresence,
    testing::Values(
        CLayoutCase{"Ihl6TcpNeeds58",
                    CFrameBuilder().Ethernet().Ipv4({.ihl = 6}).Tcp().TruncateTo(57).Build(), true,
                    NetworkHeader::Ipv4, TransportHeader::None},
        CLayoutCase{"IcmpAt41",
                    CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().TruncateTo(41).Build(),
                    true, NetworkHeader::Ipv4, TransportHeader::None},
        CLayoutCase{"IcmpAt42", CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().Build(),
                    true, NetworkHeader::Ipv4, TransportHeader::Icmp},
        CLayoutCase{"ArpAt41",
                    CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().TruncateTo(41).Build(),
                    true, NetworkHeader::None, TransportHeader::None},
        CLayoutCase{"ArpAt42", CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().Build(), true,
                    NetworkHeader::Arp, TransportHeader::None},
        CLayoutCase{"RarpNotDecoded", CFrameBuilder().Ethernet({.etherType = 0x8035}).Arp().Build(),
                    true, NetworkHeader::None, TransportHeader::None},
        CLayoutCase{"VlanNotDecoded",
                    CFrameBuilder().Ethernet({.etherType = 0x8100}).Ipv4().Tcp().Build(), true,
                    NetworkHeader::None, TransportHeader::None},
        CLayoutCase{"OtherProtocolEndsAtIpv4",
                    CFrameBuilder().Ethernet().Ipv4({.protocol = 2}).Payload(8).Build(), true,
                    NetworkHeader::Ipv4, TransportHeader::None}),
    [](const testing::TestParamInfo<CLayoutCase>& param) { return param.param.name; });

}  // namespace
}  // namespace wirelark
