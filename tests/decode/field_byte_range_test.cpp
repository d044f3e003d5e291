// Tree lines mapped to byte ranges by their texts, through the packet lookup by number. The ranges
// of the lines a tree shows are checked with the tree; here are the texts it does not show.
#include "decode/field_byte_range.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/sample_frames.h"

namespace wirelark {
namespace {

using namespace test;  // the frame builder and sample frames

const char* const kRoot = "Packet Number:1";

TEST(FieldByteRange, TextsTheTreeDoesNotShowFindRangesAsComputedOrNone) {
    const Frame tcp = OverIpv4(6).Tcp().Build();
    const Frame ihl6 = Ihl6TcpFrame(1, 2);
    const Frame missingOptions = OverIpv4(6).Tcp({.dataOffset = 8}).TruncateTo(60).Build();
    const Frame ihl4 = OverIpv4(2, {.ihl = 4}).Build();
    const Frame dataOffset3 = OverIpv4(6).Tcp({.dataOffset = 3}).Build();
    const struct {
        const char* root;
        const char* parent;
        const char* node;
        const Frame& frame;  // packet 1; no other number has a packet
        int first;
        int last;  // 0 and 0: no range
    } cases[] = {
        // Unknown labels and parents, and lines without a label.
        {kRoot, "TCP Header", "Bogus: 1", tcp, 0, 0},
        {kRoot, "TCP Header", ":1", tcp, 0, 0},
        {kRoot, "Ethernet Header", "Type", tcp, 0, 0},
        {kRoot, "Something", "Type:1", tcp, 0, 0},
        // Data and options that the frame does not have.
        {kRoot, kRoot, "Data", tcp, 0, 0},
        {kRoot, "Data", "anything", tcp, 0, 0},
        {kRoot, "TCP Header", "Tcp Options: 0 bytes", tcp, 0, 0},
        {kRoot, "IP Header", "Ip Options: 0 bytes", tcp, 0, 0},
        // Header texts in any case.
        {kRoot, kRoot, "ethernet header", tcp, 0, 13},
        {kRoot, "tcp header", "SOURCE PORT: 1", tcp, 34, 35},
        // Inverted ranges as computed: options claimed but not captured (payload -6), header
        // lengths below their minimum (IHL 4, data offset 3).
        {kRoot, kRoot, "Data", missingOptions, 66, 59},
        {kRoot, kRoot, "IP Header", ihl4, 14, 29},
        {kRoot, "IP Header", "Ip Options: -4 bytes", ihl4, 34, 29},
        {kRoot, "TCP Header", "Tcp Options: -8 bytes", dataOffset3, 54, 45},
        // A number without a packet takes an empty frame: the IP header comes out inverted, fixed
        // fields stay, and the options packet 1 has are not there.
        {"Packet Number:2", "", "IP Header", ihl6, 14, 13},
        {"Packet Number:2", "TCP Header", "Source Port: 1", ihl6, 14, 15},
        {"Packet Number:2", "ARP frame", "Operation: 1", ihl6, 20, 21},
        {"Packet Number:2", "IP Header", "Ip Options: 4 bytes", ihl6, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.root) + " / " + c.parent + " / " + c.node);
        const FrameLookup lookup = [&c](int number) {
            return number == 1 ? std::span<const std::uint8_t>(c.frame)
                               : std::span<const std::uint8_t>();
        };
        int first = -1;
        int last = -1;
        EXPECT_EQ(GetFieldByteRange(c.root, c.parent, c.node, lookup, first, last),
                  c.first != 0 || c.last != 0);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(last, c.last);
    }
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
    const Frame frame(60, 0);
    for (const auto& [text, number] : numbers) {
        EXPECT_EQ(PacketNumberOfRootText(text), number) << text;
        int first = -1;
        int last = -1;
        EXPECT_EQ(GetFieldByteRange(text, "", "Ethernet Header", frame, first, last), number > 0)
            << text;
        EXPECT_EQ(last, number > 0 ? 13 : 0) << text;
    }
}

}  // namespace
}  // namespace wirelark
