// Bounded reads, the word form of frames and the sizes derived from header length fields. Which
// headers a short frame still carries shows in the packet tree's tests.
#include "decode/frame_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/sample_frames.h"

namespace wirelark {
namespace {

using namespace test;  // the frame builder and sample frames

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

// Option lengths and payloads of whole frames show in the packet tree's ranges.
TEST(DerivedSizes, FollowHeaderLengthFieldsAndFrameSize) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> frame;
        int ipHeader, ipOptions, tcpOptions, payload, first, last;
    } cases[] = {
        {"Tcp54NoPayload", OverIpv4(6).Tcp().Build(), 20, 0, 0, 0, 0, 0},
        {"Udp42NoPayload", OverIpv4(17).Udp().Build(), 20, 0, 0, 0, 0, 0},
        {"Ihl4IsShorterThanMinimum", OverIpv4(2, {.ihl = 4}).Build(), 16, -4, 0, 0, 0, 0},
        // Options claimed but not captured: the payload comes out negative, the range inverted.
        {"TcpOptionsMissing", OverIpv4(6).Tcp({.dataOffset = 8}).TruncateTo(60).Build(), 20, 0, 12,
         -6, 66, 59},
        {"IcmpHasNoPayloadSize", OverIpv4(1).Icmp().Payload(32).Build(), 20, 0, 0, 0, 0, 0},
        {"ArpIsNotIpv4", kArp, 0, 0, 0, 0, 0, 0},
        {"Ipv6IsNotIpv4", EtherFrame(0x86DD), 0, 0, 0, 0, 0, 0},
        {"EmptyFrame", {}, 0, 0, 0, 0, 0, 0},
        // Headers cut short are not there at all, so nothing is derived from them.
        {"IpHeaderCutShort", OverIpv4(6).TruncateTo(33).Build(), 0, 0, 0, 0, 0, 0},
        {"TcpHeaderCutShort", OverIpv4(6).Tcp().TruncateTo(53).Build(), 20, 0, 0, 0, 0, 0},
        {"UdpHeaderCutShort", OverIpv4(17).Udp().TruncateTo(41).Build(), 20, 0, 0, 0, 0, 0},
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

}  // namespace
}  // namespace wirelark
