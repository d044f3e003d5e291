// Tree lines mapped to byte ranges from their texts, through the packet lookup by number.
#include "decode/field_byte_range.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/frame_builder.h"

namespace wirelark {
namespace {

using test::CFrameBuilder;

const char* const kRoot = "Packet Number:1";

CFrameBuilder Ip(test::CIpv4Fields ip = {}) {
    return CFrameBuilder().Ethernet().Ipv4(ip);
}

// Asks for each of `nodes` under `parent`, with packet 1 being `frame` and no other packet known.
// A node is written "text=first-last", or just "text" where no range is to be found.
void ExpectRanges(const std::vector<std::uint8_t>& frame, const std::string& parent,
                  const std::vector<std::string>& nodes, const char* root = kRoot) {
    const FrameLookup lookup = [&frame](int number) {
        return number == 1 ? std::span<const std::uint8_t>(frame) : std::span<const std::uint8_t>();
    };
    for (const std::string& node : nodes) {
        const std::size_t equals = node.rfind('=');
        const std::string text = node.substr(0, equals);
        int want[2] = {0, 0};
        if (equals != std::string::npos) {
            ASSERT_EQ(std::sscanf(node.c_str() + equals + 1, "%d-%d", &want[0], &want[1]), 2);
        }
        SCOPED_TRACE(parent + " / " + text);
        int first = -1;
        int last = -1;
        EXPECT_EQ(GetFieldByteRange(root, parent, text, lookup, first, last),
                  equals != std::string::npos);
        EXPECT_EQ(first, want[0]);
        EXPECT_EQ(last, want[1]);
    }
}

TEST(FieldByteRange, EthernetAndIpv4FieldsWithAFourByteOptionHeader) {
    const auto frame = Ip({.ihl = 6}).Tcp({.sourcePort = 80}).PadTo(60).Build();
    ExpectRanges(frame, kRoot, {"Ethernet Header=0-13", "IP Header=14-37", "TCP Header=38-57"});
    ExpectRanges(frame, "Ethernet Header",
                 {"Dst Mac Address:00.11.22.33.44.55=0-5", "Src Mac Address:66.77.88.99.AA.BB=6-11",
                  "Type:2048=12-13"});
    ExpectRanges(
        frame, "IP Header",
        {"Version: 4=14-14", "Header length: 24 bytes=14-14", "Type of service: 0=15-15",
         "Total Len: 44 bytes=16-17", "Identification: 7238=18-19", "Flags: 4h=20-21",
         "Offset: 0 bytes=20-21", "Time to live: 64 seconds/hops=22-22", "Protocol: 6 - TCP=23-23",
         "Header checksum: 47201=24-25", "Source address: [192.168.0.1]=26-29",
         "Destination address: [10.0.0.2]=30-33", "Ip Options: 4 bytes=34-37"});
    ExpectRanges(frame, "TCP Header", {"Source Port: 80=38-39", "Destination Port: 80=40-41"});
}

TEST(FieldByteRange, TcpFieldsOptionsAndData) {
    const auto frame = Ip().Tcp({.dataOffset = 8}).Payload(3).Build();
    ExpectRanges(frame, kRoot, {"TCP Header=34-53", "Data=66-68"});
    ExpectRanges(frame, "TCP Header",
                 {"Sequence number: 256=38-41", "Acknowledgement number: 0=42-45",
                  "Header Length: 32=46-46", "Flags: 0x12=47-47", "Window: 64240=48-49",
                  "Checksum: 4660=50-51", "Urgent point: 0=52-53", "Tcp Options: 12 bytes=54-65"});
    ExpectRanges(frame, "Data", {"3 byte(s) of data=66-68"});
    ExpectRanges(frame, "IP Header", {"No Ip Options", "Ip Options: 0 bytes"});
}

TEST(FieldByteRange, PaddingCountsAsDataAndNoPayloadMeansNoRange) {
    const auto padded = Ip().Tcp().PadTo(60).Build();
    ExpectRanges(padded, kRoot, {"Data=54-59"});
    ExpectRanges(padded, "Data", {"6 byte(s) of data=54-59"});
    const auto bare = Ip().Tcp().Build();
    ExpectRanges(bare, kRoot, {"Data"});
    ExpectRanges(bare, "Data", {"anything"});
    ExpectRanges(bare, "TCP Header", {"Tcp Options: 0 bytes", "No Tcp Options"});
}

TEST(FieldByteRange, UdpAndArpFields) {
    const auto udp = Ip({.protocol = 17}).Udp().Payload(4).Build();
    ExpectRanges(udp, kRoot, {"UDP Header=34-41", "Data=42-45"});
    ExpectRanges(udp, "UDP Header",
                 {"Source Port: 53=34-35", "Destination Port: 53=36-37", "Message length: 12=38-39",
                  "Checksum: 43981=40-41"});
    const auto arp = CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().Build();
    ExpectRanges(arp, kRoot, {"ARP frame=14-41"});
    ExpectRanges(
        arp, "ARP frame",
        {"Hardware Type: 1-(10Mb Ethernet)=14-15", "Protocol Type: 2048-(IPv4)   =16-17",
         "Hardware address length: 6=18-18", "Protocol address length: 4=19-19",
         "Operation: 1-(ARP Request)     =20-21", "Sender Hardware Address:66.77.88.99.AA.BB=22-27",
         "Sender Protocol Address: 192.168.0.1=28-31",
         "Target Hardware Address:00.00.00.00.00.00=32-37",
         "Target Protocol Address: 192.168.0.254=38-41"});
}

TEST(FieldByteRange, LinesWithoutARangeFindNothing) {
    const auto frame = Ip({.protocol = 1}).Icmp().Build();
    ExpectRanges(frame, "", {kRoot});
    ExpectRanges(frame, kRoot, {"ICMP"});
    ExpectRanges(frame, "ICMP", {"Type:  8 - Echo", "Check Sum: 1"});
    ExpectRanges(frame, "Flags: 0x02", {"SYN: 1 - (Synchronize sequence number)"});
    ExpectRanges(frame, "TCP Header", {"Bogus: 1", ":1"});
    ExpectRanges(frame, "Ethernet Header", {"Type"});
    ExpectRanges(frame, "Something", {"Type:1"});
}

TEST(FieldByteRange, LabelsAndHeadersIgnoreCase) {
    const auto frame = Ip().Tcp().Build();
    ExpectRanges(frame, "tcp header", {"SOURCE PORT: 1=34-35"});
    ExpectRanges(frame, kRoot, {"ethernet header=0-13"});
    ExpectRanges(frame, "ip header", {"header LENGTH: 20 bytes=14-14"});
}

TEST(FieldByteRange, InvertedRangesAreGivenAsComputed) {
    // Data offset 8 with the options not captured: payload -6, range 66 to 59.
    const auto missingOptions = Ip().Tcp({.dataOffset = 8}).TruncateTo(60).Build();
    ExpectRanges(missingOptions, kRoot, {"Data=66-59"});
    ExpectRanges(missingOptions, "TCP Header", {"Tcp Options: 12 bytes=54-65"});
    // IHL 4: options -4 give 34 to 29.
    const auto ihl4 = Ip({.ihl = 4, .protocol = 2}).Build();
    ExpectRanges(ihl4, "IP Header", {"Ip Options: -4 bytes=34-29"});
    ExpectRanges(ihl4, kRoot, {"IP Header=14-29"});
    // Data offset 3: options -8.
    ExpectRanges(Ip().Tcp({.dataOffset = 3}).Build(), "TCP Header",
                 {"Tcp Options: -8 bytes=54-45"});
}

TEST(FieldByteRange, UnknownPacketNumberTakesAnEmptyFrame) {
    // H = 0 for a number without a packet: "IP Header" comes out inverted, fixed fields stay, and
    // the options packet 1 has are not there.
    const auto frame = Ip({.ihl = 6}).Tcp().Build();
    const char* const kPacket2 = "Packet Number:2";
    ExpectRanges(frame, "", {"IP Header=14-13"}, kPacket2);
    ExpectRanges(frame, "TCP Header", {"Source Port: 1=14-15"}, kPacket2);
    ExpectRanges(frame, "ARP frame", {"Operation: 1=20-21"}, kPacket2);
    ExpectRanges(frame, "IP Header", {"Ip Options: 4 bytes"}, kPacket2);
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
