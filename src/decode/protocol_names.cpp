// Name tables as data, looked up by value; fixed-width names are padded at lookup.
#include "decode/protocol_names.h"

#include <array>
#include <charconv>
#include <cstring>
#include <optional>

namespace wirelark {

namespace {

struct CNameEntry {
    unsigned value;
    std::string_view text;
};

constexpr CNameEntry kEtherTypes[] = {
    {0x0800, "IPv4"},
    {0x0806, "ARP"},
    {0x8035, "RARP"},
};

constexpr CNameEntry kIpProtocols[] = {
    {1, "ICMP"}, {2, "IGMP"}, {6, "TCP"}, {17, "UDP"}, {27, "RDP"}, {41, "IPv6"},
};

constexpr CNameEntry kArpHardwareTypes[] = {
    {1, "(10Mb Ethernet)"},
};

constexpr CNameEntry kArpProtocolTypes[] = {
    {0x0800, "(IPv4)"},
    {0x0806, "(ARP)"},
    {0x8035, "(RARP)"},
};

constexpr CNameEntry kArpOperations[] = {
    {1, "(ARP Request)"},    {2, "(ARP Response)"},     {3, "(RARP Request)"},
    {4, "(RARP Response)"},  {5, "(Dyn RARP request)"}, {6, "(Dyn RARP reply)"},
    {7, "(Dyn RARP error)"}, {8, "(InARP request)"},    {9, "(InARP reply)"},
};

constexpr CNameEntry kIcmpTypes[] = {
    {0, "Echo Reply"},
    {3, "Destination unreachable"},
    {4, "Source quench"},
    {5, "Redirect"},
    {8, "Echo"},
    {11, "Time exceeded"},
    {12, "Parameter problem"},
    {13, "Timestamp"},
    {14, "Timestamp reply"},
    {15, "Information request"},
    {16, "Information reply"},
};

constexpr unsigned kIcmpUnreachable = 3;
constexpr CNameEntry kIcmpUnreachableCodes[] = {
    {0, "Net unreachable"},  {1, "Host unreachable"},     {2, "Protocol unreachable"},
    {3, "Port unreachable"}, {4, "Fragmentation needed"}, {5, "Source route failed"},
};

constexpr std::size_t kArpHardwareWidth = 15;
constexpr std::size_t kArpProtocolWidth = 9;
constexpr std::size_t kArpOperationWidth = 18;
constexpr std::size_t kIcmpWidth = 23;

template <std::size_t N>
std::optional<std::string_view> Lookup(const CNameEntry (&table)[N], unsigned value) {
    for (const CNameEntry& entry : table) {
        if (entry.value == value) {
            return entry.text;
        }
    }
    return std::nullopt;
}

std::string Padded(std::string_view text, std::size_t width) {
    std::string padded(text);
    if (padded.size() < width) {
        padded.append(width - padded.size(), ' ');
    }
    return padded;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string EtherTypeName(unsigned etherType) {
    const unsigned value = etherType & 0xFFFF;
    if (const auto name = Lookup(kEtherTypes, value)) {
        return std::string(*name);
    }
    std::string text;
    AppendDecimal(text, value);
    return text;
}

std::optional<std::string_view> FindIpProtocolName(unsigned protocol) {
    return Lookup(kIpProtocols, protocol & 0xFF);
}

std::string IpProtocolName(unsigned protocol) {
    return std::string(FindIpProtocolName(protocol).value_or("?"));
}

std::string ArpHardwareTypeName(unsigned hardwareType) {
    return Padded(Lookup(kArpHardwareTypes, hardwareType & 0xFFFF).value_or(""), kArpHardwareWidth);
}

std::string ArpProtocolTypeName(unsigned protocolType) {
    const auto name = Lookup(kArpProtocolTypes, protocolType & 0xFFFF);
    return name ? Padded(*name, kArpProtocolWidth) : std::string("-");
}

std::string ArpOperationName(unsigned operation) {
    return Padded(Lookup(kArpOperations, operation & 0xFFFF).value_or("(?)"), kArpOperationWidth);
}

std::string IcmpTypeName(unsigned type, unsigned code) {
    const unsigned typeValue = type & 0xFF;
    std::optional<std::string_view> name;
    if (typeValue == kIcmpUnreachable) {
        name = Lookup(kIcmpUnreachableCodes, code & 0xFF);
    }
    if (!name) {
        name = Lookup(kIcmpTypes, typeValue);
    }
    return Padded(name.value_or("?"), kIcmpWidth);
}

void AppendDecimal(std::string& out, long long value) {
    char digits[24];
    const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
    out.append(digits, result.ptr);
}

void AppendDottedQuad(std::string& out, const Ipv4Address& address) {
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (i != 0) {
            out.push_back('.');
        }
        AppendDecimal(out, address[i]);
    }
}

void AppendMacAddress(std::string& out, const MacAddress& mac) {
    char text[17];
    for (std::size_t i = 0; i < mac.size(); ++i) {
        text[i * 3] = kHexDigits[mac[i] >> 4];
        text[i * 3 + 1] = kHexDigits[mac[i] & 0x0F];
        if (i + 1 < mac.size()) {
            text[i * 3 + 2] = '.';
        }
    }
    out.append(text, sizeof text);
}

std::string FormatDottedQuad(std::span<const std::uint8_t> bytes) {
    std::string text;
    if (bytes.size() >= 4) {
        AppendDottedQuad(text, Ipv4Address{bytes[0], bytes[1], bytes[2], bytes[3]});
    }
    return text;
}

std::string FormatIpAddress(std::uint32_t address) {
    Ipv4Address bytes;
    std::memcpy(bytes.data(), &address, bytes.size());
    std::string text;
    AppendDottedQuad(text, bytes);
    return text;
}

std::string FormatMacAddress(const MacAddress& mac) {
    std::string text;
    AppendMacAddress(text, mac);
    return text;
}

}  // namespace wirelark
