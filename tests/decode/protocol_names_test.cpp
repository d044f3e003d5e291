// Name tables with their exact texts and padding, and the address formatters.
#include "decode/protocol_names.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace wirelark {
namespace {

std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

// values[i] is named texts[i].
void ExpectNames(const std::function<std::string(unsigned)>& name,
                 const std::vector<unsigned>& values, const std::vector<std::string>& texts) {
    ASSERT_EQ(values.size(), texts.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(name(values[i]), texts[i]) << "value " << values[i];
    }
}

TEST(ProtocolNames, TablesGiveTheirExactTextsPaddedAndOnlyTheLowSixteenBitsCount) {
    // Ether types: three names, others in decimal.
    ExpectNames(EtherTypeName, {0x0800, 0x0806, 0x8035, 0x86DD, 0x8100, 0x0026, 0, 0xFFFF, 0x10800},
                {"IPv4", "ARP", "RARP", "34525", "33024", "38", "0", "65535", "IPv4"});
    ExpectNames(IpProtocolName, {1, 2, 6, 17, 27, 41, 89, 0, 0x106},
                {"ICMP", "IGMP", "TCP", "UDP", "RDP", "IPv6", "?", "?", "TCP"});
    // Fifteen characters wide.
    ExpectNames(ArpHardwareTypeName, {1, 6, 0, 0x10001},
                {"(10Mb Ethernet)", Blanks(15), Blanks(15), "(10Mb Ethernet)"});
    // Names padded to nine, but not the dash.
    ExpectNames(ArpProtocolTypeName, {0x0800, 0x0806, 0x8035, 0x86DD, 0},
                {"(IPv4)   ", "(ARP)    ", "(RARP)   ", "-", "-"});
    // Eighteen wide, with their mixed capitals.
    ExpectNames(
        ArpOperationName, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0},
        {"(ARP Request)     ", "(ARP Response)    ", "(RARP Request)    ", "(RARP Response)   ",
         "(Dyn RARP request)", "(Dyn RARP reply)  ", "(Dyn RARP error)  ", "(InARP request)   ",
         "(InARP reply)     ", "(?)" + Blanks(15), "(?)" + Blanks(15)});
}

TEST(ProtocolNames, IcmpTypeIsTwentyThreeWideAndOnlyTypeThreeLooksAtTheCode) {
    struct CIcmpCase {
        unsigned type;
        unsigned code;
        std::string text;
    };
    const std::vector<CIcmpCase> cases{
        {0, 9, "Echo Reply"},
        {3, 0, "Net unreachable"},
        {3, 1, "Host unreachable"},
        {3, 2, "Protocol unreachable"},
        {3, 3, "Port unreachable"},
        {3, 4, "Fragmentation needed"},
        {3, 5, "Source route failed"},
        {3, 13, "Destination unreachable"},
        {4, 1, "Source quench"},
        {5, 1, "Redirect"},
        {8, 0, "Echo"},
        {8, 3, "Echo"},
        {11, 0, "Time exceeded"},
        {12, 0, "Parameter problem"},
        {13, 0, "Timestamp"},
        {14, 0, "Timestamp reply"},
        {15, 0, "Information request"},
        {16, 0, "Information reply"},
        {1, 0, "?"},
        {17, 0, "?"},
        {0x108, 0x100, "Echo"},
        {3, 0x101, "Host unreachable"},
    };
    for (const CIcmpCase& c : cases) {
        const std::string text = IcmpTypeName(c.type, c.code);
        EXPECT_EQ(text, c.text + Blanks(23 - c.text.size())) << c.type << "/" << c.code;
    }
}

TEST(AddressFormat, DottedQuadNeedsFourBytesAndIpAddressReadsThemInMemoryOrder) {
    const std::vector<std::uint8_t> bytes{0xC0, 0xA8, 0x00, 0x01, 0xFF};
    EXPECT_EQ(FormatDottedQuad(bytes), "192.168.0.1");
    EXPECT_EQ(FormatDottedQuad({}), "");
    EXPECT_EQ(FormatDottedQuad(std::span(bytes).first(3)), "");
    EXPECT_EQ(FormatIpAddress(htonl(0xC0A80001)), "192.168.0.1");
    EXPECT_EQ(FormatIpAddress(htonl(0x0AFF0010)), "10.255.0.16");
    EXPECT_EQ(FormatIpAddress(0), "0.0.0.0");
    // Each call's text is its own: thirteen in a row do not overwrite each other.
    std::vector<std::string> texts;
    for (std::uint32_t i = 0; i < 13; ++i) {
        texts.push_back(FormatIpAddress(htonl(0x0A000000 + i)));
    }
    EXPECT_EQ(texts.front(), "10.0.0.0");
    EXPECT_EQ(texts.back(), "10.0.0.12");
}

TEST(AddressFormat, MacAddressIsUpperCaseHexSeparatedByDotsAndAppendersAddToTheText) {
    EXPECT_EQ(FormatMacAddress({0x00, 0x1a, 0x2B, 0xc3, 0x0F, 0xFF}), "00.1A.2B.C3.0F.FF");
    std::string out = "x";
    AppendDecimal(out, -42);
    AppendDottedQuad(out, {255, 0, 9, 100});
    EXPECT_EQ(out, "x-42255.0.9.100");
}

}  // namespace
}  // namespace wirelark
