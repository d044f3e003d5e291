// Bounds-checked reader of the capture file's archive primitives.
#include "store/archive_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace wirelark {

namespace {

constexpr std::uint16_t kCountEscape = 0xFFFF;
constexpr std::uint8_t kTextEscape8 = 0xFF;
constexpr std::uint16_t kTextWide = 0xFFFE;
constexpr std::uint16_t kTextEscape16 = 0xFFFF;

}  // namespace

CArchiveReader::CArchiveReader(std::span<const std::uint8_t> bytes)
    : m_pCur(bytes.data()), m_pEnd(bytes.data() + bytes.size()) {}

CArchiveReader::CArchiveReader(int fd, std::uint64_t size, std::size_t bufferSize)
    : m_fd(fd),
      m_fileRemaining(size),
      // A small file gets a small buffer.
      m_bufferSize(static_cast<std::size_t>(std::clamp<std::uint64_t>(
          size, kMinFileBufferSize, std::max(bufferSize, kMinFileBufferSize)))) {
    m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(m_bufferSize);
    m_pCur = m_buffer.get();
    m_pEnd = m_pCur;
}

void CArchiveReader::Fail(ReadStatus status, std::string detail) {
    if (m_status != ReadStatus::Ok) {
        return;
    }
    m_status = status;
    m_detail = std::move(detail);
}

bool CArchiveReader::Need(std::size_t size) {
    if (m_status != ReadStatus::Ok) {
        return false;
    }
    if (Buffered() >= size) {
        return true;
    }
    if (GetRemaining() < size) {
        Fail(ReadStatus::Truncated, "the file ends early");
        return false;
    }
    return Refill(size);
}

bool CArchiveReader::Refill(std::size_t size) {
    // Only the file mode gets here: in memory everything is buffered already.
    const std::size_t kept = Buffered();
    std::memmove(m_buffer.get(), m_pCur, kept);
    m_pCur = m_buffer.get();
    m_pEnd = m_pCur + kept;
    while (Buffered() < size) {
        const std::size_t room = m_bufferSize - Buffered();
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(room, m_fileRemaining));
        std::uint8_t* const pWrite = m_buffer.get() + Buffered();
        const ssize_t got = ::read(m_fd, pWrite, want);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_errorNumber = errno;
            Fail(ReadStatus::IoError, std::strerror(errno));
            return false;
        }
        if (got == 0) {
            // The file shrank while it was being read.
            m_fileRemaining = 0;
            Fail(ReadStatus::Truncated, "the file ends early");
            return false;
        }
        m_pEnd += got;
        m_fileRemaining -= static_cast<std::uint64_t>(got);
    }
    return true;
}

bool CArchiveReader::ReadU8(std::uint8_t& value) {
    if (!Need(1)) {
        return false;
    }
    value = *m_pCur++;
    return true;
}

bool CArchiveReader::ReadU16(std::uint16_t& value) {
    if (!Need(2)) {
        return false;
    }
    value = static_cast<std::uint16_t>(m_pCur[0] | (m_pCur[1] << 8));
    m_pCur += 2;
    return true;
}

bool CArchiveReader::ReadU32(std::uint32_t& value) {
    if (!Need(4)) {
        return false;
    }
    value = static_cast<std::uint32_t>(m_pCur[0]) | (static_cast<std::uint32_t>(m_pCur[1]) << 8) |
            (static_cast<std::uint32_t>(m_pCur[2]) << 16) |
            (static_cast<std::uint32_t>(m_pCur[3]) << 24);
    m_pCur += 4;
    return true;
}

bool CArchiveReader::ReadI32(std::int32_t& value) {
    std::uint32_t raw = 0;
    if (!ReadU32(raw)) {
        return false;
    }
    value = static_cast<std::int32_t>(raw);
    return true;
}

bool CArchiveReader::ReadCount(std::uint32_t& value) {
    std::uint16_t shortCount = 0;
    if (!ReadU16(shortCount)) {
        return false;
    }
    if (shortCount != kCountEscape) {
        value = shortCount;
        return true;
    }
    return ReadU32(value);
}

bool CArchiveReader::ReadTextLength(std::uint32_t& length) {
    std::uint8_t shortLength = 0;
    if (!ReadU8(shortLength)) {
        return false;
    }
    std::uint32_t value = shortLength;
    if (shortLength == kTextEscape8) {
        std::uint16_t midLength = 0;
        if (!ReadU16(midLength)) {
            return false;
        }
        if (midLength == kTextWide) {
            Fail(ReadStatus::Malformed, "wide-character text");
            return false;
        }
        value = midLength;
        if (midLength == kTextEscape16 && !ReadU32(value)) {
            return false;
        }
    }
    // Checked here, so that no caller sizes anything by a length the input cannot hold.
    if (GetRemaining() < value) {
        Fail(ReadStatus::Truncated, "the file ends inside a text");
        return false;
    }
    length = value;
    return true;
}

bool CArchiveReader::ReadText(std::string& text) {
    std::uint32_t length = 0;
    if (!ReadTextLength(length)) {
        return false;
    }
    text.resize(length);
    return ReadBytes(reinterpret_cast<std::uint8_t*>(text.data()), length);
}

bool CArchiveReader::ReadBytes(std::uint8_t* pOut, std::size_t size) {
    if (m_status != ReadStatus::Ok) {
        return false;
    }
    if (GetRemaining() < size) {
        Fail(ReadStatus::Truncated, "the file ends early");
        return false;
    }
    while (size > 0) {
        if (m_pCur == m_pEnd && !Need(1)) {
            return false;
        }
        const std::size_t take = std::min(size, Buffered());
        std::memcpy(pOut, m_pCur, take);
        pOut += take;
        m_pCur += take;
        size -= take;
    }
    return true;
}

bool CArchiveReader::ReadElementsAsBytes(std::uint8_t* pOut, std::size_t count) {
    if (m_status != ReadStatus::Ok) {
        return false;
    }
    if (GetRemaining() / 2 < count) {
        Fail(ReadStatus::Truncated, "the file ends inside a frame");
        return false;
    }
    while (count > 0) {
        if (Buffered() < 2 && !Need(2)) {
            return false;
        }
        const std::size_t take = std::min(count, Buffered() / 2);
        std::uint8_t* __restrict pTo = pOut;
        const std::uint8_t* __restrict pFrom = m_pCur;
        for (std::size_t i = 0; i < take; ++i) {
            pTo[i] = pFrom[2 * i];
        }
        pOut += take;
        m_pCur += 2 * take;
        count -= take;
    }
    return true;
}

}  // namespace wirelark
