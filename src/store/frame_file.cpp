// Reading opened records' bytes back from their capture file.
#include "store/frame_file.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <utility>

#include "store/packet_obj.h"

namespace wirelark {

namespace {

// Rows on screen and packets saved are neighbours in the file, so a few windows of a quarter
// megabyte serve them with one read each.
constexpr std::size_t kWindowBytes = std::size_t{1} << 18;
constexpr std::size_t kWindowCount = 4;
constexpr std::uint64_t kWindowAlignment = 4096;

std::uint32_t Swapped(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

}  // namespace

CFrameFile::CFrameFile(CFileDescriptor file, std::string path)
    : m_file(std::move(file)), m_path(std::move(path)) {}

bool CFrameFile::Read(const CPacketObj& record, std::vector<std::uint8_t>& out) {
    constexpr std::uint64_t kPrefix = 4;
    const std::uint64_t offset = record.GetFileOffset();
    out.resize(record.GetCapturedLength() + kPrefix);
    std::lock_guard lock(m_mutex);
    if (offset < kPrefix || !ReadRange(offset - kPrefix, out)) {
        out.clear();
        return offset < kPrefix ? Fail("it has changed since it was opened") : false;
    }
    std::uint32_t stated = 0;
    std::memcpy(&stated, out.data(), sizeof stated);
    const auto length = static_cast<std::uint32_t>(record.GetLength());
    // Lengths beyond INT_MAX were held at it when the file was opened.
    if (record.GetLength() != INT_MAX && stated != length && Swapped(stated) != length) {
        out.clear();
        return Fail("it has changed since it was opened");
    }
    out.erase(out.begin(), out.begin() + kPrefix);
    return true;
}

bool CFrameFile::ReadRange(std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::uint64_t end = offset + out.size();
    for (Window& window : m_windows) {
        if (offset >= window.start && end <= window.start + window.bytes.size()) {
            std::memcpy(out.data(), window.bytes.data() + (offset - window.start), out.size());
            window.lastUse = ++m_uses;
            return true;
        }
    }
    const std::uint64_t start = offset / kWindowAlignment * kWindowAlignment;
    const std::size_t wanted = static_cast<std::size_t>(end - start);
    Window* pWindow = nullptr;
    if (wanted <= kWindowBytes) {
        if (m_windows.size() < kWindowCount) {
            pWindow = &m_windows.emplace_back();
        } else {
            pWindow = &*std::min_element(
                m_windows.begin(), m_windows.end(),
                [](const Window& a, const Window& b) { return a.lastUse < b.lastUse; });
        }
    }
    std::vector<std::uint8_t> large;
    std::vector<std::uint8_t>& buffer = pWindow != nullptr ? pWindow->bytes : large;
    buffer.resize(std::max(wanted, pWindow != nullptr ? kWindowBytes : wanted));
    int error = 0;
    const std::size_t got = ReadAt(m_file.Get(), buffer, start, error);
    if (error != 0) {
        buffer.clear();
        if (pWindow != nullptr) {
            pWindow->lastUse = 0;
        }
        return Fail(std::strerror(error));
    }
    buffer.resize(got);
    if (pWindow != nullptr) {
        pWindow->start = start;
        pWindow->lastUse = ++m_uses;
    }
    if (got < wanted) {
        return Fail("it is shorter than when it was opened");
    }
    std::memcpy(out.data(), buffer.data() + (offset - start), out.size());
    return true;
}

bool CFrameFile::Fail(std::string reason) {
    if (!m_bFailed) {
        m_bFailed = true;
        m_firstFailure = std::move(reason);
    }
    return false;
}

std::string CFrameFile::TakeFirstFailure() {
    std::lock_guard lock(m_mutex);
    if (!m_bFailed || m_bFailureTaken) {
        return {};
    }
    m_bFailureTaken = true;
    return m_firstFailure;
}

}  // namespace wirelark
