// Tree lines mapped to byte ranges from their texts, through the packet lookup by number.
#include "decode/field_byte_range.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/frame_builder.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

struct CRangeCase {
    std::string parent;
    std::string node;
    bool found;
    int first;
    int last;
};

const char* const kRoot = "Packet Number:1";

// Asks for each case under `root`, with packet 1 being `frame` and no other packet known.
void ExpectRanges(const std::vector<std::uint8_t>& frame, const std::vector<CRangeCase>& cases,
                  const char* root = kRoot) {
    const FrameLookup lookup = [&frame](int number) {
        return number == 1 ? std::span<const std::uint8_t>(frame) : std::span<const std::uint8_t>();
    };
    for (const CRangeCase& c : cases) {
        int first = -1;
        int last = -1;
        EXPECT_EQ(GetFieldByteRange(root, c.parent, c.node, lookup, first, last), c.found)
            << c.parent << " / " << c.node;
        EXPECT_EQ(first, c.found ? c.first : 0) << c.parent << " / " << c.node;
        EXPECT_EQ(last, c.found ? c.last : 0) << c.parent << " / " << c.node;
    }
}

TEST(FieldByteRange, EthernetAndIpv4FieldsWithAFourByteOptionHeader) {
    const auto frame =
        CFrameBuilder().Ethernet().Ipv4({.ihl = 6}).Tcp({.sourcePort = 80}).PadTo(60).Build();
    ExpectRanges(frame, {
                            {kRoot, "Ethernet Header", true, 0, 13},
                            {"Ethernet Header", "Dst Mac Address:00.11.22.33.44.55", true, 0, 5},
                            {"Ethernet Header", "Src Mac Address:66.77.88.99.AA.BB", true, 6, 11},
                            {"Ethernet Header", "Type:2048", true, 12, 13},
                            {kRoot, "IP Header", true, 14, 37},
                            {"IP Header", "Version: 4", true, 14, 14},
                            {"IP Header", "Header length: 24 bytes", true, 14, 14},
                            {"IP Header", "Type of service: 0", true, 15, 15},
                            {"IP Header", "Total Len: 44 bytes", true, 16, 17},
                            {"IP Header", "Identification: 7238", true, 18, 19},
                            {"IP Header", "Flags: 4h", true, 20, 21},
                            {"IP Header", "Offset: 0 bytes", true, 20, 21},
                            {"IP Header", "Time to live: 64 seconds/hops", true, 22, 22},
                            {"IP Header", "Protocol: 6 - TCP", true, 23, 23},
                            {"IP Header", "Header checksum: 47201", true, 24, 25},
                            {"IP Header", "Source address: [192.168.0.1]", true, 26, 29},
                            {"IP Header", "Destination address: [10.0.0.2]", true, 30, 33},
                            {"IP Header", "Ip Options: 4 bytes", true, 34, 37},
                            {kRoot, "TCP Header", true, 38, 57},
                            {"TCP Header", "Source Port: 80", true, 38, 39},
                            {"TCP Header", "Destination Port: 80", true, 40, 41},
                        });
}

TEST(FieldByteRange, TcpFieldsOptionsAndData) {
    const auto frame = CFrameBuilder().Ethernet().Ipv4().Tcp({.dataOffset = 8}).Payload(3).Build();
    ExpectRanges(frame, {
                            {kRoot, "TCP Header", true, 34, 53},
                            {"TCP Header", "Sequence number: 256", true, 38, 41},
                            {"TCP Header", "Acknowledgement number: 0", true, 42, 45},
                            {"TCP Header", "Header Length: 32", true, 46, 46},
                            {"TCP Header", "Flags: 0x12", true, 47, 47},
                            {"TCP Header", "Window: 64240", true, 48, 49},
                            {"TCP Header", "Checksum: 4660", true, 50, 51},
                            {"TCP Header", "Urgent point: 0", true, 52, 53},
                            {"TCP Header", "Tcp Options: 12 bytes", true, 54, 65},
                            {kRoot, "Data", true, 66, 68},
                            {"Data", "3 byte(s) of data", true, 66, 68},
                            {"IP Header", "No Ip Options", false, 0, 0},
                            {"IP Header", "Ip Options: 0 bytes", false, 0, 0},
                        });
}

TEST(FieldByteRange, PaddingCountsAsDataAndNoPayloadMeansNoRange) {
    ExpectRanges(CFrameBuilder().Ethernet().Ipv4().Tcp().PadTo(60).Build(),
                 {{kRoot, "Data", true, 54, 59}, {"Data", "6 byte(s) of data", true, 54, 59}});
    ExpectRanges(CFrameBuilder().Ethernet().Ipv4().Tcp().Build(),
                 {{kRoot, "Data", false, 0, 0},
                  {"Data", "anything", false, 0, 0},
                  {"TCP Header", "Tcp Options: 0 bytes", false, 0, 0},
                  {"TCP Header", "No Tcp Options", false, 0, 0}});
}

TEST(FieldByteRange, UdpAndArpFields) {
    ExpectRanges(CFrameBuilder().Ethernet().Ipv4({.protocol = 17}).Udp().Payload(4).Build(),
                 {{kRoot, "UDP Header", true, 34, 41},
                  {"UDP Header", "Source Port: 53", true, 34, 35},
                  {"UDP Header", "Destination Port: 53", true, 36, 37},
                  {"UDP Header", "Message length: 12", true, 38, 39},
                  {"UDP Header", "Checksum: 43981", true, 40, 41},
                  {kRoot, "Data", true, 42, 45}});
    ExpectRanges(CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().Build(),
                 {{kRoot, "ARP frame", true, 14, 41},
                  {"ARP frame", "Hardware Type: 1-(10Mb Ethernet)", true, 14, 15},
                  {"ARP frame", "Protocol Type: 2048-(IPv4)   ", true, 16, 17},
                  {"ARP frame", "Hardware address length: 6", true, 18, 18},
                  {"ARP frame", "Protocol address length: 4", true, 19, 19},
                  {"ARP frame", "Operation: 1-(ARP Request)     ", true, 20, 21},
                  {"ARP frame", "Sender Hardware Address:66.77.88.99.AA.BB", true, 22, 27},
                  {"ARP frame", "Sender Protocol Address: 192.168.0.1", true, 28, 31},
                  {"ARP frame", "Target Hardware Address:00.00.00.00.00.00", true, 32, 37},
                  {"ARP frame", "Target Protocol Address: 192.168.0.254", true, 38, 41}});
}

TEST(FieldByteRange, LinesWithoutARangeFindNothing) {
    const auto frame = CFrameBuilder().Ethernet().Ipv4({.protocol = 1}).Icmp().Build();
    ExpectRanges(frame, {
                            {"", kRoot, false, 0, 0},
                            {kRoot, "ICMP", false, 0, 0},
                            {"ICMP", "Type:  8 - Echo", false, 0, 0},
                            {"ICMP", "Check Sum: 1", false, 0, 0},
                            {"Flags: 0x02", "SYN: 1 - (Synchronize sequence number)", false, 0, 0},
                            {"TCP Header", "Bogus: 1", false, 0, 0},
                            {"TCP Header", ":1", false, 0, 0},
                            {"Ethernet Header", "Type", false, 0, 0},
                            {"Something", "Type:1", false, 0, 0},
                        });
}

TEST(FieldByteRange, LabelsAndHeadersIgnoreCase) {
    ExpectRanges(CFrameBuilder().Ethernet().Ipv4().Tcp().Build(),
                 {{"tcp header", "SOURCE PORT: 1", true, 34, 35},
                  {kRoot, "ethernet header", true, 0, 13},
                  {"ip header", "header LENGTH: 20 bytes", true, 14, 14}});
}

TEST(FieldByteRange, InvertedRangesAreGivenAsComputed) {
    // Data offset 8 with the options not captured: payload -6, range 66 to 59.
    ExpectRanges(
        CFrameBuilder().Ethernet().Ipv4().Tcp({.dataOffset = 8}).TruncateTo(60).Build(),
        {{kRoot, "Data", true, 66, 59}, {"TCP Header", "Tcp Options: 12 bytes", true, 54, 65}});
    // IHL 4: options -4 give 34 to 29.
    ExpectRanges(
        CFrameBuilder().Ethernet().Ipv4({.ihl = 4, .protocol = 2}).Build(),
        {{"IP Header", "Ip Options: -4 bytes", true, 34, 29}, {kRoot, "IP Header", true, 14, 29}});
    // Data offset 3: options -8.
    ExpectRanges(CFrameBuilder().Ethernet().Ipv4().Tcp({.dataOffset = 3}).Build(),
                 {{"TCP Header", "Tcp Options: -8 bytes", true, 54, 45}});
}

TEST(FieldByteRange, UnknownPacketNumberTakesAnEmptyFrame) {
    // H = 0 for a number without a packet: "IP Header" comes out inverted, fixed fields stay, and
    // the options packet 1 has are not there.
    ExpectRanges(CFrameBuilder().Ethernet().Ipv4({.ihl = 6}).Tcp().Build(),
                 {{"", "IP Header", true, 14, 13},
                  {"TCP Header", "Source Port: 1", true, 14, 15},
                  {"ARP frame", "Operation: 1", true, 20, 21},
                  {"IP Header", "Ip Options: 4 bytes", false, 0, 0}},
                 "Packet Number:2");
}

TEST(FieldByteRange, RootTextMustNameAPacketAboveZero) {
    const std::map<std::string, int> numbers{
        {"Packet Number:7", 7},       {"Packet Number:  12x", 12},
        {"Packet Number:+3", 3},      {"Packet Number:0", 0},
        {"Packet Number:-4", 0},      {"Packet Number:", 0},
        {"packet number:5", 0},       {"Root Packet Number:9", 9},
        {"Root: Packet Number:9", 0}, {"Packet Number:99999999999", 2147483647},
        {"Packet Number", 0},
    };
    for (const auto& [text, number] : numbers) {
        EXPECT_EQ(PacketNumberOfRootText(text), number) << text;
        int first = -1;
        int last = -1;
        const std::vector<std::uint8_t> frame(60, 0);
        EXPECT_EQ(GetFieldByteRange(text, "", "Ethernet Header", frame, first, last), number > 0)
            << text;
        EXPECT_EQ(last, number > 0 ? 13 : 0) << text;
    }
}

}  // namespace
}  // namespace wirelark
