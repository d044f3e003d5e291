// The eight texts of a list row, from frames whole and cut short.
#include "decode/packet_row.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/sample_frames.h"

namespace wirelark {
namespace {

using namespace test;  // the sample frames

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
    // One row for all frames, as the list reuses it: nothing is left from the frame before.
    CPacketRow row;
    std::map<std::uint32_t, std::string> typeByKey;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FormatPacketRow(12, "10:00:00,005 ", 1514, c.frame, row);
        EXPECT_EQ(row[kColumnId], "12");
        EXPECT_EQ(row[kColumnTimeStamp], "10:00:00,005 ");
        EXPECT_EQ(row[kColumnLen], "1514");
        EXPECT_EQ(
            std::vector<std::string>(row.columns.begin() + kColumnMacSource, row.columns.end()),
            c.columns);
        // The pieces that counting takes from the layout read as the row does.
        const CFrameLayout layout = DecodeFrameLayout(CFrameReader(c.frame));
        std::string type;
        AppendTypeText(type, layout);
        EXPECT_EQ(type, row[kColumnType]);
        EXPECT_EQ(HasIpColumns(layout), !row[kColumnIpSource].empty());
        const auto [known, bNew] = typeByKey.emplace(TypeTextKey(layout), type);
        EXPECT_EQ(known->second, type) << "a key shared by two Type texts";
    }
}

}  // namespace
}  // namespace wirelark
