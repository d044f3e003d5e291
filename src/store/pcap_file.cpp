// libpcap's offline reader behind RAII, and a writer of classic pcap files.
#include "store/pcap_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "store/archive_writer.h"
#include "store/file_descriptor.h"

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
    m_bNanosecond = bNanosecond;
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

}  // namespace wirelark
