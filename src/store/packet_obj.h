// One stored packet: its number, wire length, list time text and frame bytes, kept one byte per
// frame byte or left in the capture file it was opened from, and its body in the Lark file.
#pragma once

#include <sys/time.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/time_text.h"

namespace wirelark {

class CArchiveReader;
class CArchiveWriter;
class CByteArena;

class CPacketObj {
public:
    CPacketObj() = default;
    CPacketObj(const CPacketObj&) = delete;
    CPacketObj& operator=(const CPacketObj&) = delete;
    CPacketObj(CPacketObj&& other) noexcept;
    CPacketObj& operator=(CPacketObj&& other) noexcept;
    ~CPacketObj() { Release(); }

    // Stores the number, the length and the time text, and copies the frame bytes: the first
    // `length` of them, but never more than `frame` holds (a frame captured shorter than its
    // wire length keeps what was captured), and none for a length of 0 or below. With an arena
    // the bytes live there and the record must not outlive it; otherwise the record owns them.
    void SetPacket(int number, std::span<const std::uint8_t> frame, int length,
                   std::string_view timeText, CByteArena* pArena = nullptr);
    // The same for a frame with a capture time: the time text is the one FormatTimeText makes
    // of that time in whole microseconds, made again whenever it is asked for rather than kept,
    // which saves a sixth of the memory of a minimum-size frame.
    void SetPacket(int number, std::span<const std::uint8_t> frame, int length,
                   const CPacketTime& captureTime, CByteArena* pArena = nullptr);

    // A record whose bytes stay in the capture file it was opened from: `captured` bytes at
    // `offset` there, but no more than `length`, as above. Its time text is made from its
    // capture time.
    void SetFilePacket(int number, std::uint64_t offset, std::uint32_t captured, int length,
                       const CPacketTime& captureTime);
    bool IsInFile() const { return TextInfoSize() == kBytesInFile; }
    std::uint64_t GetFileOffset() const { return IsInFile() ? m_storage.fileOffset : 0; }
    // How many frame bytes the record has, in memory or in its file.
    std::uint32_t GetCapturedLength() const { return m_dataSize; }

    int GetNumber() const { return m_number; }
    // The frame's wire length, as stored; GetBytes().size() can differ (see SetPacket).
    int GetLength() const { return m_length; }
    std::string GetTimeText() const;
    // Appends one 16-bit element per frame byte, in order, at the end of `out`.
    void GetData(std::vector<std::uint16_t>& out) const;
    // The frame bytes without a copy, valid as long as the record; none for a record whose
    // bytes are in its file, which the document reads (CWirelarkDoc::GetPacketBytes).
    std::span<const std::uint8_t> GetBytes() const {
        if (IsInFile()) {
            return {};
        }
        return {m_storage.pBytes + StoredTextSize(), m_dataSize};
    }

    // The capture time, kept in memory only (the capture file has no place for it). SetPacket
    // with a time text and reading a body clear it; a time beyond about 290 years from 1970 is
    // held at that limit. A record whose text is made from its time shows the new time.
    void SetTimestamp(const CPacketTime& time);
    std::optional<CPacketTime> GetTimestamp() const;

    // Writes the packet body: length, number, time text, element count and elements, the
    // elements being `bytes` (a record in its file has them read first).
    void Serialize(CArchiveWriter& ar, std::span<const std::uint8_t> bytes) const;
    void Serialize(CArchiveWriter& ar) const { Serialize(ar, GetBytes()); }
    // Reads a packet body in place of the current contents; false with the reader's status set
    // when the input is short or malformed. Only the low byte of each element is kept.
    bool Serialize(CArchiveReader& ar, CByteArena* pArena = nullptr);

private:
    // m_textInfo holds the time text's size in its low bits and whether the record owns its
    // storage in the top bit, which keeps the record at 32 bytes.
    static constexpr std::uint32_t kOwnedBit = 0x8000'0000u;
    // The size of a record whose time text is made from its timestamp.
    static constexpr std::uint32_t kTextFromTime = kOwnedBit - 1;
    // The same, with the frame bytes in the file and the storage word holding their offset.
    static constexpr std::uint32_t kBytesInFile = kOwnedBit - 2;

    std::uint8_t* Store(std::size_t size, CByteArena* pArena);
    // Takes over freshly stored bytes, freeing what the record owned before.
    void Adopt(std::uint8_t* pStorage, bool bOwned, std::uint32_t textSize,
               std::uint32_t dataSize) noexcept;
    void Release() noexcept;
    std::uint32_t TextInfoSize() const { return m_textInfo & ~kOwnedBit; }
    bool TextFromTime() const { return TextInfoSize() >= kBytesInFile; }
    std::uint32_t StoredTextSize() const { return TextFromTime() ? 0 : TextInfoSize(); }

    union Storage {
        std::uint8_t* pBytes;  // the time text, then the frame bytes
        std::uint64_t fileOffset;
    };
    Storage m_storage{nullptr};
    std::uint32_t m_textInfo = 0;
    std::uint32_t m_dataSize = 0;
    std::int32_t m_number = 0;
    std::int32_t m_length = 0;
    // Nanoseconds since the epoch in one word, to keep the record small.
    static constexpr std::int64_t kNoTimestamp = INT64_MIN;
    std::int64_t m_timestamp = kNoTimestamp;
};

// A record's bytes wherever they are kept, valid until the next call; none when they can no
// longer be read.
using PacketBytesSource =
    std::function<std::optional<std::span<const std::uint8_t>>(const CPacketObj& record)>;

}  // namespace wirelark
