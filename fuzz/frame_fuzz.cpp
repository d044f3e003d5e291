// Arbitrary bytes as a stored frame through everything that reads one: the row texts, both
// filters, the explorer tree, the byte range of every tree line and the traffic statistics; and
// the same bytes split into three texts as a tree line the range mapping must survive.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "capture/packet_intake.h"
#include "decode/field_byte_range.h"
#include "decode/frame_layout.h"
#include "decode/packet_row.h"
#include "decode/packet_tree.h"
#include "stats/traffic_statistics.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

wirelark::CFilterFlags FlagsFrom(std::uint16_t bits) {
    wirelark::CFilterFlags flags;
    std::int32_t* all[] = {&flags.m_bArp,    &flags.m_bIcmp,  &flags.m_bTcp,  &flags.m_bUdp,
                           &flags.m_bOthers, &flags.m_bHttp,  &flags.m_bSmtp, &flags.m_bPop3,
                           &flags.m_bFtp,    &flags.m_bTelnet};
    for (std::size_t i = 0; i < std::size(all); ++i) {
        *all[i] = (bits >> i) & 1;
    }
    return flags;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace wirelark;
    const std::span<const std::uint8_t> frame(data, size);

    CPacketRow row;
    FormatPacketRow(1, "00:00:00,000 ", static_cast<int>(size), frame, row);
    Check(size >= 14 || row[kColumnType].empty());

    // The statistics read the frame as the row does.
    CTrafficStatistics stats;
    stats.Add(1, {}, static_cast<int>(size), frame);
    Check(stats.GetProtocols().at(0).type == row[kColumnType]);
    Check(stats.GetEndpoints().empty() == row[kColumnIpSource].empty());

    const std::uint16_t bits =
        size >= 2 ? static_cast<std::uint16_t>(data[size - 1] | (data[size - 2] << 8)) : 0x10;
    const CFilterFlags flags = FlagsFrom(bits);
    const int byProtocol = IsFilteredByProtocol(flags, frame);
    const int byPort = IsFilteredByPort(flags, frame);
    Check((byProtocol == 0 || byProtocol == 1) && (byPort == 0 || byPort == 1));
    CIntakeCounters counters;
    JudgeCapturedFrame(counters, flags, frame);

    int first = 0;
    int last = 0;
    GetPayloadRange(frame, first, last);
    GetIpOptionsLength(frame);
    GetTcpOptionsLength(frame);

    CPacketTree tree;
    const int number = static_cast<int>(size % 100000) + 1;
    Check(BuildPacketTree(number, frame, tree) == (size != 0));
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        Check(tree.nodes[i].parent < static_cast<int>(i));
        GetFieldByteRange(tree.RootText(), tree.ParentText(static_cast<int>(i)), tree.nodes[i].text,
                          frame, first, last);
    }
    if (!tree.Empty()) {
        Check(PacketNumberOfRootText(tree.RootText()) == number);
    }

    // The input as "root\0parent\0node" texts, against itself as the frame.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t a = text.find('\0');
    const std::size_t b = a == std::string_view::npos ? a : text.find('\0', a + 1);
    if (b != std::string_view::npos) {
        const bool found = GetFieldByteRange(text.substr(0, a), text.substr(a + 1, b - a - 1),
                                             text.substr(b + 1), frame, first, last);
        Check(found || (first == 0 && last == 0));
    }
    return 0;
}
