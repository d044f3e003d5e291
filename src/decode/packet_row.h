// The eight texts of a packet list row, made from a packet's number, time text, length and
// frame, so that the list and wirelark-dump read alike.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

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

}  // namespace wirelark
