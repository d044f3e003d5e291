// Maps a line of the explorer tree to the bytes of the frame it describes, from the line's
// texts alone: the root names the packet, the parent the header, the label before the colon the
// field.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace wirelark {

// The stored bytes of the first packet with this number; empty when there is none. The bytes
// need to stay valid only until the next call.
using FrameLookup = std::function<std::span<const std::uint8_t>(int number)>;

// Sets first and last to 0, then to the inclusive byte range of the node when there is one.
// Ranges are given as computed, also when first > last (a frame shorter than its headers claim,
// header or options lengths below their minimum).
bool GetFieldByteRange(std::string_view rootText, std::string_view parentText,
                       std::string_view nodeText, const FrameLookup& findFrame, int& first,
                       int& last);
// The same for a caller that holds the packet's frame already; the root text must still name
// a packet number above 0.
bool GetFieldByteRange(std::string_view rootText, std::string_view parentText,
                       std::string_view nodeText, std::span<const std::uint8_t> frame, int& first,
                       int& last);

// The number that the root text "Packet Number:%d" names, read after its first colon the way
// atoi reads it but without overflowing; 0 when the text names none.
int PacketNumberOfRootText(std::string_view rootText);

}  // namespace wirelark
