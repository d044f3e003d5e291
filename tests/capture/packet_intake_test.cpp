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

Frame TcpFrame(std::uint16_t source, std::uint16_t destination) {
    return CFrameBuilder()
        .Ethernet()
        .Ipv4()
        .Tcp({.sourcePort = source, .destinationPort = destination})
        .PadTo(60)
        .Build();
}
Frame UdpFrame(std::uint16_t source, std::uint16_t destination) {
    return CFrameBuilder()
        .Ethernet()
        .Ipv4({.protocol = 17})
        .Udp({.sourcePort = source, .destinationPort = destination})
        .PadTo(60)
        .Build();
}
// TCP after an IPv4 header with four option bytes, so the ports sit at 38 to 41.
Frame Ihl6TcpFrame(std::uint16_t source, std::uint16_t destination, test::CIpv4Fields ip = {}) {
    ip.ihl = 6;
    return CFrameBuilder()
        .Ethernet()
        .Ipv4(ip)
        .Tcp({.sourcePort = source, .destinationPort = destination})
        .Build();
}
Frame IcmpFrame() {
    return CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().Build();
}
Frame IgmpFrame() {
    return CFrameBuilder().Ethernet().Ipv4({.protocol = 2}).Payload(8).PadTo(60).Build();
}
Frame ArpFrame() {
    return CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().PadTo(60).Build();
}
Frame EtherFrame(std::uint16_t etherType) {
    return CFrameBuilder().Ethernet({.etherType = etherType}).Payload(46).Build();
}
Frame Cut(Frame frame, std::size_t size) {
    frame.resize(size);
    return frame;
}

struct CFilterCase {
    const char* name;
    Frame frame;
    CFilterFlags flags;
    int byProtocol;
    int byPort;
};

class Filters : public testing::TestWithParam<CFilterCase> {};

TEST_P(Filters, DecideByTheFlags) {
    const CFilterCase& c = GetParam();
    EXPECT_EQ(IsFilteredByProtocol(c.flags, c.frame), c.byProtocol);
    EXPECT_EQ(IsFilteredByPort(c.flags, c.frame), c.byPort);
}

const CFilterFlags kInitial{};
const CFilterFlags kAllProtocols{.m_bArp = 1, .m_bIcmp = 1, .m_bTcp = 1, .m_bUdp = 1};
const CFilterFlags kNoneFiltered{.m_bOthers = 0};
const CFilterFlags kHttp{.m_bHttp = 1};
const CFilterFlags kSmtp{.m_bSmtp = 1};
const CFilterFlags kPop3{.m_bPop3 = 1};
const CFilterFlags kFtp{.m_bFtp = 1};
const CFilterFlags kTelnet{.m_bTelnet = 1};
const CFilterFlags kHttpAndFtp{.m_bHttp = 1, .m_bFtp = 1};

INSTANTIATE_TEST_SUITE_P(
    Frames, Filters,
    testing::Values(
        // The initial flags drop only what is neither IPv4 nor ARP.
        CFilterCase{"InitialIpv6", EtherFrame(0x86DD), kInitial, 1, 0},
        CFilterCase{"InitialRarp", EtherFrame(0x8035), kInitial, 1, 0},
        CFilterCase{"InitialArp", ArpFrame(), kInitial, 0, 0},
        CFilterCase{"InitialTcp", TcpFrame(1, 2), kInitial, 0, 0},
        CFilterCase{"InitialIgmp", IgmpFrame(), kInitial, 0, 0},
        CFilterCase{"OthersOffIpv6", EtherFrame(0x86DD), kNoneFiltered, 0, 0},
        CFilterCase{"ArpFlag", ArpFrame(), kAllProtocols, 1, 0},
        CFilterCase{"IcmpFlag", IcmpFrame(), kAllProtocols, 1, 0},
        CFilterCase{"TcpFlag", TcpFrame(1, 2), kAllProtocols, 1, 0},
        CFilterCase{"UdpFlag", UdpFrame(1, 2), kAllProtocols, 1, 0},
        CFilterCase{"IgmpPassesEveryProtocolFlag", IgmpFrame(), kAllProtocols, 0, 0},
        CFilterCase{"TcpFlagLeavesUdp", UdpFrame(1, 2), CFilterFlags{.m_bTcp = 1}, 0, 0},
        // Port presets keep only TCP and UDP with a flagged port at either end.
        CFilterCase{"HttpFromServer", TcpFrame(80, 51000), kHttp, 0, 0},
        CFilterCase{"HttpToServer", TcpFrame(51000, 80), kHttp, 0, 0},
        CFilterCase{"HttpDropsDns", UdpFrame(53, 53), kHttp, 0, 1},
        CFilterCase{"HttpDropsArp", ArpFrame(), kHttp, 0, 1},
        CFilterCase{"HttpDropsIcmp", IcmpFrame(), kHttp, 0, 1},
        CFilterCase{"HttpDropsIgmp", IgmpFrame(), kHttp, 0, 1},
        CFilterCase{"HttpOverUdp", UdpFrame(80, 9), kHttp, 0, 0},
        CFilterCase{"Smtp", TcpFrame(25, 3000), kSmtp, 0, 0},
        CFilterCase{"SmtpDropsHttp", TcpFrame(80, 3000), kSmtp, 0, 1},
        CFilterCase{"Pop3", TcpFrame(3000, 110), kPop3, 0, 0},
        CFilterCase{"Ftp", TcpFrame(21, 3000), kFtp, 0, 0},
        CFilterCase{"Telnet", TcpFrame(3000, 23), kTelnet, 0, 0},
        CFilterCase{"TelnetDropsFtp", TcpFrame(3000, 21), kTelnet, 0, 1},
        CFilterCase{"TwoPresetsEitherKeeps", TcpFrame(3000, 21), kHttpAndFtp, 0, 0},
        CFilterCase{"TwoPresetsOtherDropped", TcpFrame(3000, 22), kHttpAndFtp, 0, 1},
        // IHL 6: the ports are at 38 to 41; at 34 to 37 this frame holds option bytes.
        CFilterCase{"PortsAfterLongerIpHeader", Ihl6TcpFrame(4000, 80), kHttp, 0, 0},
        CFilterCase{"SourcePortAfterLongerIpHeader", Ihl6TcpFrame(80, 4000), kHttp, 0, 0},
        CFilterCase{
            "PortsAfterLongerIpHeaderOnly",
            Ihl6TcpFrame(4000, 4001, {.source = {0, 80, 0, 80}, .destination = {0, 80, 0, 80}}),
            kHttp, 0, 1},
        // Short frames: without a readable EtherType a frame counts as "Others"; without its
        // whole IPv4 header it has no protocol; without its whole TCP/UDP header no ports.
        CFilterCase{"ShortFrameIsOthers", Cut(TcpFrame(80, 80), 13), kInitial, 1, 0},
        CFilterCase{"ShortFrameOthersOff", Cut(TcpFrame(80, 80), 13), kNoneFiltered, 0, 0},
        CFilterCase{"ShortFrameFailsPorts", Cut(TcpFrame(80, 80), 13), kHttp, 1, 1},
        CFilterCase{"ArpCutShortIsStillArp", Cut(ArpFrame(), 20), kAllProtocols, 1, 0},
        CFilterCase{"Ipv4WithoutWholeHeaderIsKept", Cut(TcpFrame(80, 80), 33), kAllProtocols, 0, 0},
        CFilterCase{"Ipv4WithoutWholeHeaderHasNoPorts", Cut(TcpFrame(80, 80), 33), kHttp, 0, 1},
        CFilterCase{"EndingBeforePortsFailsPortFilter", Cut(TcpFrame(80, 80), 36), kHttp, 0, 1},
        CFilterCase{"EndingInsideTcpHeaderFailsPortFilter", Cut(TcpFrame(80, 80), 53), kHttp, 0, 1},
        CFilterCase{"EndingInsideTcpHeaderStillTcp", Cut(TcpFrame(80, 80), 53), kAllProtocols, 1,
                    0},
        CFilterCase{"WholeTcpHeaderKeepsPorts", Cut(TcpFrame(80, 80), 54), kHttp, 0, 0},
        CFilterCase{"WholeUdpHeaderKeepsPorts", Cut(UdpFrame(80, 80), 42), kHttp, 0, 0},
        CFilterCase{"UdpHeaderCutShort", Cut(UdpFrame(80, 80), 41), kHttp, 0, 1},
        CFilterCase{"EmptyFrame", Frame{}, kHttp, 1, 1}),
    [](const testing::TestParamInfo<CFilterCase>& param) { return param.param.name; });

TEST(FilterFlags, StartWithOnlyOthersSetAndPortFilterOff) {
    const CFilterFlags flags;
    EXPECT_EQ(flags.IsOthersFiltered(), 1);
    EXPECT_EQ(flags.IsArpFiltered() + flags.IsIcmpFiltered() + flags.IsTcpFiltered() +
                  flags.IsUdpFiltered(),
              0);
    EXPECT_EQ(flags.IsPortFilterOn(), 0);
    for (std::int32_t CFilterFlags::*flag :
         {&CFilterFlags::m_bHttp, &CFilterFlags::m_bSmtp, &CFilterFlags::m_bPop3,
          &CFilterFlags::m_bFtp, &CFilterFlags::m_bTelnet}) {
        CFilterFlags one;
        one.*flag = 1;
        EXPECT_EQ(one.IsPortFilterOn(), 1);
    }
}

TEST(Intake, ProtocolFilterRunsBeforePortFilterAndEachCountsOnce) {
    CIntakeCounters counters;
    const CFilterFlags httpAndTcp{.m_bTcp = 1, .m_bHttp = 1};
    EXPECT_EQ(JudgeCapturedFrame(counters, httpAndTcp, TcpFrame(51000, 80)),
              IntakeVerdict::FilteredByProtocol);
    EXPECT_EQ(JudgeCapturedFrame(counters, httpAndTcp, UdpFrame(53, 53)),
              IntakeVerdict::FilteredByPort);
    EXPECT_EQ(JudgeCapturedFrame(counters, httpAndTcp, UdpFrame(80, 53)), IntakeVerdict::Accepted);
    EXPECT_EQ(counters.filtered, 2);
    EXPECT_EQ(counters.captured, 1);
    EXPECT_EQ(counters.byteTotal, 0u);
}

TEST(Intake, FramesOf1514BytesFillAOneMegabyteBufferAfter661) {
    CIntakeCounters counters;
    const Frame frame = CFrameBuilder().Ethernet().Ipv4().Tcp().Payload(1460).Build();
    ASSERT_EQ(frame.size(), 1514u);
    int accepted = 0;
    for (int n = 1; n <= 700; ++n) {
        const std::uint32_t fillBefore = counters.GetBufferFill();
        const IntakeVerdict verdict = JudgeCapturedFrame(counters, CFilterFlags{}, frame);
        if (verdict != IntakeVerdict::Accepted) {
            EXPECT_EQ(n, 662);
            EXPECT_EQ(verdict, IntakeVerdict::BufferFull);
            EXPECT_EQ(fillBefore, 100u);
            break;
        }
        ++accepted;
        if (n == 661) {
            EXPECT_EQ(counters.byteTotal, 999'240u);
            EXPECT_EQ(fillBefore, 99u);
        }
        counters.AddCapturedBytes(static_cast<std::uint32_t>(frame.size()));
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

TEST(BufferFill, IsAPercentageOfTheSettingPlusOneMegabytes) {
    struct CFillCase {
        std::uint32_t total;
        int setting;
        std::uint32_t fill;
    };
    for (const CFillCase c : {
             CFillCase{0, 0, 0},
             CFillCase{9'999, 0, 0},
             CFillCase{10'000, 0, 1},
             CFillCase{999'999, 0, 99},
             CFillCase{1'000'000, 0, 100},
             CFillCase{50'000'000, 99, 50},
             CFillCase{99'999'999, 99, 99},
             CFillCase{100'000'000, 99, 100},
             // 32-bit arithmetic would overflow total * 100 here.
             CFillCase{4'000'000'000u, 99, 100},
             CFillCase{50'000'000, 49, 100},
             CFillCase{43'000'000, 99, 43},
             // Settings outside 0 to 99 are taken as the nearest end rather than dividing by 0.
             CFillCase{500'000, -1, 50},
             CFillCase{500'000, -1'000'001, 50},
             CFillCase{50'000'000, 1000, 50},
         }) {
        EXPECT_EQ(GetBufferFill(c.total, c.setting), c.fill) << c.total << " " << c.setting;
    }
}

TEST(Intake, CountersSaturateInsteadOfWrapping) {
    CIntakeCounters counters;
    counters.filtered = INT32_MAX;
    counters.captured = INT32_MAX;
    JudgeCapturedFrame(counters, CFilterFlags{}, EtherFrame(0x86DD));
    JudgeCapturedFrame(counters, CFilterFlags{}, ArpFrame());
    EXPECT_EQ(counters.filtered, INT32_MAX);
    EXPECT_EQ(counters.captured, INT32_MAX);
    counters.AddCapturedBytes(4'000'000'000u);
    counters.AddCapturedBytes(4'000'000'000u);
    EXPECT_EQ(counters.byteTotal, 4'294'967'295u);
    EXPECT_EQ(counters.GetBufferFill(), 100u);
}

class TimeText : public testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_savedTz = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (m_savedTz) {
            setenv("TZ", m_savedTz->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> m_savedTz;
};

TEST_F(TimeText, ShowsLocalClockAndRawMicrosecondsPaddedToThree) {
    // 1700000000 is 22:13:20 UTC.
    struct CTimeCase {
        long microseconds;
        const char* text;
    };
    for (const CTimeCase c :
         {CTimeCase{7, "22:13:20,007 "}, CTimeCase{250000, "22:13:20,250000 "},
          CTimeCase{0, "22:13:20,000 "}, CTimeCase{5, "22:13:20,005 "},
          CTimeCase{123, "22:13:20,123 "}, CTimeCase{123456, "22:13:20,123456 "},
          CTimeCase{999999, "22:13:20,999999 "}}) {
        EXPECT_EQ(FormatTimeText(timeval{1'700'000'000, c.microseconds}), c.text);
    }
    EXPECT_EQ(FormatTimeText(timeval{0, 1}), "00:00:00,001 ");
}

struct CRowCase {
    const char* name;
    Frame frame;
    std::vector<std::string> columns;  // MAC Source to IP Dest/Port
};

class RowTexts : public testing::TestWithParam<CRowCase> {};

TEST_P(RowTexts, FillTheFrameColumns) {
    const CRowCase& c = GetParam();
    CPacketRow row;
    FormatPacketRow(12, "10:00:00,005 ", 1514, c.frame, row);
    EXPECT_EQ(row[kColumnId], "12");
    EXPECT_EQ(row[kColumnTimeStamp], "10:00:00,005 ");
    EXPECT_EQ(row[kColumnLen], "1514");
    const std::vector<std::string> columns(row.columns.begin() + kColumnMacSource,
                                           row.columns.end());
    EXPECT_EQ(columns, c.columns);
}

const std::string kSrcMac = "66.77.88.99.AA.BB";
const std::string kDstMac = "00.11.22.33.44.55";

INSTANTIATE_TEST_SUITE_P(
    Frames, RowTexts,
    testing::Values(
        CRowCase{"Tcp",
                 TcpFrame(51000, 80),
                 {kSrcMac, kDstMac, "IPv4-TCP", "192.168.0.1/51000", "10.0.0.2/80"}},
        CRowCase{"Udp",
                 UdpFrame(5353, 53),
                 {kSrcMac, kDstMac, "IPv4-UDP", "192.168.0.1/5353", "10.0.0.2/53"}},
        CRowCase{"IcmpHasPortZero",
                 IcmpFrame(),
                 {kSrcMac, kDstMac, "IPv4-ICMP", "192.168.0.1/0", "10.0.0.2/0"}},
        CRowCase{"IgmpHasNoProtocolText",
                 IgmpFrame(),
                 {kSrcMac, kDstMac, "IPv4", "192.168.0.1/0", "10.0.0.2/0"}},
        CRowCase{"PortsAfterLongerIpHeader",
                 Ihl6TcpFrame(4000, 443),
                 {kSrcMac, kDstMac, "IPv4-TCP", "192.168.0.1/4000", "10.0.0.2/443"}},
        CRowCase{"ArpHasNoIpColumns", ArpFrame(), {kSrcMac, kDstMac, "ARP", "", ""}},
        CRowCase{"RarpByName", EtherFrame(0x8035), {kSrcMac, kDstMac, "RARP", "", ""}},
        CRowCase{"Ipv6InDecimal", EtherFrame(0x86DD), {kSrcMac, kDstMac, "34525", "", ""}},
        CRowCase{
            "HighAddressBytes",
            CFrameBuilder()
                .Ethernet({.dst = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                           .src = {0x0A, 0xB0, 0x0C, 0xD0, 0x0E, 0xF0}})
                .Ipv4({.protocol = 17, .source = {255, 0, 10, 1}, .destination = {1, 2, 3, 255}})
                .Udp({.sourcePort = 65535, .destinationPort = 0})
                .Build(),
            {"0A.B0.0C.D0.0E.F0", "FF.FF.FF.FF.FF.FF", "IPv4-UDP", "255.0.10.1/65535",
             "1.2.3.255/0"}},
        // Short frames leave empty what their headers cannot fill.
        CRowCase{"EmptyFrame", Frame{}, {"", "", "", "", ""}},
        CRowCase{"WithoutWholeEthernetHeader", Cut(TcpFrame(1, 2), 13), {"", "", "", "", ""}},
        CRowCase{
            "WithoutWholeIpv4Header", Cut(TcpFrame(1, 2), 33), {kSrcMac, kDstMac, "IPv4", "", ""}},
        CRowCase{"WithoutWholeTcpHeader",
                 Cut(TcpFrame(1, 2), 53),
                 {kSrcMac, kDstMac, "IPv4-TCP", "", ""}},
        CRowCase{"IcmpNeedsNoIcmpHeader",
                 Cut(IcmpFrame(), 34),
                 {kSrcMac, kDstMac, "IPv4-ICMP", "192.168.0.1/0", "10.0.0.2/0"}}),
    [](const testing::TestParamInfo<CRowCase>& param) { return param.param.name; });

TEST(RowTexts, AReusedRowKeepsNothingFromTheFrameBefore) {
    CPacketRow row;
    FormatPacketRow(1, "t", 60, TcpFrame(1, 2), row);
    FormatPacketRow(2, "u", 60, ArpFrame(), row);
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
