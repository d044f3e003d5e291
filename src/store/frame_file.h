// The capture file that opened records leave their bytes in, read on demand through a small
// cache. It is read with pread and never mapped: another program may truncate or rewrite it
// while it is open, which must cost a message, not the program.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "store/file_descriptor.h"

namespace wirelark {

class CPacketObj;

class CFrameFile {
public:
    CFrameFile(CFileDescriptor file, std::string path);
    CFrameFile(const CFrameFile&) = delete;
    CFrameFile& operator=(const CFrameFile&) = delete;

    // Reads the bytes of a record in this file into `out`, replacing what it held. Every frame
    // in a capture file follows its wire length; a frame whose four bytes before it no longer
    // say that length is one the file lost, as is one beyond its end. False then, and the
    // first such failure's reason is kept for TakeFirstFailure.
    bool Read(const CPacketObj& record, std::vector<std::uint8_t>& out);
    // The reason the first read failed, once: empty when none has, or when it was taken.
    std::string TakeFirstFailure();
    const std::string& GetPath() const { return m_path; }

private:
    struct Window {
        std::uint64_t start = 0;
        std::vector<std::uint8_t> bytes;
        std::uint64_t lastUse = 0;
    };
    // The file's bytes [offset, offset + out.size()) into `out`, through the cache when they
    // fit a window; false with the reason kept when the file is shorter or unreadable.
    bool ReadRange(std::uint64_t offset, std::span<std::uint8_t> out);
    bool Fail(std::string reason);

    CFileDescriptor m_file;
    std::string m_path;
    std::mutex m_mutex;  // the cache and the failure
    std::vector<Window> m_windows;
    std::uint64_t m_uses = 0;
    std::string m_firstFailure;
    bool m_bFailed = false;
    bool m_bFailureTaken = false;
};

}  // namespace wirelark
