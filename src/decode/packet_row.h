// The eight texts of a packet list row, made from a packet's number, time text, length and
// frame, so that the list and wirelark-dump read alike.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "decode/frame_layout.h"

namespace wirelark {

enum PacketColumn : int {
    kColumnId = 0,
    kColumnTimeStamp,
    kColumnLen,
    kColumnMacSource,
    kColumnMacDest,
    kColumnType,
    kColumnIpSource,
    kColumnIpDest,
    kColumnCount
};

// The columns' titles; their trailing blanks widen the list's columns, which are 1.5 times as
// wide as the titles.
inline constexpr std::array<const char*, kColumnCount> kColumnTitles = {
    "ID         ",        "Time Stamp      ",  "Len    ",
    "MAC Source       ",  "MAC Dest         ", "Type        ",
    "IP Source/Port    ", "IP Dest/Port      "};

struct CPacketRow {
    std::array<std::string, kColumnCount> columns;

    const std::string& operator[](int column) const {
        return columns[static_cast<std::size_t>(column)];
    }
};

// Fills all eight texts of a row; the strings are reused, so a row kept across calls formats
// without allocating. Columns whose header the frame does not wholly hold stay empty.
void FormatPacketRow(int number, std::string_view timeText, int length,
                     std::span<const std::uint8_t> frame, CPacketRow& row);
// Only the five texts taken from the frame: MAC Source to IP Dest/Port.
void FormatFrameColumns(std::span<const std::uint8_t> frame, CPacketRow& row);

// The pieces of those columns for callers that count packets rather than show them, so that
// their figures agree with the rows.
// Appends the Type text of a frame with this layout.
void AppendTypeText(std::string& out, const CFrameLayout& layout);
// Everything the Type text depends on, packed into one number: layouts with equal keys have
// equal Type texts, so a text need be made only once per key.
std::uint32_t TypeTextKey(const CFrameLayout& layout);
// True when the row shows IP Source/Port and IP Dest/Port: a whole IPv4 header, and for TCP
// and UDP a whole transport header too.
bool HasIpColumns(const CFrameLayout& layout);

// What IP Source/Port and IP Dest/Port show; the ports are 0 for protocols without them.
struct CIpColumns {
    Ipv4Address source{};
    Ipv4Address destination{};
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
};
// Meaningful where HasIpColumns(layout) holds.
CIpColumns ReadIpColumns(const CFrameReader& reader, const CFrameLayout& layout);

}  // namespace wirelark
