// The intake's filters, buffer limit and counters.
#include "capture/packet_intake.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/sample_frames.h"

namespace wirelark {
namespace {

using namespace test;  // the sample frames

TEST(Filters, DecideByTheFlagsAndWhatTheFrameStillHolds) {
    const CFilterFlags kInitial{};
    const CFilterFlags kAllProtocols{.m_bArp = 1, .m_bIcmp = 1, .m_bTcp = 1, .m_bUdp = 1};
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
        {"InitialRarp", EtherFrame(0x8035), kInitial, 1, 0},
        {"InitialArp", kArp, kInitial, 0, 0},
        {"InitialTcp", TcpFrame(1, 2), kInitial, 0, 0},
        {"InitialIgmp", kIgmp, kInitial, 0, 0},
        {"OthersOffIpv6", EtherFrame(0x86DD), kNoneFiltered, 0, 0},
        {"ArpFlag", kArp, kAllProtocols, 1, 0},
        {"IcmpFlag", kIcmp, kAllProtocols, 1, 0},
        {"TcpFlag", TcpFrame(1, 2), kAllProtocols, 1, 0},
        {"UdpFlag", UdpFrame(1, 2), kAllProtocols, 1, 0},
        {"IgmpPassesEveryProtocolFlag", kIgmp, kAllProtocols, 0, 0},
        {"TcpFlagLeavesUdp", UdpFrame(1, 2), CFilterFlags{.m_bTcp = 1}, 0, 0},
        // A port preset keeps only TCP and UDP.
        {"HttpDropsArp", kArp, kHttp, 0, 1},
        {"HttpDropsIcmp", kIcmp, kHttp, 0, 1},
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
        {"ShortFrameIsOthers", Cut(TcpFrame(80, 80), 13), kInitial, 1, 0},
        {"ShortFrameOthersOff", Cut(TcpFrame(80, 80), 13), kNoneFiltered, 0, 0},
        {"ShortFrameFailsPorts", Cut(TcpFrame(80, 80), 13), kHttp, 1, 1},
        {"ArpCutShortIsStillArp", Cut(kArp, 20), kAllProtocols, 1, 0},
        {"Ipv4WithoutWholeHeaderIsKept", Cut(TcpFrame(80, 80), 33), kAllProtocols, 0, 0},
        {"Ipv4WithoutWholeHeaderHasNoPorts", Cut(TcpFrame(80, 80), 33), kHttp, 0, 1},
        {"EndingBeforePortsFailsPortFilter", Cut(TcpFrame(80, 80), 36), kHttp, 0, 1},
        {"EndingInsideTcpHeaderFailsPortFilter", Cut(TcpFrame(80, 80), 53), kHttp, 0, 1},
        {"EndingInsideTcpHeaderStillTcp", Cut(TcpFrame(80, 80), 53), kAllProtocols, 1, 0},
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
        EXPECT_EQ(flags.IsPortFilterOn(), 0);
        flags.*presets[i].flag = 1;
        EXPECT_EQ(flags.IsPortFilterOn(), 1);
        const std::uint16_t port = presets[i].port;
        const std::uint16_t otherPresetsPort = presets[(i + 1) % std::size(presets)].port;
        EXPECT_EQ(IsFilteredByPort(flags, TcpFrame(port, 51000)), 0);
        EXPECT_EQ(IsFilteredByPort(flags, TcpFrame(51000, port)), 0);
        EXPECT_EQ(IsFilteredByPort(flags, UdpFrame(port, 9)), 0);
        EXPECT_EQ(IsFilteredByPort(flags, TcpFrame(51000, otherPresetsPort)), 1);
        EXPECT_EQ(IsFilteredByPort(flags, UdpFrame(53, 53)), 1);
    }
}

TEST(Intake, FiltersRunInOrderAndOnlyAStoredFrameCountsAsCaptured) {
    CIntakeCounters counters;
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
}

TEST(Intake, FramesOf1514BytesFillAOneMegabyteBufferAfter661) {
    CIntakeCounters counters;
    const Frame frame = test::OverIpv4(6).Tcp().Payload(1460).Build();
    ASSERT_EQ(frame.size(), 1514u);
    int accepted = 0;
    for (int n = 1; n <= 700; ++n) {
        const std::uint32_t fillBefore = counters.GetBufferFill();
        const std::uint32_t bytesBefore = counters.byteTotal;
        const IntakeVerdict verdict =
            TakeCapturedFrame(counters, CFilterFlags{}, 1514, frame, [] { return true; });
        if (verdict != IntakeVerdict::Accepted) {
            EXPECT_EQ(n, 662);
            EXPECT_EQ(verdict, IntakeVerdict::BufferFull);
            EXPECT_EQ(fillBefore, 100u);
            break;
        }
        ++accepted;
        if (n == 661) {
            EXPECT_EQ(bytesBefore, 999'240u);
            EXPECT_EQ(fillBefore, 99u);
        }
    }
    EXPECT_EQ(accepted, 661);
    EXPECT_EQ(counters.byteTotal, 1'000'754u);
    EXPECT_EQ(counters.captured, 661);
    // A full buffer refuses every frame, before any filter, and counts nothing.
    EXPECT_EQ(JudgeCapturedFrame(counters, CFilterFlags{}, EtherFrame(0x86DD)),
              IntakeVerdict::BufferFull);
    EXPECT_EQ(counters.filtered, 0);
    // A larger buffer makes room again; a reset empties it.
    counters.bufferSetting = 1;
    EXPECT_EQ(counters.GetBufferFill(), 50u);
    counters.Reset();
    EXPECT_EQ(counters.GetBufferFill(), 0u);
    EXPECT_EQ(counters.captured, 0);
    EXPECT_EQ(counters.bufferSetting, 1);
}

TEST(Intake, BufferFillIsAPercentageOfTheSettingPlusOneMegabytes) {
    // {total, setting, fill}; 4e9 would overflow total * 100 in 32 bits; settings outside 0 to
    // 99 are taken as the nearest end rather than dividing by 0.
    const std::uint32_t cases[][3] = {
        {0, 0, 0},
        {9'999, 0, 0},
        {10'000, 0, 1},
        {999'999, 0, 99},
        {1'000'000, 0, 100},
        {50'000'000, 99, 50},
        {99'999'999, 99, 99},
        {100'000'000, 99, 100},
        {50'000'000, 49, 100},
        {43'000'000, 99, 43},
        {4'000'000'000u, 99, 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetBufferFill(c[0], static_cast<int>(c[1])), c[2]) << c[0] << " " << c[1];
    }
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
