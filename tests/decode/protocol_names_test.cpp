// Name tables with their exact texts and padding, and the address formatters.
#include "decode/protocol_names.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace wirelark {
namespace {

std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

// values[i] is named texts[i], padded with blanks to `width` characters.
void ExpectNames(const std::function<std::string(unsigned)>& name,
                 const std::vector<unsigned>& values, const std::vector<std::string>& texts,
                 std::size_t width = 0) {
    ASSERT_EQ(values.size(), texts.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string& text = texts[i];
        EXPECT_EQ(name(values[i]), text + Blanks(width - std::min(width, text.size())))
            << "value " << values[i];
    }
}

TEST(ProtocolNames, TablesGiveTheirExactTextsPaddedAndOnlyTheLowSixteenBitsCount) {
    // Ether types: three names, others in decimal.
    ExpectNames(EtherTypeName, {0x0800, 0x0806, 0x8035, 0x86DD, 0x8100, 0x0026, 0, 0xFFFF, 0x10800},
                {"IPv4", "ARP", "RARP", "34525", "33024", "38", "0", "65535", "IPv4"});
    ExpectNames(IpProtocolName, {1, 2, 6, 17, 27, 41, 89, 0, 0x106},
                {"ICMP", "IGMP", "TCP", "UDP", "RDP", "IPv6", "?", "?", "TCP"});
    ExpectNames(ArpHardwareTypeName, {1, 6, 0, 0x10001},
                {"(10Mb Ethernet)", "", "", "(10Mb Ethernet)"}, 15);
    // Names padded to nine, but not the dash.
    ExpectNames(ArpProtocolTypeName, {0x0800, 0x0806, 0x8035, 0x86DD, 0},
                {"(IPv4)   ", "(ARP)    ", "(RARP)   ", "-", "-"});
    // With their mixed capitals.
    ExpectNames(ArpOperationName, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0},
                {"(ARP Request)", "(ARP Response)", "(RARP Request)", "(RARP Response)",
                 "(Dyn RARP request)", "(Dyn RARP reply)", "(Dyn RARP error)", "(InARP request)",
                 "(InARP reply)", "(?)", "(?)"},
                18);
}

TEST(ProtocolNames, IcmpTypeIsTwentyThreeWideAndOnlyTypeThreeLooksAtTheCode) {
    ExpectNames([](unsigned code) { return IcmpTypeName(3, code); }, {0, 1, 2, 3, 4, 5, 13, 0x101},
                {"Net unreachable", "Host unreachable", "Protocol unreachable", "Port unreachable",
                 "Fragmentation needed", "Source route failed", "Destination unreachable",
                 "Host unreachable"},
                23);
    ExpectNames([](unsigned type) { return IcmpTypeName(type, 1); },
                {0, 1, 4, 5, 8, 11, 12, 13, 14, 15, 16, 17, 0x108},
                {"Echo Reply", "?", "Source quench", "Redirect", "Echo", "Time exceeded",
                 "Parameter problem", "Timestamp", "Timestamp reply", "Information request",
                 "Information reply", "?", "Echo"},
                23);
}

TEST(AddressFormat, DottedQuadNeedsFourBytesAndIpAddressReadsThemInMemoryOrder) {
    const std::vector<std::uint8_t> bytes{0xC0, 0xA8, 0x00, 0x01, 0xFF};
    EXPECT_EQ(FormatDottedQuad(bytes), "192.168.0.1");
    EXPECT_EQ(FormatDottedQuad(std::span(bytes).first(3)), "");
    EXPECT_EQ(FormatIpAddress(htonl(0x0AFF0010)), "10.255.0.16");
}

TEST(AddressFormat, AppendDecimalAddsTheSignedNumberToTheText) {
    std::string out = "x";
    AppendDecimal(out, -42);
    EXPECT_EQ(out, "x-42");
}

}  // namespace
}  // namespace wirelark
