// An open file descriptor that is closed on every path out, for the documents' file handling.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <span>
#include <utility>

namespace wirelark {

class CFileDescriptor {
public:
    CFileDescriptor() = default;
    // Takes `fd`, which may be -1 for none.
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() { Reset(); }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    CFileDescriptor(CFileDescriptor&& other) noexcept : m_fd(other.Release()) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Hands the descriptor to the caller, who closes it from then on.
    int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor held, if any, and takes `fd`.
    void Reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// Reads into the whole of `buffer` from `offset`, or as much as the file holds there, going on
// after reads a signal cut short. Returns the count read; `error` is the errno of a failed read,
// which ends the reading, else 0.
inline std::size_t ReadAt(int fd, std::span<std::uint8_t> buffer, std::uint64_t offset,
                          int& error) {
    error = 0;
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n =
            ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

}  // namespace wirelark
