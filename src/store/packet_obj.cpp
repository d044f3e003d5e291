// The stored packet record and its capture-file body.
#include "store/packet_obj.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "store/byte_arena.h"
#include "store/time_text.h"

namespace wirelark {

namespace {

// Text sizes share their word with the ownership bit, below the markers of texts made from the
// time.
constexpr std::size_t kMaxSize = (std::uint32_t{1} << 31) - 3;

}  // namespace

// A million packets' records are counted at 32 bytes each in the memory the list is allowed.
static_assert(sizeof(CPacketObj) == 32);

CPacketObj::CPacketObj(CPacketObj&& other) noexcept
    : m_storage(std::exchange(other.m_storage, Storage{nullptr})),
      m_textInfo(std::exchange(other.m_textInfo, 0)),
      m_dataSize(std::exchange(other.m_dataSize, 0)),
      m_number(std::exchange(other.m_number, 0)),
      m_length(std::exchange(other.m_length, 0)),
      m_timestamp(std::exchange(other.m_timestamp, kNoTimestamp)) {}

CPacketObj& CPacketObj::operator=(CPacketObj&& other) noexcept {
    if (this != &other) {
        Release();
        m_storage = std::exchange(other.m_storage, Storage{nullptr});
        m_textInfo = std::exchange(other.m_textInfo, 0);
        m_dataSize = std::exchange(other.m_dataSize, 0);
        m_number = std::exchange(other.m_number, 0);
        m_length = std::exchange(other.m_length, 0);
        m_timestamp = std::exchange(other.m_timestamp, kNoTimestamp);
    }
    return *this;
}

void CPacketObj::Release() noexcept {
    if ((m_textInfo & kOwnedBit) != 0) {
        delete[] m_storage.pBytes;
    }
    m_storage.pBytes = nullptr;
    m_textInfo = 0;
}

std::uint8_t* CPacketObj::Store(std::size_t size, CByteArena* pArena) {
    if (pArena != nullptr) {
        return pArena->Allocate(size);
    }
    return size == 0 ? nullptr : new std::uint8_t[size];
}

void CPacketObj::Adopt(std::uint8_t* pStorage, bool bOwned, std::uint32_t textSize,
                       std::uint32_t dataSize) noexcept {
    Release();
    m_storage.pBytes = pStorage;
    m_textInfo = textSize | (bOwned && pStorage != nullptr ? kOwnedBit : 0);
    m_dataSize = dataSize;
}

void CPacketObj::SetPacket(int number, std::span<const std::uint8_t> frame, int length,
                           std::string_view timeText, CByteArena* pArena) {
    const std::size_t dataSize =
        length > 0 ? std::min(frame.size(), static_cast<std::size_t>(length)) : 0;
    const std::size_t textSize = std::min(timeText.size(), kMaxSize);
    // Filled before anything is replaced, so a failed allocation leaves the record as it was.
    std::uint8_t* p = Store(textSize + dataSize, pArena);
    if (textSize > 0) {
        std::memcpy(p, timeText.data(), textSize);
    }
    if (dataSize > 0) {
        std::memcpy(p + textSize, frame.data(), dataSize);
    }
    Adopt(p, pArena == nullptr, static_cast<std::uint32_t>(textSize),
          static_cast<std::uint32_t>(dataSize));
    m_number = number;
    m_length = length;
    m_timestamp = kNoTimestamp;
}

void CPacketObj::SetPacket(int number, std::span<const std::uint8_t> frame, int length,
                           const CPacketTime& captureTime, CByteArena* pArena) {
    SetPacket(number, frame, length, std::string_view(), pArena);
    SetTimestamp(captureTime);
    m_textInfo |= kTextFromTime;
}

void CPacketObj::SetFilePacket(int number, std::uint64_t offset, std::uint32_t captured, int length,
                               const CPacketTime& captureTime) {
    Release();
    m_storage.fileOffset = offset;
    m_textInfo = kBytesInFile;
    // As SetPacket keeps them: no more bytes than the wire length.
    m_dataSize = length > 0 ? std::min(captured, static_cast<std::uint32_t>(length)) : 0;
    m_number = number;
    m_length = length;
    SetTimestamp(captureTime);
}

std::string CPacketObj::GetTimeText() const {
    if (!TextFromTime()) {
        return {reinterpret_cast<const char*>(m_storage.pBytes), TextInfoSize()};
    }
    const std::optional<CPacketTime> time = GetTimestamp();
    const timeval shown{static_cast<time_t>(time->seconds),
                        static_cast<suseconds_t>(time->nanoseconds / 1000)};
    return FormatTimeText(shown);
}

void CPacketObj::SetTimestamp(const CPacketTime& time) {
    constexpr std::int64_t kBillion = 1'000'000'000;
    constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int64_t>::max() / kBillion - 1;
    const std::int64_t seconds = std::clamp(time.seconds, -kMaxSeconds, kMaxSeconds);
    m_timestamp = seconds * kBillion + std::min<std::int64_t>(time.nanoseconds, kBillion - 1);
}

std::optional<CPacketTime> CPacketObj::GetTimestamp() const {
    if (m_timestamp == kNoTimestamp) {
        return std::nullopt;
    }
    constexpr std::int64_t kBillion = 1'000'000'000;
    std::int64_t seconds = m_timestamp / kBillion;
    std::int64_t nanoseconds = m_timestamp % kBillion;
    if (nanoseconds < 0) {
        --seconds;
        nanoseconds += kBillion;
    }
    return CPacketTime{seconds, static_cast<std::uint32_t>(nanoseconds)};
}

void CPacketObj::GetData(std::vector<std::uint16_t>& out) const {
    const std::span<const std::uint8_t> bytes = GetBytes();
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void CPacketObj::Serialize(CArchiveWriter& ar, std::span<const std::uint8_t> bytes) const {
    ar.WriteI32(m_length);
    ar.WriteI32(m_number);
    ar.WriteText(GetTimeText());
    ar.WriteCount(static_cast<std::uint32_t>(bytes.size()));
    ar.WriteBytesAsElements(bytes);
}

bool CPacketObj::Serialize(CArchiveReader& ar, CByteArena* pArena) {
    std::int32_t length = 0;
    std::int32_t number = 0;
    std::uint32_t textSize = 0;
    if (!ar.ReadI32(length) || !ar.ReadI32(number) || !ar.ReadTextLength(textSize)) {
        return false;
    }
    // The text waits here until the element count says how much storage the record needs;
    // time texts fit the small buffer, so reading a file allocates once per record.
    if (textSize > kMaxSize) {
        ar.Fail(ReadStatus::Truncated, "the file ends inside a time text");
        return false;
    }
    std::array<std::uint8_t, 64> smallText;
    std::vector<std::uint8_t> largeText;
    std::uint8_t* pText = smallText.data();
    if (textSize > smallText.size()) {
        largeText.resize(textSize);
        pText = largeText.data();
    }
    std::uint32_t count = 0;
    if (!ar.ReadBytes(pText, textSize) || !ar.ReadCount(count)) {
        return false;
    }
    // Checked before anything is allocated for the elements.
    if (ar.GetRemaining() / 2 < count) {
        ar.Fail(ReadStatus::Truncated, "the file ends inside a frame");
        return false;
    }
    std::uint8_t* p = Store(std::size_t{textSize} + count, pArena);
    if (textSize > 0) {
        std::memcpy(p, pText, textSize);
    }
    const bool bRead = ar.ReadElementsAsBytes(p + textSize, count);
    Adopt(p, pArena == nullptr, textSize, count);
    if (!bRead) {
        // Only a read error of the file gets here; the record is left empty.
        Adopt(nullptr, false, 0, 0);
        return false;
    }
    m_number = number;
    m_length = length;
    m_timestamp = kNoTimestamp;
    return true;
}

}  // namespace wirelark
