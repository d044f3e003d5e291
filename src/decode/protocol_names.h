// Names for the numbers read from headers, and the address texts shown in the list and the tree.
// The fixed-width names keep their padding blanks: they end up at the end of the tree lines.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "decode/frame_reader.h"

namespace wirelark {

// "IPv4", "ARP", "RARP", else the value in decimal. Only the low 16 bits take part.
std::string EtherTypeName(unsigned etherType);
// "ICMP", "IGMP", "TCP", "UDP", "RDP", "IPv6", else "?". Only the low 8 bits take part.
std::string IpProtocolName(unsigned protocol);
// The same names, and nothing for a protocol without one.
std::optional<std::string_view> FindIpProtocolName(unsigned protocol);
// 15 characters: "(10Mb Ethernet)" or blanks.
std::string ArpHardwareTypeName(unsigned hardwareType);
// "(IPv4)", "(ARP)", "(RARP)" padded to 9 characters, else "-".
std::string ArpProtocolTypeName(unsigned protocolType);
// 18 characters.
std::string ArpOperationName(unsigned operation);
// 23 characters; only type 3 looks at the code.
std::string IcmpTypeName(unsigned type, unsigned code);

// "%d.%d.%d.%d" of the first four bytes; empty when fewer than four are given.
std::string FormatDottedQuad(std::span<const std::uint8_t> bytes);
// "%d.%d.%d.%d" of the four bytes of an address as held in memory (network order).
std::string FormatIpAddress(std::uint32_t address);
// "%.2X.%.2X.%.2X.%.2X.%.2X.%.2X".
std::string FormatMacAddress(const MacAddress& mac);

// Appending forms for callers that format many texts into reused strings.
void AppendDecimal(std::string& out, long long value);
void AppendDottedQuad(std::string& out, const Ipv4Address& address);
void AppendMacAddress(std::string& out, const MacAddress& mac);

}  // namespace wirelark
