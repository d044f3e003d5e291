// Writes the little-endian object-archive primitives of a capture file into memory or, buffered,
// into an open file; the first system error sticks and every later write is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace wirelark {

class CArchiveWriter {
public:
    // Appends to `out`, which must outlive the writer.
    explicit CArchiveWriter(std::vector<std::uint8_t>& out);
    // Writes to an open file descriptor, which the writer does not own or close. Call Flush
    // before looking at the outcome.
    explicit CArchiveWriter(int fd);
    CArchiveWriter(const CArchiveWriter&) = delete;
    CArchiveWriter& operator=(const CArchiveWriter&) = delete;

    void WriteU8(std::uint8_t value);
    void WriteU16(std::uint16_t value);
    void WriteU32(std::uint32_t value);
    void WriteI32(std::int32_t value);
    // Below 0xFFFF as a u16, otherwise 0xFFFF and a u32.
    void WriteCount(std::uint32_t value);
    // The 8-bit text with the shortest of its u8, u16 and u32 length prefixes.
    void WriteText(std::string_view text);
    void WriteBytes(std::span<const std::uint8_t> bytes);
    // One u16 element per byte: the byte, then a zero byte.
    void WriteBytesAsElements(std::span<const std::uint8_t> bytes);

    // Hands buffered bytes to the file; returns IsOk().
    bool Flush();
    bool IsOk() const { return m_errorNumber == 0; }
    int GetErrorNumber() const { return m_errorNumber; }

private:
    std::uint8_t* Reserve(std::size_t size);

    std::vector<std::uint8_t>* m_pOut = nullptr;  // memory mode
    int m_fd = -1;                                // file mode
    std::unique_ptr<std::uint8_t[]> m_buffer;     // file mode: bytes not yet written
    std::size_t m_used = 0;
    int m_errorNumber = 0;
};

}  // namespace wirelark
