// Pcap and pcapng files: libpcap's offline reader behind RAII, the reading of a whole file into
// records, and the writing of records as a classic pcap file.
#include "store/pcap_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>

#include "store/archive_writer.h"
#include "store/byte_arena.h"
#include "store/file_descriptor.h"
#include "store/packet_list.h"

namespace wirelark {

namespace {

constexpr std::uint32_t kMicrosecondMagic = 0xA1B2C3D4;
constexpr std::uint32_t kNanosecondMagic = 0xA1B23C4D;
constexpr std::uint16_t kVersionMajor = 2;
constexpr std::uint16_t kVersionMinor = 4;
constexpr std::size_t kStreamBufferSize = std::size_t{1} << 20;

}  // namespace

CPcapFileReader::~CPcapFileReader() {
    if (m_pcap != nullptr) {
        pcap_close(m_pcap);
    }
}

DocumentOutcome CPcapFileReader::Open(int fd, bool bNanosecond) {
    // libpcap reads through a stream it closes itself, so it gets its own descriptor.
    CFileDescriptor own(::dup(fd));
    if (!own.IsOpen() || ::lseek(own.Get(), 0, SEEK_SET) != 0) {
        return SystemFailure(DocumentError::CannotOpen, errno);
    }
    FILE* stream = ::fdopen(own.Get(), "rb");
    if (stream == nullptr) {
        return SystemFailure(DocumentError::CannotOpen, errno);
    }
    own.Release();
    // Fewer, larger reads than the stream's default of one page. The C library only takes a
    // size along with a buffer of the caller's; without one, it reads a page at a time.
    m_streamBuffer = std::make_unique_for_overwrite<char[]>(kStreamBufferSize);
    std::setvbuf(stream, m_streamBuffer.get(), _IOFBF, kStreamBufferSize);
    char errorText[PCAP_ERRBUF_SIZE] = "";
    m_pcap = pcap_fopen_offline_with_tstamp_precision(
        stream, bNanosecond ? PCAP_TSTAMP_PRECISION_NANO : PCAP_TSTAMP_PRECISION_MICRO, errorText);
    if (m_pcap == nullptr) {
        std::fclose(stream);
        return {DocumentError::UnexpectedFormat, 0, errorText, {}};
    }
    const int linkType = pcap_datalink(m_pcap);
    if (linkType != DLT_EN10MB) {
        return {DocumentError::UnsupportedLinkType, 0, LinkTypeRefusal(linkType), {}};
    }
    return {};
}

CPcapFileReader::NextResult CPcapFileReader::Next(const pcap_pkthdr*& header,
                                                  const std::uint8_t*& data) {
    pcap_pkthdr* pHeader = nullptr;
    const u_char* pData = nullptr;
    const int result = pcap_next_ex(m_pcap, &pHeader, &pData);
    if (result == 1) {
        header = pHeader;
        data = pData;
        return NextResult::Packet;
    }
    return result == PCAP_ERROR_BREAK ? NextResult::End : NextResult::Damaged;
}

std::string CPcapFileReader::GetError() const {
    return m_pcap != nullptr ? pcap_geterr(m_pcap) : std::string();
}

std::uint64_t CPcapFileReader::GetPosition() const {
    FILE* stream = m_pcap != nullptr ? pcap_file(m_pcap) : nullptr;
    const off_t position = stream != nullptr ? ::ftello(stream) : -1;
    return position > 0 ? static_cast<std::uint64_t>(position) : 0;
}

bool CPcapFileReader::Seek(std::uint64_t position) {
    FILE* stream = m_pcap != nullptr ? pcap_file(m_pcap) : nullptr;
    return stream != nullptr && ::fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

std::uint32_t CPcapFileReader::GetSnapshot() const {
    return m_pcap != nullptr ? static_cast<std::uint32_t>(pcap_snapshot(m_pcap)) : 0;
}

std::string LinkTypeRefusal(int linkType) {
    const char* name = pcap_datalink_val_to_name(linkType);
    const char* description = pcap_datalink_val_to_description(linkType);
    std::string text = "This capture's link type is ";
    if (name != nullptr) {
        text += name;
        if (description != nullptr) {
            text += std::string(" (") + description + ")";
        }
    } else {
        text += "unknown (" + std::to_string(linkType) + ")";
    }
    text += ". Wirelark opens Ethernet captures only.";
    return text;
}

void WritePcapHeader(CArchiveWriter& ar, bool bNanosecond) {
    ar.WriteU32(bNanosecond ? kNanosecondMagic : kMicrosecondMagic);
    ar.WriteU16(kVersionMajor);
    ar.WriteU16(kVersionMinor);
    ar.WriteU32(0);  // time zone offset, always 0
    ar.WriteU32(0);  // timestamp accuracy, always 0
    ar.WriteU32(kPcapMaxCaptured);
    ar.WriteU32(DLT_EN10MB);
}

void WritePcapRecord(CArchiveWriter& ar, const CPacketTime& time, bool bNanosecond,
                     std::int64_t wireLength, std::span<const std::uint8_t> bytes) {
    const std::span<const std::uint8_t> captured =
        bytes.first(std::min<std::size_t>(bytes.size(), kPcapMaxCaptured));
    // The file holds seconds as an unsigned 32-bit number.
    const std::int64_t seconds = std::clamp<std::int64_t>(time.seconds, 0, UINT32_MAX);
    ar.WriteU32(static_cast<std::uint32_t>(seconds));
    ar.WriteU32(bNanosecond ? time.nanoseconds : time.nanoseconds / 1000);
    ar.WriteU32(static_cast<std::uint32_t>(captured.size()));
    ar.WriteU32(static_cast<std::uint32_t>(std::clamp<std::int64_t>(
        std::max<std::int64_t>(wireLength, static_cast<std::int64_t>(bytes.size())), 0,
        UINT32_MAX)));
    ar.WriteBytes(captured);
}

int WireLength(const pcap_pkthdr& header) {
    return static_cast<int>(std::min<bpf_u_int32>(header.len, INT_MAX));
}

CPcapRecordReader::CPcapRecordReader(CByteArena* pArena, std::uint64_t size,
                                     const ProgressCallback& progress)
    : m_pArena(pArena), m_progress(progress), m_reporter(progress, size) {}

DocumentOutcome CPcapRecordReader::Open(int fd, bool bNanosecond) {
    m_bNanosecond = bNanosecond;
    return m_reader.Open(fd, bNanosecond);
}

void CPcapRecordReader::ContinueAt(std::uint64_t position, int number) {
    m_number = number;
    if (!m_reader.Seek(position)) {
        m_warning = "The file could not be read after packet " + std::to_string(m_number) +
                    "; only the packets before that point were opened.";
    }
}

bool CPcapRecordReader::Next() {
    if (!m_warning.empty()) {
        return false;
    }
    // Asking for the position costs a system call, so only when someone listens.
    if (m_progress && m_number % static_cast<int>(kProgressStride) == 0 &&
        !m_reporter.Advance(m_reader.GetPosition())) {
        m_bCancelled = true;
        return false;
    }
    const CPcapFileReader::NextResult next = m_reader.Next(m_pHeader, m_pData);
    if (next == CPcapFileReader::NextResult::End) {
        return false;
    }
    if (next == CPcapFileReader::NextResult::Damaged) {
        m_warning = "The file is damaged or cut short after packet " + std::to_string(m_number) +
                    " (" + m_reader.GetError() +
                    "); only the packets before that point were opened.";
        return false;
    }
    if (m_number == INT_MAX) {
        m_warning = "Only the first " + std::to_string(INT_MAX) +
                    " packets were opened; the packet numbers end there.";
        return false;
    }
    ++m_number;
    return true;
}

std::optional<CPacketTime> CPcapRecordReader::GetShownTime() const {
    const long fraction = m_pHeader->ts.tv_usec;
    const long nanoseconds = m_bNanosecond ? fraction : fraction * 1000;
    if (nanoseconds < 0 || nanoseconds > 999'999'999) {
        return std::nullopt;
    }
    return CPacketTime{m_pHeader->ts.tv_sec, static_cast<std::uint32_t>(nanoseconds)};
}

void CPcapRecordReader::Fill(CPacketObj& record) {
    const pcap_pkthdr& header = *m_pHeader;
    const std::span<const std::uint8_t> frame(m_pData, header.caplen);
    if (const std::optional<CPacketTime> time = GetShownTime()) {
        // The text is the time's own, so only the time is kept.
        record.SetPacket(m_number, frame, WireLength(header), *time, m_pArena);
    } else {
        const long fraction = header.ts.tv_usec;
        const long nanoseconds = m_bNanosecond ? fraction : fraction * 1000;
        const timeval shown{header.ts.tv_sec, m_bNanosecond ? fraction / 1000 : fraction};
        record.SetPacket(m_number, frame, WireLength(header), m_formatter.Format(shown), m_pArena);
        record.SetTimestamp({header.ts.tv_sec, static_cast<std::uint32_t>(
                                                   std::clamp<long>(nanoseconds, 0, 999'999'999))});
    }
}

DocumentOutcome CPcapRecordReader::Finish() {
    if (m_bCancelled || !m_reporter.Finish()) {
        return CancelledOutcome();
    }
    return {DocumentError::None, 0, {}, m_warning};
}

DocumentOutcome WritePcapFile(int fd, const CPacketList& records, const PacketBytesSource& bytesOf,
                              std::time_t timeTextDate, const ProgressCallback& progress) {
    // Times in the file: each record's own, or the one its time text names. Nanoseconds only
    // when some time needs them, since many tools read only microsecond files.
    CTimeTextClock clock(timeTextDate);
    const auto timeOf = [&clock](const CPacketObj& packet) {
        const std::optional<CPacketTime> own = packet.GetTimestamp();
        return own ? *own : clock.ToTime(packet.GetTimeText());
    };
    bool bNanosecond = false;
    for (const CPacketObj& packet : records) {
        if (timeOf(packet).nanoseconds % 1000 != 0) {
            bNanosecond = true;
            break;
        }
    }
    CProgressReporter reporter(progress, records.size());
    CArchiveWriter ar(fd);
    WritePcapHeader(ar, bNanosecond);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i % kProgressStride == 0 && !reporter.Advance(i)) {
            return CancelledOutcome();
        }
        const CPacketObj& packet = records[i];
        WritePcapRecord(ar, timeOf(packet), bNanosecond, packet.GetLength(),
                        bytesOf(packet).value_or(std::span<const std::uint8_t>()));
    }
    if (!reporter.Finish()) {
        return CancelledOutcome();
    }
    return FinishSave(ar);
}

}  // namespace wirelark
