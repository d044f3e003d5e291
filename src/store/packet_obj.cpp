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

// One less than the marker of a text made from the time.
constexpr std::size_t kMaxSize = std::numeric_limits<std::uint32_t>::max() - 1;

}  // namespace

CPacketObj::CPacketObj(CPacketObj&& other) noexcept
    : m_owned(std::move(other.m_owned)),
      m_pStorage(std::exchange(other.m_pStorage, nullptr)),
      m_textSize(std::exchange(other.m_textSize, 0)),
      m_dataSize(std::exchange(other.m_dataSize, 0)),
      m_number(std::exchange(other.m_number, 0)),
      m_length(std::exchange(other.m_length, 0)),
      m_timestamp(std::exchange(other.m_timestamp, kNoTimestamp)) {}

CPacketObj& CPacketObj::operator=(CPacketObj&& other) noexcept {
    if (this != &other) {
        m_owned = std::move(other.m_owned);
        m_pStorage = std::exchange(other.m_pStorage, nullptr);
        m_textSize = std::exchange(other.m_textSize, 0);
        m_dataSize = std::exchange(other.m_dataSize, 0);
        m_number = std::exchange(other.m_number, 0);
        m_length = std::exchange(other.m_length, 0);
        m_timestamp = std::exchange(other.m_timestamp, kNoTimestamp);
    }
    return *this;
}

std::uint8_t* CPacketObj::Store(std::size_t size, CByteArena* pArena) {
    if (pArena != nullptr) {
        return pArena->Allocate(size);
    }
    if (size == 0) {
        return nullptr;
    }
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    std::uint8_t* p = block.get();
    m_owned = std::move(block);
    return p;
}

void CPacketObj::SetPacket(int number, std::span<const std::uint8_t> frame, int length,
                           std::string_view timeText, CByteArena* pArena) {
    const std::size_t dataSize =
        length > 0 ? std::min(frame.size(), static_cast<std::size_t>(length)) : 0;
    const std::size_t textSize = std::min(timeText.size(), kMaxSize);
    // Filled before anything is replaced, so a failed allocation leaves the record as it was.
    std::unique_ptr<std::uint8_t[]> previous = std::move(m_owned);
    std::uint8_t* p = nullptr;
    try {
        p = Store(textSize + dataSize, pArena);
    } catch (...) {
        m_owned = std::move(previous);
        throw;
    }
    if (textSize > 0) {
        std::memcpy(p, timeText.data(), textSize);
    }
    if (dataSize > 0) {
        std::memcpy(p + textSize, frame.data(), dataSize);
    }
    m_pStorage = p;
    m_textSize = static_cast<std::uint32_t>(textSize);
    m_dataSize = static_cast<std::uint32_t>(dataSize);
    m_number = number;
    m_length = length;
    m_timestamp = kNoTimestamp;
}

void CPacketObj::SetPacket(int number, std::span<const std::uint8_t> frame, int length,
                           const CPacketTime& captureTime, CByteArena* pArena) {
    SetPacket(number, frame, length, std::string_view(), pArena);
    SetTimestamp(captureTime);
    m_textSize = kTextFromTime;
}

std::string CPacketObj::GetTimeText() const {
    if (m_textSize != kTextFromTime) {
        return {reinterpret_cast<const char*>(m_pStorage), m_textSize};
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

void CPacketObj::Serialize(CArchiveWriter& ar) const {
    ar.WriteI32(m_length);
    ar.WriteI32(m_number);
    ar.WriteText(GetTimeText());
    ar.WriteCount(m_dataSize);
    ar.WriteBytesAsElements(GetBytes());
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
    std::array<std::uint8_t, 64> smallText;
    std::vector<std::uint8_t> largeText;
    std::uint8_t* pText = smallText.data();
    if (textSize > smallText.size()) {
        largeText.resize(textSize);
        pText = largeText.data();
    }
    if (textSize > kMaxSize) {
        ar.Fail(ReadStatus::Truncated, "the file ends inside a time text");
        return false;
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
    std::unique_ptr<std::uint8_t[]> previous = std::move(m_owned);
    std::uint8_t* p = nullptr;
    try {
        p = Store(std::size_t{textSize} + count, pArena);
    } catch (...) {
        m_owned = std::move(previous);
        throw;
    }
    if (textSize > 0) {
        std::memcpy(p, pText, textSize);
    }
    if (!ar.ReadElementsAsBytes(p + textSize, count)) {
        // Only a read error of the file gets here; the record is left empty.
        m_pStorage = nullptr;
        m_textSize = 0;
        m_dataSize = 0;
        m_owned.reset();
        return false;
    }
    m_pStorage = p;
    m_textSize = textSize;
    m_dataSize = count;
    m_number = number;
    m_length = length;
    m_timestamp = kNoTimestamp;
    return true;
}

}  // namespace wirelark
