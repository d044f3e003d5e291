// An open file descriptor that is closed on every path out, for the documents' file handling.
#pragma once

#include <unistd.h>

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

}  // namespace wirelark
