// Reading pcap and pcapng files through libpcap's offline interface, and writing the classic
// pcap format.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "store/document.h"
#include "store/packet_obj.h"
#include "store/progress.h"

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

private:
    // Declared first: the stream reads into it until pcap_close.
    std::unique_ptr<char[]> m_streamBuffer;
    pcap_t* m_pcap = nullptr;
};

// The message for a capture whose link type is not Ethernet, naming that link type.
std::string LinkTypeRefusal(int linkType);

// A packet's record length: its wire length, held at INT_MAX.
int WireLength(const pcap_pkthdr& header);

// Puts a record that a reader has filled at the end of the document's list.
using RecordAppender = std::function<void(CPacketObj&& record)>;

// Reads the packets of an open pcap or pcapng file of `size` bytes, numbered from 1 in file
// order, with the timestamps in nanoseconds or in microseconds as `bNanosecond` says. The
// records' bytes live in `arena`, and `append` puts each at the end of `records`; while the
// file is read both take huge pages and have them faulted in ahead. A file damaged or cut short
// part-way gives the whole packets before the damage, with a warning in the outcome. Progress
// counts bytes of the file.
DocumentOutcome ReadPcapFile(int fd, std::uint64_t size, bool bNanosecond, CByteArena& arena,
                             CPacketList& records, const RecordAppender& append,
                             const ProgressCallback& progress);
// Writes the records as a pcap file to an open descriptor, with nanosecond timestamps only when
// some time needs them. A record without a timestamp gets the time its time text names on the
// day of `timeTextDate`. Progress counts records.
DocumentOutcome WritePcapFile(int fd, const CPacketList& records, std::time_t timeTextDate,
                              const ProgressCallback& progress);

// The file header: little-endian, version 2.4, Ethernet, with micro- or nanosecond timestamps.
void WritePcapHeader(CArchiveWriter& ar, bool bNanosecond);
// One packet: its time, its captured bytes (at most kPcapMaxCaptured) and its wire length,
// which is never written below the captured length.
void WritePcapRecord(CArchiveWriter& ar, const CPacketTime& time, bool bNanosecond,
                     std::int64_t wireLength, std::span<const std::uint8_t> bytes);

}  // namespace wirelark
