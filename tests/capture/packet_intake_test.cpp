// The intake's filters, buffer limit, counters, time text and row texts.
#include "capture/packet_intake.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "support/frame_builder.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;
using Frame = std::vector<std::uint8_t>;

CFrameBuilder Ip(std::uint8_t protocol, test::CIpv4Fields ip = {}) {
    ip.protocol = protocol;
    return CFrameBuilder().Ethernet().Ipv4(ip);
}
Frame TcpFrame(std::uint16_t source, std::uint16_t destination) {
    return Ip(6).Tcp({.sourcePort = source, .destinationPort = destination}).PadTo(60).Build();
}
Frame UdpFrame(std::uint16_t source, std::uint16_t destination) {
    return Ip(17).Udp({.sourcePort = source, .destinationPort = destination}).PadTo(60).Build();
}
// TCP after an IPv4 header with four option bytes, so the ports sit at 38 to 41.
Frame Ihl6TcpFrame(std::uint16_t source, std::uint16_t destination, test::CIpv4Fields ip = {}) {
    ip.ihl = 6;
    return Ip(6, ip).Tcp({.sourcePort = source, .destinationPort = destination}).Build();
}
const Frame kIcmp = Ip(1).Icmp().Build();
const Frame kIgmp = Ip(2).Payload(8).PadTo(60).Build();
const Frame kArp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
Frame EtherFrame(std::uint16_t etherType) {
    return CFrameBuilder().Ethernet({.etherType = etherType}).Payload(46).Build();
}
Frame Cut(Frame frame, std::size_t size) {
    frame.resize(size);
    return frame;
}

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
    const Frame frame = Ip(6).Tcp().Payload(1460).Build();
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

TEST(TimeText, ShowsLocalClockAndMicrosecondsPaddedToSix) {
    const char* tz = std::getenv("TZ");
    const std::optional<std::string> savedTz = tz ? std::optional<std::string>(tz) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
    // 1700000000 is 22:13:20 UTC.
    for (const auto& [microseconds, text] :
         std::vector<std::pair<long, std::string>>{{7, "22:13:20,000007 "},
                                                   {250000, "22:13:20,250000 "},
                                                   {0, "22:13:20,000000 "},
                                                   {80008, "22:13:20,080008 "},
                                                   {123456, "22:13:20,123456 "},
                                                   {999999, "22:13:20,999999 "}}) {
        EXPECT_EQ(FormatTimeText(timeval{1'700'000'000, microseconds}), text);
    }
    EXPECT_EQ(FormatTimeText(timeval{0, 1}), "00:00:00,000001 ");
    if (savedTz) {
        setenv("TZ", savedTz->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(RowTexts, FillTheFrameColumns) {
    const std::string src = "66.77.88.99.AA.BB";
    const std::string dst = "00.11.22.33.44.55";
    const struct {
        const char* name;
        Frame frame;
        std::vector<std::string> columns;  // MAC Source to IP Dest/Port
    } cases[] = {
        {"Tcp", TcpFrame(51000, 80), {src, dst, "IPv4-TCP", "192.168.0.1/51000", "10.0.0.2/80"}},
        {"Udp", UdpFrame(5353, 53), {src, dst, "IPv4-UDP", "192.168.0.1/5353", "10.0.0.2/53"}},
        {"IcmpHasPortZero", kIcmp, {src, dst, "IPv4-ICMP", "192.168.0.1/0", "10.0.0.2/0"}},
        {"IgmpHasNoProtocolText", kIgmp, {src, dst, "IPv4", "192.168.0.1/0", "10.0.0.2/0"}},
        {"PortsAfterLongerIpHeader",
         Ihl6TcpFrame(4000, 443),
         {src, dst, "IPv4-TCP", "192.168.0.1/4000", "10.0.0.2/443"}},
        {"ArpHasNoIpColumns", kArp, {src, dst, "ARP", "", ""}},
        {"RarpByName", EtherFrame(0x8035), {src, dst, "RARP", "", ""}},
        {"Ipv6InDecimal", EtherFrame(0x86DD), {src, dst, "34525", "", ""}},
        {"HighAddressBytes",
         CFrameBuilder()
             .Ethernet({.dst = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                        .src = {0x0A, 0xB0, 0x0C, 0xD0, 0x0E, 0xF0}})
             .Ipv4({.protocol = 17, .source = {255, 0, 10, 1}, .destination = {1, 2, 3, 255}})
             .Udp({.sourcePort = 65535, .destinationPort = 0})
             .Build(),
         {"0A.B0.0C.D0.0E.F0", "FF.FF.FF.FF.FF.FF", "IPv4-UDP", "255.0.10.1/65535", "1.2.3.255/0"}},
        // Short frames leave empty what their headers cannot fill.
        {"EmptyFrame", Frame{}, {"", "", "", "", ""}},
        {"WithoutWholeEthernetHeader", Cut(TcpFrame(1, 2), 13), {"", "", "", "", ""}},
        {"WithoutWholeIpv4Header", Cut(TcpFrame(1, 2), 33), {src, dst, "IPv4", "", ""}},
        {"WithoutWholeTcpHeader", Cut(TcpFrame(1, 2), 53), {src, dst, "IPv4-TCP", "", ""}},
        {"IcmpNeedsNoIcmpHeader",
         Cut(kIcmp, 34),
         {src, dst, "IPv4-ICMP", "192.168.0.1/0", "10.0.0.2/0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CPacketRow row;
        FormatPacketRow(12, "10:00:00,005 ", 1514, c.frame, row);
        EXPECT_EQ(row[kColumnId], "12");
        EXPECT_EQ(row[kColumnTimeStamp], "10:00:00,005 ");
        EXPECT_EQ(row[kColumnLen], "1514");
        EXPECT_EQ(
            std::vector<std::string>(row.columns.begin() + kColumnMacSource, row.columns.end()),
            c.columns);
    }
}

TEST(RowTexts, AReusedRowKeepsNothingFromTheFrameBefore) {
    CPacketRow row;
    FormatPacketRow(1, "t", 60, TcpFrame(1, 2), row);
    FormatPacketRow(2, "u", 60, kArp, row);
    EXPECT_EQ(row[kColumnType], "ARP");
    EXPECT_EQ(row[kColumnIpSource], "");
    FormatPacketRow(3, "v", 0, Frame{}, row);
    EXPECT_EQ(row[kColumnMacSource], "");
    EXPECT_EQ(row[kColumnType], "");
    EXPECT_EQ(row[kColumnId], "3");
    EXPECT_EQ(row[kColumnLen], "0");
}

}  // namespace
}  // namespace wirelark
