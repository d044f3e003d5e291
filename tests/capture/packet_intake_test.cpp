// The intake's filters, buffer limit and counters.
#include "capture/packet_intake.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/sample_frames.h"

namespace wirelark {
namespace {

using namespace test;  // the sample frames

TEST(Filters, DecideByTheFlagsAndWhatTheFrameStillHolds) {
    const CFilterFlags kInitial{};
    const CFilterFlags kAll{.m_bArp = 1, .m_bIcmp = 1, .m_bTcp = 1, .m_bUdp = 1, .m_bHttp = 1};
    const CFilterFlags kNoneFiltered{.m_bOthers = 0};
    const CFilterFlags kHttp{.m_bHttp = 1};
    const struct {
        const char* name;
        Frame frame;
        CFilterFlags flags;
        int byProtocol;
        int byPort;
    } cases[] = {
        // The initial flags drop only what is neither IPv4 nor ARP.
        {"InitialIpv6", EtherFrame(0x86DD), kInitial, 1, 0},
        {"InitialArp", kArp, kInitial, 0, 0},
        {"InitialTcp", TcpFrame(1, 2), kInitial, 0, 0},
        {"OthersOffIpv6", EtherFrame(0x86DD), kNoneFiltered, 0, 0},
        // A port preset keeps only TCP and UDP.
        {"Arp", kArp, kAll, 1, 1},
        {"Icmp", kIcmp, kAll, 1, 1},
        {"Tcp", TcpFrame(1, 2), kAll, 1, 1},
        {"Udp", UdpFrame(1, 2), kAll, 1, 1},
        {"IgmpPassesEveryProtocolFlag", kIgmp, kAll, 0, 1},
        {"TcpFlagLeavesUdp", UdpFrame(1, 2), CFilterFlags{.m_bTcp = 1}, 0, 0},
        {"TwoPresetsEitherKeeps", TcpFrame(3000, 21), {.m_bHttp = 1, .m_bFtp = 1}, 0, 0},
        {"TwoPresetsOtherDropped", TcpFrame(3000, 22), {.m_bHttp = 1, .m_bFtp = 1}, 0, 1},
        // IHL 6: the ports are at 38 to 41; at 34 to 37 this frame holds option bytes.
        {"PortsAfterLongerIpHeader", Ihl6TcpFrame(4000, 80), kHttp, 0, 0},
        {"SourcePortAfterLongerIpHeader", Ihl6TcpFrame(80, 4000), kHttp, 0, 0},
        {"PortsAfterLongerIpHeaderOnly",
         Ihl6TcpFrame(4000, 4001, {.source = {0, 80, 0, 80}, .destination = {0, 80, 0, 80}}), kHttp,
         0, 1},
        // Short frames: without a readable EtherType a frame counts as "Others"; without its
        // whole IPv4 header it has no protocol; without its whole TCP/UDP header no ports.
        {"ShortFrameOthersOff", Cut(TcpFrame(80, 80), 13), kNoneFiltered, 0, 0},
        {"ShortFrameFailsPorts", Cut(TcpFrame(80, 80), 13), kHttp, 1, 1},
        {"ArpCutShortIsStillArp", Cut(kArp, 20), kAll, 1, 1},
        {"Ipv4WithoutWholeHeader", Cut(TcpFrame(80, 80), 33), kAll, 0, 1},
        {"EndingInsideTcpHeader", Cut(TcpFrame(80, 80), 53), kAll, 1, 1},
        {"WholeTcpHeaderKeepsPorts", Cut(TcpFrame(80, 80), 54), kHttp, 0, 0},
        {"WholeUdpHeaderKeepsPorts", Cut(UdpFrame(80, 80), 42), kHttp, 0, 0},
        {"UdpHeaderCutShort", Cut(UdpFrame(80, 80), 41), kHttp, 0, 1},
        {"EmptyFrame", Frame{}, kHttp, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsFilteredByProtocol(c.flags, c.frame), c.byProtocol);
        EXPECT_EQ(IsFilteredByPort(c.flags, c.frame), c.byPort);
    }
}

TEST(Filters, EachPortPresetKeepsItsPortAtEitherEndOverTcpOrUdpAndNoOther) {
    const struct {
        std::int32_t CFilterFlags::*flag;
        std::uint16_t port;
    } presets[] = {{&CFilterFlags::m_bHttp, 80},
                   {&CFilterFlags::m_bSmtp, 25},
                   {&CFilterFlags::m_bPop3, 110},
                   {&CFilterFlags::m_bFtp, 21},
                   {&CFilterFlags::m_bTelnet, 23}};
    for (std::size_t i = 0; i < std::size(presets); ++i) {
        SCOPED_TRACE(presets[i].port);
        CFilterFlags flags;
        flags.*presets[i].flag = 1;
        const std::uint16_t port = presets[i].port;
        const std::uint16_t otherPresetsPort = presets[(i + 1) % std::size(presets)].port;
        EXPECT_EQ(IsFilteredByPort(flags, TcpFrame(port, 51000)), 0);
        EXPECT_EQ(IsFilteredByPort(flags, TcpFrame(51000, port)), 0);
        EXPECT_EQ(IsFilteredByPort(flags, UdpFrame(port, 9)), 0);
        EXPECT_EQ(IsFilteredByPort(flags, TcpFrame(51000, otherPresetsPort)), 1);
    }
}

TEST(Intake, FiltersRunInOrderOnlyAStoredFrameCountsAsCapturedAndAResetEmptiesTheCounts) {
    CIntakeCounters counters;
    counters.bufferSetting = 1;
    const CFilterFlags httpAndTcp{.m_bTcp = 1, .m_bHttp = 1};
    int stores = 0;
    const auto take = [&](const Frame& frame, bool stored) {
        return TakeCapturedFrame(counters, httpAndTcp, 1514, frame, [&] {
            ++stores;
            return stored;
        });
    };
    EXPECT_EQ(take(TcpFrame(51000, 80), true), IntakeVerdict::FilteredByProtocol);
    EXPECT_EQ(take(UdpFrame(53, 53), true), IntakeVerdict::FilteredByPort);
    EXPECT_EQ(stores, 0);
    EXPECT_EQ(counters.filtered, 2);
    // The document refused it (out of memory): no row, so no count and no bytes.
    EXPECT_EQ(take(UdpFrame(80, 53), false), IntakeVerdict::NotStored);
    EXPECT_EQ(counters.captured, 0);
    EXPECT_EQ(counters.byteTotal, 0u);
    EXPECT_EQ(take(UdpFrame(80, 53), true), IntakeVerdict::Accepted);
    EXPECT_EQ(stores, 2);
    EXPECT_EQ(counters.filtered, 2);
    EXPECT_EQ(counters.captured, 1);
    EXPECT_EQ(counters.byteTotal, 1514u);
    // A new document: every count starts again, the buffer setting stays.
    counters.Reset();
    EXPECT_EQ(std::tie(counters.captured, counters.filtered, counters.byteTotal),
              std::tuple(0, 0, 0u));
    EXPECT_EQ(counters.bufferSetting, 1);
}

TEST(Intake, FramesOf1514BytesFillAOneMegabyteBufferAfter661) {
    CIntakeCounters counters;
    const Frame frame = test::OverIpv4(6).Tcp().Payload(1460).Build();
    ASSERT_EQ(frame.size(), 1514u);
    const auto take = [&](const Frame& f) {
        return TakeCapturedFrame(counters, CFilterFlags{}, 1514, f, [] { return true; });
    };
    int accepted = 0;
    while (accepted < 700 && take(frame) == IntakeVerdict::Accepted) {
        ++accepted;
    }
    EXPECT_EQ(accepted, 661);
    EXPECT_EQ(counters.captured, 661);
    EXPECT_EQ(counters.byteTotal, 1'000'754u);
    // A full buffer refuses every frame, before any filter, and counts nothing.
    EXPECT_EQ(take(EtherFrame(0x86DD)), IntakeVerdict::BufferFull);
    EXPECT_EQ(counters.filtered, 0);
    EXPECT_EQ(counters.captured, 661);
    counters.bufferSetting = 1;  // a larger buffer makes room again
    EXPECT_EQ(counters.GetBufferFill(), 50u);
}

TEST(Intake, BufferFillIsAPercentageOfTheSettingPlusOneMegabytes) {
    // 4e9 would overflow total * 100 in 32 bits; settings outside 0 to 99 are taken as the
    // nearest end rather than dividing by 0.
    EXPECT_EQ(GetBufferFill(9'999, 0), 0u);
    EXPECT_EQ(GetBufferFill(10'000, 0), 1u);
    EXPECT_EQ(GetBufferFill(999'999, 0), 99u);
    EXPECT_EQ(GetBufferFill(1'000'000, 0), 100u);
    EXPECT_EQ(GetBufferFill(50'000'000, 99), 50u);
    EXPECT_EQ(GetBufferFill(99'999'999, 99), 99u);
    EXPECT_EQ(GetBufferFill(100'000'000, 99), 100u);
    EXPECT_EQ(GetBufferFill(50'000'000, 49), 100u);
    EXPECT_EQ(GetBufferFill(4'000'000'000u, 99), 100u);
    EXPECT_EQ(GetBufferFill(500'000, -1), 50u);
    EXPECT_EQ(GetBufferFill(500'000, -1'000'001), 50u);
    EXPECT_EQ(GetBufferFill(50'000'000, 1000), 50u);
}

TEST(Intake, CountersSaturateInsteadOfWrapping) {
    CIntakeCounters counters;
    counters.filtered = INT32_MAX;
    counters.captured = INT32_MAX;
    JudgeCapturedFrame(counters, CFilterFlags{}, EtherFrame(0x86DD));
    counters.CountStored(4'000'000'000u);
    counters.CountStored(4'000'000'000u);
    EXPECT_EQ(counters.filtered, INT32_MAX);
    EXPECT_EQ(counters.captured, INT32_MAX);
    EXPECT_EQ(counters.byteTotal, 4'294'967'295u);
    EXPECT_EQ(counters.GetBufferFill(), 100u);
}

}  // namespace
}  // namespace wirelark
