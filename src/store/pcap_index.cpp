// Indexing a pcap or pcapng file: where each packet's bytes are, read from its record headers
// or placed beside libpcap's reading.
#include "store/pcap_index.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "store/byte_arena.h"
#include "store/file_descriptor.h"
#include "store/packet_list.h"
#include "store/packet_obj.h"

namespace wirelark {

namespace {

constexpr std::size_t kPlainHeaderBytes = 16;
constexpr std::uint64_t kPcapFileHeaderBytes = 24;
constexpr std::uint32_t kPcapngSection = 0x0A0D0D0A;
constexpr std::uint32_t kPcapngByteOrder = 0x1A2B3C4D;
constexpr std::uint32_t kPcapngEnhancedPacket = 6;
constexpr std::uint32_t kPcapngSimplePacket = 3;
constexpr std::uint32_t kPcapngObsoletePacket = 2;
// Memory is looked at every million records, and the opening stops while this much is left.
constexpr int kMemoryCheckStride = 1 << 20;
constexpr std::uint64_t kMemoryReserve = std::uint64_t{256} << 20;

std::uint32_t ReadU32(const std::uint8_t* p, bool bSwapped) {
    std::uint32_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return bSwapped ? __builtin_bswap32(value) : value;
}

// What the system says it can still give without swapping, from /proc/meminfo; unknown where
// that is not there.
std::optional<std::uint64_t> AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0;
    std::string unit;
    while (meminfo >> key >> kilobytes >> unit) {
        if (key == "MemAvailable:") {
            return kilobytes * 1024;
        }
    }
    return std::nullopt;
}

}  // namespace

// A file's bytes a megabyte at a time, read with pread so that skipping a long frame costs
// nothing.
class CPcapFileIndexer::CBlockReader {
public:
    explicit CBlockReader(int fd) : m_fd(fd), m_buffer(kBufferBytes) {}

    // `count` bytes at `position`, valid until the next call; nullptr when the file holds
    // fewer there or cannot be read.
    const std::uint8_t* Peek(std::uint64_t position, std::size_t count) {
        if (position >= m_start && position + count <= m_start + m_filled) {
            return m_buffer.data() + (position - m_start);
        }
        m_start = position;
        int error = 0;  // a failed read ends the file here, as its end does
        m_filled = ReadAt(m_fd, m_buffer, position, error);
        return count <= m_filled ? m_buffer.data() : nullptr;
    }

private:
    static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
    int m_fd;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_start = 0;
    std::size_t m_filled = 0;
};

CPcapFileIndexer::CPcapFileIndexer(CByteArena& arena, CPacketList& records, std::uint64_t size,
                                   const ProgressCallback& progress)
    : m_records(records),
      m_size(size),
      m_reporter(progress, size),
      m_library(&arena, size, m_noProgress) {}

CPcapFileIndexer::~CPcapFileIndexer() = default;

DocumentOutcome CPcapFileIndexer::Open(int fd, bool bNanosecond) {
    // libpcap judges the file's header and link type, and reads whatever is not plain.
    DocumentOutcome outcome = m_library.Open(fd, bNanosecond);
    if (!outcome.Succeeded()) {
        return outcome;
    }
    m_pBlocks = std::make_unique<CBlockReader>(fd);
    if (const std::uint8_t* header = m_pBlocks->Peek(0, kPcapFileHeaderBytes)) {
        std::uint32_t magic = ReadU32(header, false);
        m_bSwapped = magic == 0xD4C3B2A1 || magic == 0x4D3CB2A1;
        magic = m_bSwapped ? __builtin_bswap32(magic) : magic;
        const std::uint32_t versions = ReadU32(header + 4, m_bSwapped);
        const std::uint32_t major = m_bSwapped ? versions >> 16 : versions & 0xFFFF;
        const std::uint32_t minor = m_bSwapped ? versions & 0xFFFF : versions >> 16;
        // Older minor versions may hold the two lengths the other way round.
        m_bPlain = (magic == 0xA1B2C3D4 || magic == 0xA1B23C4D) && major == 2 && minor >= 4;
        m_bPcapng = magic == kPcapngSection;
    }
    m_position = kPcapFileHeaderBytes;
    if (m_bPcapng) {
        m_position = 0;
    }
    // Records come in by the million; huge pages spare most of their page faults.
    m_records.SetHugePages(true);
    m_records.SetBulkLoad(true);
    return outcome;
}

bool CPcapFileIndexer::Next() {
    if (m_number % static_cast<int>(kProgressStride) == 0) {
        const std::uint64_t position = m_bPlain || m_bPcapng ? m_position : m_library.GetPosition();
        if (!m_reporter.Advance(position)) {
            m_bCancelled = true;
            return false;
        }
        if (m_number % kMemoryCheckStride == 0 && m_number > 0 && MemoryRunsShort()) {
            return false;
        }
    }
    return m_bPlain ? NextPlain() : NextThroughLibrary();
}

bool CPcapFileIndexer::NextPlain() {
    const bool bNanosecond = m_library.IsNanosecond();
    if (const std::uint8_t* header = m_pBlocks->Peek(m_position, kPlainHeaderBytes)) {
        const std::uint32_t seconds = ReadU32(header, m_bSwapped);
        const std::uint32_t fraction = ReadU32(header + 4, m_bSwapped);
        const std::uint32_t captured = ReadU32(header + 8, m_bSwapped);
        const std::uint32_t length = ReadU32(header + 12, m_bSwapped);
        const std::uint64_t data = m_position + kPlainHeaderBytes;
        const bool bWhole = captured <= m_library.GetSnapshot() && data + captured <= m_size;
        const bool bFractionShown = fraction <= (bNanosecond ? 999'999'999u : 999'999u);
        if (bWhole && bFractionShown && m_number < INT_MAX) {
            ++m_number;
            // The file's seconds are signed 32-bit, as libpcap reads them.
            const auto second = static_cast<std::int64_t>(static_cast<std::int32_t>(seconds));
            m_placed =
                CPlaced{data, captured, static_cast<int>(std::min<std::uint32_t>(length, INT_MAX)),
                        CPacketTime{second, bNanosecond ? fraction : fraction * 1000}};
            m_position = data + captured;
            return true;
        }
    }
    // The end, or something out of the ordinary: libpcap reads it and says what it is.
    m_library.ContinueAt(m_position, m_number);
    if (!m_library.Next()) {
        return false;
    }
    m_number = m_library.GetNumber();
    m_placed.reset();
    m_position = m_library.GetPosition();
    return true;
}

bool CPcapFileIndexer::NextThroughLibrary() {
    if (!m_library.Next()) {
        return false;
    }
    m_number = m_library.GetNumber();
    m_placed.reset();
    if (!m_bPcapng) {
        return true;
    }
    // The block libpcap read this packet from: the next packet block after the last one.
    const pcap_pkthdr& header = m_library.GetHeader();
    while (const std::uint8_t* block = m_pBlocks->Peek(m_position, 12)) {
        const std::uint32_t type = ReadU32(block, m_bSwapped);
        if (type == kPcapngSection) {
            const std::uint32_t order = ReadU32(block + 8, false);
            if (order != kPcapngByteOrder && order != __builtin_bswap32(kPcapngByteOrder)) {
                break;
            }
            m_bSwapped = order != kPcapngByteOrder;
        }
        const std::uint32_t total = ReadU32(block + 4, m_bSwapped);
        if (total < 12 || total % 4 != 0) {
            break;
        }
        const std::uint64_t start = m_position;
        m_position += total;
        std::uint64_t data = 0;
        std::uint32_t length = 0;
        if ((type == kPcapngEnhancedPacket || type == kPcapngObsoletePacket) && total >= 32) {
            const std::uint8_t* fields = m_pBlocks->Peek(start, 28);
            if (fields == nullptr) {
                break;
            }
            data = start + 28;
            length = ReadU32(fields + 24, m_bSwapped);
        } else if (type == kPcapngSimplePacket && total >= 16) {
            data = start + 12;
            length = ReadU32(block + 8, m_bSwapped);
        } else {
            continue;
        }
        const std::optional<CPacketTime> time = m_library.GetShownTime();
        if (length == header.len && data + header.caplen <= start + total && time) {
            m_placed = CPlaced{data, header.caplen, WireLength(header), *time};
        }
        return true;
    }
    // The blocks no longer follow libpcap's packets: the rest is copied.
    m_bPcapng = false;
    return true;
}

bool CPcapFileIndexer::MemoryRunsShort() {
    const std::optional<std::uint64_t> available = AvailableMemory();
    if (!available || *available >= kMemoryReserve) {
        return false;
    }
    m_warning = "Memory ran short after packet " + std::to_string(m_number) +
                "; only the packets before that point were opened.";
    return true;
}

void CPcapFileIndexer::Fill(CPacketObj& record) {
    if (m_placed) {
        record.SetFilePacket(m_number, m_placed->offset, m_placed->captured, m_placed->length,
                             m_placed->time);
    } else {
        m_library.Fill(record);
    }
}

DocumentOutcome CPcapFileIndexer::Finish() {
    m_records.SetBulkLoad(false);
    m_records.SetHugePages(false);
    m_records.ReleaseUnused();
    DocumentOutcome outcome = m_library.Finish();
    if (m_bCancelled || !m_reporter.Finish()) {
        return CancelledOutcome();
    }
    if (outcome.Succeeded() && !m_warning.empty()) {
        outcome.warning = m_warning;
    }
    return outcome;
}

}  // namespace wirelark
