// Field tables per header, as data; ranges at fixed positions or relative to the transport
// header, plus the few whose size depends on the frame.
#include "decode/field_byte_range.h"

#include <cctype>
#include <climits>

#include "decode/frame_layout.h"

namespace wirelark {

namespace {

enum class From { Frame, IpHeader, Transport, IpOptions, TcpOptions, Payload };

struct CFieldEntry {
    std::string_view label;
    From from;
    int first;
    int last;
};

// For the header lines the label is the whole node text.
constexpr CFieldEntry kHeaders[] = {
    {"Ethernet Header", From::Frame, 0, 13}, {"IP Header", From::IpHeader, 14, 13},
    {"TCP Header", From::Transport, 0, 19},  {"UDP Header", From::Transport, 0, 7},
    {"Data", From::Payload, 0, 0},           {"ARP frame", From::Frame, 14, 41},
};

constexpr CFieldEntry kPayload = {"Data", From::Payload, 0, 0};

constexpr CFieldEntry kEthernetFields[] = {
    {"Dst Mac Address", From::Frame, 0, 5},
    {"Src Mac Address", From::Frame, 6, 11},
    {"Type", From::Frame, 12, 13},
};

constexpr CFieldEntry kIpFields[] = {
    {"Version", From::Frame, 14, 14},         {"Header length", From::Frame, 14, 14},
    {"Type of service", From::Frame, 15, 15}, {"Total Len", From::Frame, 16, 17},
    {"Identification", From::Frame, 18, 19},  {"Flags", From::Frame, 20, 21},
    {"Offset", From::Frame, 20, 21},          {"Time to live", From::Frame, 22, 22},
    {"Protocol", From::Frame, 23, 23},        {"Header checksum", From::Frame, 24, 25},
    {"Source address", From::Frame, 26, 29},  {"Destination address", From::Frame, 30, 33},
    {"Ip Options", From::IpOptions, 34, 33},
};

constexpr CFieldEntry kTcpFields[] = {
    {"Source port", From::Transport, 0, 1},     {"Destination port", From::Transport, 2, 3},
    {"Sequence number", From::Transport, 4, 7}, {"Acknowledgement number", From::Transport, 8, 11},
    {"Header Length", From::Transport, 12, 12}, {"Flags", From::Transport, 13, 13},
    {"Window", From::Transport, 14, 15},        {"Checksum", From::Transport, 16, 17},
    {"Urgent point", From::Transport, 18, 19},  {"Tcp Options", From::TcpOptions, 20, 19},
};

constexpr CFieldEntry kUdpFields[] = {
    {"Source port", From::Transport, 0, 1},
    {"Destination port", From::Transport, 2, 3},
    {"Message length", From::Transport, 4, 5},
    {"Checksum", From::Transport, 6, 7},
};

constexpr CFieldEntry kArpFields[] = {
    {"Hardware type", From::Frame, 14, 15},
    {"Protocol type", From::Frame, 16, 17},
    {"Hardware address length", From::Frame, 18, 18},
    {"Protocol address length", From::Frame, 19, 19},
    {"Operation", From::Frame, 20, 21},
    {"Sender hardware address", From::Frame, 22, 27},
    {"Sender protocol address", From::Frame, 28, 31},
    {"Target hardware address", From::Frame, 32, 37},
    {"Target protocol address", From::Frame, 38, 41},
};

// A parent header and the table its field lines are looked up in; "Data" lines all map to the
// payload.
struct CParentEntry {
    std::string_view text;
    std::span<const CFieldEntry> fields;
};

const CParentEntry kParents[] = {
    {"Ethernet Header", kEthernetFields},
    {"IP Header", kIpFields},
    {"TCP Header", kTcpFields},
    {"UDP Header", kUdpFields},
    {"Data", {}},
    {"ARP frame", kArpFields},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

const CFieldEntry* FindEntry(std::span<const CFieldEntry> table, std::string_view label) {
    for (const CFieldEntry& entry : table) {
        if (EqualsIgnoringCase(entry.label, label)) {
            return &entry;
        }
    }
    return nullptr;
}

// Resolves an entry against the frame; false when it has no range for this frame.
bool Resolve(const CFieldEntry& entry, std::span<const std::uint8_t> frame, int& first, int& last) {
    const int h = GetIpHeaderLength(frame);
    const int t = 14 + h;
    switch (entry.from) {
        case From::Frame:
            first = entry.first;
            last = entry.last;
            return true;
        case From::IpHeader:
            first = entry.first;
            last = entry.last + h;
            return true;
        case From::Transport:
            first = t + entry.first;
            last = t + entry.last;
            return true;
        case From::IpOptions: {
            const int options = GetIpOptionsLength(frame);
            if (options == 0) {
                return false;
            }
            first = entry.first;
            last = entry.last + options;
            return true;
        }
        case From::TcpOptions: {
            const int options = GetTcpOptionsLength(frame);
            if (options == 0) {
                return false;
            }
            first = t + entry.first;
            last = t + entry.last + options;
            return true;
        }
        case From::Payload: {
            int payloadFirst = 0;
            int payloadLast = 0;
            if (GetPayloadRange(frame, payloadFirst, payloadLast) == 0) {
                return false;
            }
            first = payloadFirst;
            last = payloadLast;
            return true;
        }
    }
    return false;
}

bool MapField(std::string_view parentText, std::string_view nodeText,
              std::span<const std::uint8_t> frame, int& first, int& last) {
    if (const CFieldEntry* header = FindEntry(kHeaders, nodeText)) {
        if (Resolve(*header, frame, first, last)) {
            return true;
        }
        first = last = 0;
    }
    for (const CParentEntry& parent : kParents) {
        if (!EqualsIgnoringCase(parent.text, parentText)) {
            continue;
        }
        if (parent.fields.empty()) {
            return Resolve(kPayload, frame, first, last);
        }
        const std::size_t colon = nodeText.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return false;
        }
        const CFieldEntry* field = FindEntry(parent.fields, nodeText.substr(0, colon));
        return field != nullptr && Resolve(*field, frame, first, last);
    }
    return false;
}

}  // namespace

int PacketNumberOfRootText(std::string_view rootText) {
    const std::size_t colon = rootText.find(':');
    if (rootText.find("Packet Number:") == std::string_view::npos ||
        colon == std::string_view::npos) {
        return 0;
    }
    std::size_t i = colon + 1;
    while (i < rootText.size() && std::isspace(static_cast<unsigned char>(rootText[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < rootText.size() && (rootText[i] == '+' || rootText[i] == '-')) {
        negative = rootText[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < rootText.size() && std::isdigit(static_cast<unsigned char>(rootText[i])); ++i) {
        value = value * 10 + (rootText[i] - '0');
        if (value > INT_MAX) {
            value = INT_MAX;  // saturate rather than overflow as atoi may
        }
    }
    return negative ? 0 : static_cast<int>(value);
}

bool GetFieldByteRange(std::string_view rootText, std::string_view parentText,
                       std::string_view nodeText, const FrameLookup& findFrame, int& first,
                       int& last) {
    first = 0;
    last = 0;
    const int number = PacketNumberOfRootText(rootText);
    if (number <= 0) {
        return false;
    }
    const std::span<const std::uint8_t> frame =
        findFrame ? findFrame(number) : std::span<const std::uint8_t>();
    return MapField(parentText, nodeText, frame, first, last);
}

bool GetFieldByteRange(std::string_view rootText, std::string_view parentText,
                       std::string_view nodeText, std::span<const std::uint8_t> frame, int& first,
                       int& last) {
    return GetFieldByteRange(
        rootText, parentText, nodeText, [frame](int) { return frame; }, first, last);
}

}  // namespace wirelark
