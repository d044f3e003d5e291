// The one place that touches stored frame bytes: every read is checked against the bytes present,
// and multi-byte numbers are assembled from network (big-endian) order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace wirelark {

class CFrameReader {
public:
    explicit CFrameReader(std::span<const std::uint8_t> frame) : m_frame(frame) {}

    std::size_t Size() const { return m_frame.size(); }
    std::span<const std::uint8_t> Bytes() const { return m_frame; }

    // True when bytes [offset, offset + width) are all present.
    bool Has(std::size_t offset, std::size_t width) const {
        return offset <= m_frame.size() && width <= m_frame.size() - offset;
    }

    // Reads outside the frame give 0; decoders test Has for a whole header before reading it,
    // so this only keeps a mistake from turning into an out-of-bounds read.
    std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? m_frame[offset] : 0; }
    std::uint16_t Be16(std::size_t offset) const {
        if (!Has(offset, 2)) {
            return 0;
        }
        return static_cast<std::uint16_t>((m_frame[offset] << 8) | m_frame[offset + 1]);
    }
    std::uint32_t Be32(std::size_t offset) const {
        if (!Has(offset, 4)) {
            return 0;
        }
        return (std::uint32_t{m_frame[offset]} << 24) | (std::uint32_t{m_frame[offset + 1]} << 16) |
               (std::uint32_t{m_frame[offset + 2]} << 8) | std::uint32_t{m_frame[offset + 3]};
    }
    // N address bytes in wire order; zeros where the frame has none.
    template <std::size_t N>
    std::array<std::uint8_t, N> Address(std::size_t offset) const {
        std::array<std::uint8_t, N> bytes{};
        if (Has(offset, N)) {
            for (std::size_t i = 0; i < N; ++i) {
                bytes[i] = m_frame[offset + i];
            }
        }
        return bytes;
    }

private:
    std::span<const std::uint8_t> m_frame;
};

using MacAddress = std::array<std::uint8_t, 6>;
using Ipv4Address = std::array<std::uint8_t, 4>;

// Stored packets and the hex view carry a frame as one 16-bit element per byte; the byte is the
// low 8 bits.
std::vector<std::uint8_t> FrameFromWords(std::span<const std::uint16_t> words);
std::vector<std::uint16_t> WordsFromFrame(std::span<const std::uint8_t> frame);

}  // namespace wirelark
