// Opening a pcap or pcapng file without copying its frames: each record keeps where its bytes
// are in the file, so memory grows with the packets' count, not with their bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/progress.h"
#include "store/document.h"
#include "store/pcap_file.h"

namespace wirelark {

class CByteArena;
class CPacketList;
class CPacketObj;

// Plain classic pcap records are read here, a megabyte at a time, faster than libpcap hands
// them out; anything unusual (a cut-short or damaged record, one longer than the file's
// snapshot, a fraction out of range) and every pcapng packet goes through libpcap, which says
// what the file holds. A pcapng packet keeps its place in the file when the block it came from
// is found beside libpcap's reading; a packet that cannot be placed is copied into the arena.
class CPcapFileIndexer {
public:
    // Progress counts bytes of a file of `size` bytes.
    CPcapFileIndexer(CByteArena& arena, CPacketList& records, std::uint64_t size,
                     const ProgressCallback& progress);
    ~CPcapFileIndexer();
    CPcapFileIndexer(const CPcapFileIndexer&) = delete;
    CPcapFileIndexer& operator=(const CPcapFileIndexer&) = delete;

    // Opens the file of an open descriptor, which stays the caller's and must stay open while
    // this reads; fails as CPcapFileReader::Open does.
    DocumentOutcome Open(int fd, bool bNanosecond);
    // Moves to the next packet; false at the end, where the file is damaged or cut short, when
    // memory would run short, after the last packet number, and when progress cancels.
    bool Next();
    // Fills a record with the packet Next moved to.
    void Fill(CPacketObj& record);
    // Once Next has returned false: how the reading ended, with a warning saying what was left
    // out.
    DocumentOutcome Finish();

private:
    class CBlockReader;
    struct CPlaced {
        std::uint64_t offset = 0;
        std::uint32_t captured = 0;
        int length = 0;
        CPacketTime time;
    };

    bool NextPlain();
    bool NextThroughLibrary();
    bool MemoryRunsShort();

    CPacketList& m_records;
    std::uint64_t m_size;
    CProgressReporter m_reporter;
    const ProgressCallback m_noProgress;
    CPcapRecordReader m_library;
    std::unique_ptr<CBlockReader> m_pBlocks;
    bool m_bPlain = false;    // a classic pcap file whose records are read here
    bool m_bSwapped = false;  // its numbers are big-endian
    bool m_bPcapng = false;
    std::uint64_t m_position = 0;  // of the next plain record, or the next pcapng block
    int m_number = 0;
    std::optional<CPlaced> m_placed;  // the packet Next moved to, when it stays in the file
    std::string m_warning;
    bool m_bCancelled = false;
};

}  // namespace wirelark
