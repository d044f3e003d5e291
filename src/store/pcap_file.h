// Pcap and pcapng files: reading them through libpcap's offline interface into records, and
// writing records in the classic pcap format.
#pragma once

#include <pcap/pcap.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/progress.h"
#include "store/document.h"
#include "store/packet_obj.h"
#include "store/time_text.h"

namespace wirelark {

class CArchiveWriter;
class CByteArena;
class CPacketList;

// The largest captured part of one packet libpcap accepts when it reads a file back; a longer
// record is cut to this when written, keeping its wire length.
inline constexpr std::uint32_t kPcapMaxCaptured = 262144;

class CPcapFileReader {
public:
    enum class NextResult { Packet, End, Damaged };

    CPcapFileReader() = default;
    ~CPcapFileReader();
    CPcapFileReader(const CPcapFileReader&) = delete;
    CPcapFileReader& operator=(const CPcapFileReader&) = delete;

    // Reads the file of an open descriptor from its start; the descriptor stays the caller's.
    // Fails as UnexpectedFormat when libpcap does not take the file, as UnsupportedLinkType
    // (with the message for the user as the reason) when its packets are not Ethernet frames.
    DocumentOutcome Open(int fd, bool bNanosecond);

    // The next packet: its header and bytes stay valid until the next call. Damaged when the
    // file ends inside a packet or holds something libpcap cannot read; GetError says what.
    NextResult Next(const pcap_pkthdr*& header, const std::uint8_t*& data);
    std::string GetError() const;
    // How far into the file libpcap has read.
    std::uint64_t GetPosition() const;
    // Goes on reading at `position`, which must be where a pcap file's record starts.
    bool Seek(std::uint64_t position);
    std::uint32_t GetSnapshot() const;

private:
    // Declared first: the stream reads into it until pcap_close.
    std::unique_ptr<char[]> m_streamBuffer;
    pcap_t* m_pcap = nullptr;
};

// The message for a capture whose link type is not Ethernet, naming that link type.
std::string LinkTypeRefusal(int linkType);

// A packet's record length: its wire length, held at INT_MAX.
int WireLength(const pcap_pkthdr& header);

// Reads the packets of a pcap or pcapng file through libpcap as records, numbered from 1 in
// file order, whose bytes live in the given arena, or without one in the records themselves.
class CPcapRecordReader {
public:
    // Progress counts bytes of a file of `size` bytes.
    CPcapRecordReader(CByteArena* pArena, std::uint64_t size, const ProgressCallback& progress);
    CPcapRecordReader(const CPcapRecordReader&) = delete;
    CPcapRecordReader& operator=(const CPcapRecordReader&) = delete;

    // Opens the file of an open descriptor, its timestamps to be read in nanoseconds or in
    // microseconds as `bNanosecond` says; fails as CPcapFileReader::Open does.
    DocumentOutcome Open(int fd, bool bNanosecond);
    // Moves to the next packet; false at the end of the file, where it is damaged or cut short,
    // after the last packet number, and when progress cancels.
    bool Next();
    // Fills a record with the packet Next moved to.
    void Fill(CPacketObj& record);
    // Once Next has returned false: how the reading ended, with a warning saying what was left
    // out of a damaged file.
    DocumentOutcome Finish();

    // The packet Next moved to, and its number.
    const pcap_pkthdr& GetHeader() const { return *m_pHeader; }
    int GetNumber() const { return m_number; }
    // Its capture time, unless its fraction of a second is out of range, which only a time
    // text can show as the file holds it.
    std::optional<CPacketTime> GetShownTime() const;
    // For a reader of the plain records beside this one: the next packet is the one at
    // `position` in the file of a pcap file, numbered after `number`.
    void ContinueAt(std::uint64_t position, int number);
    std::uint64_t GetPosition() const { return m_reader.GetPosition(); }
    // The longest captured part libpcap passes whole.
    std::uint32_t GetSnapshot() const { return m_reader.GetSnapshot(); }
    bool IsNanosecond() const { return m_bNanosecond; }

private:
    CByteArena* m_pArena;
    const ProgressCallback& m_progress;
    CProgressReporter m_reporter;
    CPcapFileReader m_reader;
    CTimeTextFormatter m_formatter;
    bool m_bNanosecond = false;
    bool m_bCancelled = false;
    int m_number = 0;
    const pcap_pkthdr* m_pHeader = nullptr;
    const std::uint8_t* m_pData = nullptr;
    std::string m_warning;
};

// Writes the records as a pcap file to an open descriptor, with nanosecond timestamps only when
// some time needs them. A record without a timestamp gets the time its time text names on the
// day of `timeTextDate`; one whose bytes cannot be read is written with none, keeping its time
// and length. Progress counts records.
DocumentOutcome WritePcapFile(int fd, const CPacketList& records, const PacketBytesSource& bytesOf,
                              std::time_t timeTextDate, const ProgressCallback& progress);
// Where the frame of each record starts in a file WritePcapFile wrote: the header, and for each
// record before it a record header and its captured bytes, at most kPcapMaxCaptured.
inline constexpr std::uint64_t kPcapFirstFrameOffset = 24 + 16;
inline constexpr std::uint64_t NextPcapFrameOffset(std::uint64_t offset, std::uint32_t captured) {
    return offset + std::min(captured, kPcapMaxCaptured) + 16;
}

// The file header: little-endian, version 2.4, Ethernet, with micro- or nanosecond timestamps.
void WritePcapHeader(CArchiveWriter& ar, bool bNanosecond);
// One packet: its time, its captured bytes (at most kPcapMaxCaptured) and its wire length,
// which is never written below the captured length.
void WritePcapRecord(CArchiveWriter& ar, const CPacketTime& time, bool bNanosecond,
                     std::int64_t wireLength, std::span<const std::uint8_t> bytes);

}  // namespace wirelark
