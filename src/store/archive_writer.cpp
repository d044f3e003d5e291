// Buffered writer of the capture file's archive primitives.
#include "store/archive_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wirelark {

namespace {

constexpr std::size_t kFileBufferSize = std::size_t{1} << 20;

}  // namespace

CArchiveWriter::CArchiveWriter(std::vector<std::uint8_t>& out) : m_pOut(&out) {}

CArchiveWriter::CArchiveWriter(int fd)
    : m_fd(fd), m_buffer(std::make_unique_for_overwrite<std::uint8_t[]>(kFileBufferSize)) {}

// Callers never ask for more than kFileBufferSize at once.
std::uint8_t* CArchiveWriter::Reserve(std::size_t size) {
    if (m_pOut != nullptr) {
        const std::size_t at = m_pOut->size();
        m_pOut->resize(at + size);
        return m_pOut->data() + at;
    }
    if (m_used + size > kFileBufferSize) {
        Flush();
    }
    std::uint8_t* p = m_buffer.get() + m_used;
    m_used += size;
    return p;
}

void CArchiveWriter::WriteU8(std::uint8_t value) {
    *Reserve(1) = value;
}

void CArchiveWriter::WriteU16(std::uint16_t value) {
    std::uint8_t* p = Reserve(2);
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void CArchiveWriter::WriteU32(std::uint32_t value) {
    std::uint8_t* p = Reserve(4);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void CArchiveWriter::WriteI32(std::int32_t value) {
    WriteU32(static_cast<std::uint32_t>(value));
}

void CArchiveWriter::WriteCount(std::uint32_t value) {
    if (value < 0xFFFF) {
        WriteU16(static_cast<std::uint16_t>(value));
        return;
    }
    WriteU16(0xFFFF);
    WriteU32(value);
}

void CArchiveWriter::WriteText(std::string_view text) {
    const std::size_t length = text.size();
    if (length < 0xFF) {
        WriteU8(static_cast<std::uint8_t>(length));
    } else if (length < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<std::uint16_t>(length));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<std::uint32_t>(length));
    }
    WriteBytes({reinterpret_cast<const std::uint8_t*>(text.data()), length});
}

void CArchiveWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t take = m_fd >= 0 ? std::min(bytes.size(), kFileBufferSize) : bytes.size();
        std::memcpy(Reserve(take), bytes.data(), take);
        bytes = bytes.subspan(take);
    }
}

void CArchiveWriter::WriteBytesAsElements(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t take =
            m_fd >= 0 ? std::min(bytes.size(), kFileBufferSize / 2) : bytes.size();
        std::uint8_t* __restrict p = Reserve(2 * take);
        const std::uint8_t* __restrict pBytes = bytes.data();
        for (std::size_t i = 0; i < take; ++i) {
            p[2 * i] = pBytes[i];
            p[2 * i + 1] = 0;
        }
        bytes = bytes.subspan(take);
    }
}

bool CArchiveWriter::Flush() {
    if (m_pOut != nullptr) {
        return IsOk();
    }
    const std::uint8_t* p = m_buffer.get();
    std::size_t left = m_used;
    while (left > 0 && m_errorNumber == 0) {
        const ssize_t written = ::write(m_fd, p, left);
        if (written < 0) {
            if (errno != EINTR) {
                m_errorNumber = errno;
            }
            continue;
        }
        if (written == 0) {
            m_errorNumber = ENOSPC;
            continue;
        }
        p += written;
        left -= static_cast<std::size_t>(written);
    }
    // After a failure the rest is dropped: the save is lost anyway.
    m_used = 0;
    return IsOk();
}

}  // namespace wirelark
