// Reads the little-endian object-archive primitives of a capture file from memory or from an
// open file, never trusting a length: every read is checked against the bytes that remain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace wirelark {

enum class ReadStatus {
    Ok,
    Truncated,  // the input ended before the bytes a read needed
    Malformed,  // bytes that are present but not what the layout allows
    IoError,    // the system failed to read the file; see GetErrorNumber
};

class CArchiveReader {
public:
    // Reads the given bytes, which must outlive the reader.
    explicit CArchiveReader(std::span<const std::uint8_t> bytes);
    static constexpr std::size_t kFileBufferSize = std::size_t{1} << 20;
    static constexpr std::size_t kMinFileBufferSize = 4;  // the widest primitive

    // Reads `size` bytes from the current position of an open file descriptor, which the reader
    // does not own or close, through a buffer of at most `bufferSize` bytes.
    CArchiveReader(int fd, std::uint64_t size, std::size_t bufferSize = kFileBufferSize);
    CArchiveReader(const CArchiveReader&) = delete;
    CArchiveReader& operator=(const CArchiveReader&) = delete;

    // Each read returns false once anything has failed, and leaves the value untouched then.
    bool ReadU8(std::uint8_t& value);
    bool ReadU16(std::uint16_t& value);
    bool ReadU32(std::uint32_t& value);
    bool ReadI32(std::int32_t& value);
    // A u16 count, or 0xFFFF followed by a u32 count.
    bool ReadCount(std::uint32_t& value);
    // An 8-bit text with its u8, u16 or u32 length prefix; a wide-character text is Malformed.
    bool ReadText(std::string& text);
    // Only the length prefix of such a text; the characters follow. A length larger than the
    // bytes that remain is Truncated.
    bool ReadTextLength(std::uint32_t& length);
    bool ReadBytes(std::uint8_t* pOut, std::size_t size);
    // Reads `count` u16 elements and keeps the low byte of each.
    bool ReadElementsAsBytes(std::uint8_t* pOut, std::size_t count);

    // Marks the input as unusable from here on (first failure wins).
    void Fail(ReadStatus status, std::string detail);

    std::uint64_t GetRemaining() const { return Buffered() + m_fileRemaining; }
    bool IsAtEnd() const { return GetRemaining() == 0; }
    ReadStatus GetStatus() const { return m_status; }
    bool IsOk() const { return m_status == ReadStatus::Ok; }
    int GetErrorNumber() const { return m_errorNumber; }
    // What went wrong, for logs; empty while Ok.
    const std::string& GetDetail() const { return m_detail; }

private:
    std::size_t Buffered() const { return static_cast<std::size_t>(m_pEnd - m_pCur); }
    // Makes at least `size` bytes available in [m_pCur, m_pEnd), or fails as Truncated or IoError.
    bool Need(std::size_t size);
    bool Refill(std::size_t size);

    const std::uint8_t* m_pCur = nullptr;
    const std::uint8_t* m_pEnd = nullptr;
    int m_fd = -1;
    std::uint64_t m_fileRemaining = 0;  // bytes of the file not yet in the buffer
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_bufferSize = 0;
    ReadStatus m_status = ReadStatus::Ok;
    int m_errorNumber = 0;
    std::string m_detail;
};

}  // namespace wirelark
