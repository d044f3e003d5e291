// The capture document and the capture-file layout of its packet list.
#include "store/wirelark_doc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>
#include <string>
#include <utility>

#include "decode/field_byte_range.h"
#include "decode/frame_layout.h"
#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "store/file_descriptor.h"
#include "store/page_warmer.h"
#include "store/pcap_file.h"
#include "store/time_text.h"

namespace wirelark {

namespace {

constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kPacketClassTag = 0x8001;  // an object of the first class described
constexpr std::uint16_t kBigTag = 0x7FFF;          // a u32 tag follows
constexpr std::uint32_t kBigPacketClassTag = 0x80000001;
constexpr std::uint16_t kPacketSchema = 0;
constexpr std::string_view kPacketClassName = "CPacketObj";
constexpr std::uint16_t kMaxClassNameLength = 64;

// The smallest entries the layout allows: a class description or a tag, then a body with an
// empty text and no elements.
constexpr std::uint64_t kMinFirstEntrySize = 2 + 4 + kPacketClassName.size() + 4 + 4 + 1 + 2;
constexpr std::uint64_t kMinLaterEntrySize = 2 + 4 + 4 + 1 + 2;

// How many records pass between two looks at the progress callback.
constexpr std::uint32_t kProgressStride = 256;

}  // namespace

CWirelarkDoc::~CWirelarkDoc() {
    DeleteAllPackets();
}

template <typename Fill>
bool CWirelarkDoc::Append(Fill&& fill) {
    CPacketObj& packet = m_packets.emplace_back();
    try {
        if (!fill(packet)) {
            m_packets.pop_back();
            return false;
        }
        m_index.Add(packet.GetNumber(), m_packets.size() - 1);
    } catch (...) {
        m_packets.pop_back();
        throw;
    }
    return true;
}

bool CWirelarkDoc::AddPacket(int number, std::span<const std::uint8_t> frame, int length,
                             std::string_view timeText) {
    SetModifiedFlag();
    try {
        Append([&](CPacketObj& packet) {
            packet.SetPacket(number, frame, length, timeText, &m_arena);
            return true;
        });
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

namespace {

int WireLength(const pcap_pkthdr& header) {
    return static_cast<int>(std::min<bpf_u_int32>(header.len, INT_MAX));
}

std::span<const std::uint8_t> Captured(const pcap_pkthdr& header,
                                       std::span<const std::uint8_t> frame) {
    return frame.first(std::min<std::size_t>(frame.size(), header.caplen));
}

bool MicrosecondsInRange(const pcap_pkthdr& header) {
    return header.ts.tv_usec >= 0 && header.ts.tv_usec <= 999'999;
}

CPacketTime TimeOf(const pcap_pkthdr& header) {
    const long microseconds = std::clamp<long>(header.ts.tv_usec, 0, 999'999);
    return {header.ts.tv_sec, static_cast<std::uint32_t>(microseconds) * 1000u};
}

}  // namespace

bool CWirelarkDoc::AddPacket(int number, const pcap_pkthdr& header,
                             std::span<const std::uint8_t> frame) {
    if (!MicrosecondsInRange(header)) {
        // The time would not say this fraction: the record keeps the text itself.
        return AddPacket(number, header, frame, FormatTimeText(header.ts));
    }
    SetModifiedFlag();
    try {
        Append([&](CPacketObj& packet) {
            packet.SetPacket(number, Captured(header, frame), WireLength(header), TimeOf(header),
                             &m_arena);
            return true;
        });
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CWirelarkDoc::AddPacket(int number, const pcap_pkthdr& header,
                             std::span<const std::uint8_t> frame, std::string_view timeText) {
    if (MicrosecondsInRange(header) && timeText == FormatTimeText(header.ts)) {
        return AddPacket(number, header, frame);
    }
    if (!AddPacket(number, Captured(header, frame), WireLength(header), timeText)) {
        return false;
    }
    m_packets.back().SetTimestamp(TimeOf(header));
    return true;
}

void CWirelarkDoc::DeleteAllPackets() noexcept {
    m_packets.clear();
    m_index.Clear();
    m_arena.Clear();
}

bool CWirelarkDoc::FindPacket(int number, std::vector<std::uint16_t>& out) const {
    const CPacketObj* pPacket = FindPacket(number);
    if (pPacket == nullptr) {
        return false;
    }
    pPacket->GetData(out);
    return true;
}

const CPacketObj* CWirelarkDoc::FindPacket(int number) const {
    const std::optional<std::size_t> position = m_index.Find(number);
    return position ? &m_packets[*position] : nullptr;
}

std::span<const std::uint8_t> CWirelarkDoc::FindPacketBytes(int number) const {
    const CPacketObj* pPacket = FindPacket(number);
    return pPacket != nullptr ? pPacket->GetBytes() : std::span<const std::uint8_t>();
}

int CWirelarkDoc::GetIpHeaderLength(int number) const {
    return wirelark::GetIpHeaderLength(FindPacketBytes(number));
}

int CWirelarkDoc::GetIpOptionsLength(int number) const {
    return wirelark::GetIpOptionsLength(FindPacketBytes(number));
}

int CWirelarkDoc::GetTcpOptionsLength(int number) const {
    return wirelark::GetTcpOptionsLength(FindPacketBytes(number));
}

int CWirelarkDoc::GetPayloadRange(int number, int& first, int& last) const {
    return wirelark::GetPayloadRange(FindPacketBytes(number), first, last);
}

bool CWirelarkDoc::GetFieldByteRange(std::string_view rootText, std::string_view parentText,
                                     std::string_view nodeText, int& first, int& last) const {
    const FrameLookup lookup = [this](int number) { return FindPacketBytes(number); };
    return wirelark::GetFieldByteRange(rootText, parentText, nodeText, lookup, first, last);
}

void CWirelarkDoc::DeleteContents() {
    DeleteAllPackets();
    CDocument::DeleteContents();
}

bool CWirelarkDoc::OnNewDocument() {
    if (!CDocument::OnNewDocument()) {
        return false;
    }
    DeleteAllPackets();
    m_fileFormat = CaptureFileFormat::Lark;
    m_timeTextDate.reset();
    UpdateAllViews();
    return true;
}

void CWirelarkDoc::Serialize(CArchiveWriter& ar) const {
    StoreLark(ar, nullptr);
}

void CWirelarkDoc::StoreLark(CArchiveWriter& ar, CProgressReporter* pProgress) const {
    ar.WriteCount(static_cast<std::uint32_t>(m_packets.size()));
    bool bFirst = true;
    std::uint64_t done = 0;
    for (const CPacketObj& packet : m_packets) {
        if (pProgress != nullptr && done++ % kProgressStride == 0 &&
            !pProgress->Advance(done - 1)) {
            return;
        }
        if (bFirst) {
            ar.WriteU16(kNewClassTag);
            ar.WriteU16(kPacketSchema);
            ar.WriteU16(static_cast<std::uint16_t>(kPacketClassName.size()));
            ar.WriteBytes({reinterpret_cast<const std::uint8_t*>(kPacketClassName.data()),
                           kPacketClassName.size()});
            bFirst = false;
        } else {
            ar.WriteU16(kPacketClassTag);
        }
        packet.Serialize(ar);
    }
}

bool CWirelarkDoc::ReadEntryTag(CArchiveReader& ar, bool bFirst) {
    std::uint16_t tag = 0;
    if (!ar.ReadU16(tag)) {
        return false;
    }
    if (!bFirst && tag == kPacketClassTag) {
        return true;
    }
    if (!bFirst && tag == kBigTag) {
        std::uint32_t bigTag = 0;
        if (!ar.ReadU32(bigTag)) {
            return false;
        }
        if (bigTag != kBigPacketClassTag) {
            ar.Fail(ReadStatus::Malformed, "unexpected entry tag");
            return false;
        }
        return true;
    }
    if (tag != kNewClassTag) {
        ar.Fail(ReadStatus::Malformed,
                bFirst ? "first entry is not a class description" : "unexpected entry tag");
        return false;
    }
    // A class description: on later entries only a repeat of the same class is accepted.
    std::uint16_t schema = 0;
    std::uint16_t nameLength = 0;
    if (!ar.ReadU16(schema) || !ar.ReadU16(nameLength)) {
        return false;
    }
    if (nameLength >= kMaxClassNameLength) {
        ar.Fail(ReadStatus::Malformed, "unrecognised class");
        return false;
    }
    std::string name(nameLength, '\0');
    if (!ar.ReadBytes(reinterpret_cast<std::uint8_t*>(name.data()), name.size())) {
        return false;
    }
    if (name != kPacketClassName) {
        ar.Fail(ReadStatus::Malformed, "unrecognised class");
        return false;
    }
    if (schema != kPacketSchema) {
        ar.Fail(ReadStatus::Malformed, "wrong schema");
        return false;
    }
    return true;
}

bool CWirelarkDoc::Serialize(CArchiveReader& ar) {
    std::uint32_t count = 0;
    if (!ar.ReadCount(count)) {
        return false;
    }
    // A count the remaining bytes cannot hold would fail at the end of the file anyway; failing
    // now spares reading and storing everything before that.
    if (count > 0 && ar.GetRemaining() < kMinFirstEntrySize + (count - 1) * kMinLaterEntrySize) {
        ar.Fail(ReadStatus::Truncated, "the file is shorter than its packet count");
        return false;
    }
    const std::uint64_t fileSize = ar.GetRemaining() + 2;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_pReadProgress != nullptr && i % kProgressStride == 0 &&
            !m_pReadProgress->Advance(fileSize - ar.GetRemaining())) {
            m_bReadCancelled = true;
            ar.Fail(ReadStatus::Malformed, "cancelled");
            return false;
        }
        if (!ReadEntryTag(ar, i == 0)) {
            return false;
        }
        if (!Append([&](CPacketObj& packet) { return packet.Serialize(ar, &m_arena); })) {
            return false;
        }
    }
    return true;
}

CaptureFileFormat CWirelarkDoc::GetSaveFormat() const {
    return m_fileFormat == CaptureFileFormat::Lark ? CaptureFileFormat::Lark
                                                   : CaptureFileFormat::Pcap;
}

void CWirelarkDoc::AdoptContents(CWirelarkDoc& other) noexcept {
    DeleteAllPackets();
    m_packets = std::move(other.m_packets);
    m_index = std::move(other.m_index);
    m_arena = std::move(other.m_arena);
    other.DeleteAllPackets();
}

DocumentOutcome CWirelarkDoc::OpenFile(const std::string& path, const ProgressCallback& progress) {
    std::uint64_t size = 0;
    DocumentOutcome failure;
    const CFileDescriptor file(OpenRegularFile(path, size, failure));
    if (file.Get() < 0) {
        return failure;
    }
    std::uint8_t head[4] = {};
    const ssize_t got = ::pread(file.Get(), head, sizeof head, 0);
    if (got < 0) {
        return SystemFailure(DocumentError::CannotOpen, errno);
    }
    const CCaptureFileKind kind =
        DetectCaptureFile(std::span<const std::uint8_t>(head, static_cast<std::size_t>(got)));

    // Read beside the current contents, which stay as they are until the new ones are whole.
    DocumentOutcome outcome;
    std::optional<CWirelarkDoc> staging;
    try {
        staging.emplace();
        outcome = kind.format == CaptureFileFormat::Lark
                      ? staging->ReadLarkFile(file.Get(), size, progress)
                      : staging->ReadPcapFile(file.Get(), size, kind.bNanosecond, progress);
    } catch (const std::bad_alloc&) {
        outcome = SystemFailure(DocumentError::CannotOpen, ENOMEM);
    }
    if (!outcome.Succeeded()) {
        // Whatever went wrong, the open document stays: the user loses nothing to a bad file.
        return outcome;
    }
    AdoptContents(*staging);
    m_fileFormat = kind.format;
    m_timeTextDate = staging->m_timeTextDate;
    SetPathName(path);
    SetModifiedFlag(false);
    UpdateAllViews();
    return outcome;
}

DocumentOutcome CWirelarkDoc::ReadLarkFile(int fd, std::uint64_t size,
                                           const ProgressCallback& progress) {
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        m_timeTextDate = info.st_mtime;
    }
    CArchiveReader ar(fd, size);
    if (ar.IsAtEnd()) {
        return {};
    }
    CProgressReporter reporter(progress, size);
    m_pReadProgress = &reporter;
    const bool bRead = Serialize(ar);
    m_pReadProgress = nullptr;
    if (m_bReadCancelled) {
        return CancelledOutcome();
    }
    if (!bRead || !ar.IsOk()) {
        if (ar.GetStatus() == ReadStatus::IoError) {
            return SystemFailure(DocumentError::CannotOpen, ar.GetErrorNumber());
        }
        return {DocumentError::UnexpectedFormat, 0, ar.GetDetail(), {}};
    }
    if (!reporter.Finish()) {
        return CancelledOutcome();
    }
    TimestampFromTimeTexts(m_timeTextDate.value_or(std::time(nullptr)));
    DocumentOutcome outcome;
    // Bytes after the last packet are not read; the user is told of them, as a file of zeros
    // would otherwise open as an empty capture without a word.
    if (const std::uint64_t ignored = ar.GetRemaining(); ignored == 1) {
        outcome.warning = "The file has 1 byte after its last packet; it was ignored.";
    } else if (ignored > 1) {
        outcome.warning = "The file has " + std::to_string(ignored) +
                          " bytes after its last packet; they were ignored.";
    }
    return outcome;
}

DocumentOutcome CWirelarkDoc::ReadPcapFile(int fd, std::uint64_t size, bool bNanosecond,
                                           const ProgressCallback& progress) {
    CPcapFileReader reader;
    DocumentOutcome outcome = reader.Open(fd, bNanosecond);
    if (!outcome.Succeeded()) {
        return outcome;
    }
    // The frames take less than the file; what they leave of the reserve is given back below.
    CPageWarmer warmer(m_arena.Reserve(static_cast<std::size_t>(size)));
    m_packets.SetHugePages(true);
    CProgressReporter reporter(progress, size);
    CTimeTextFormatter formatter;
    int number = 0;
    std::size_t stored = 0;
    for (;;) {
        if (number % static_cast<int>(kProgressStride) == 0) {
            warmer.Advance(stored);
        }
        // Asking for the position costs a system call, so only when someone listens.
        if (progress && number % static_cast<int>(kProgressStride) == 0 &&
            !reporter.Advance(reader.GetPosition())) {
            return CancelledOutcome();
        }
        const pcap_pkthdr* header = nullptr;
        const std::uint8_t* data = nullptr;
        const CPcapFileReader::NextResult next = reader.Next(header, data);
        if (next == CPcapFileReader::NextResult::End) {
            break;
        }
        if (next == CPcapFileReader::NextResult::Damaged) {
            outcome.warning = "The file is damaged or cut short after packet " +
                              std::to_string(number) + " (" + reader.GetError() +
                              "); only the packets before that point were opened.";
            break;
        }
        if (number == INT_MAX) {
            outcome.warning = "Only the first " + std::to_string(INT_MAX) +
                              " packets were opened; the packet numbers end there.";
            break;
        }
        ++number;
        const long fraction = header->ts.tv_usec;
        const long nanoseconds = bNanosecond ? fraction : fraction * 1000;
        const int length = static_cast<int>(std::min<bpf_u_int32>(header->len, INT_MAX));
        const std::span<const std::uint8_t> frame(data, header->caplen);
        stored += frame.size();
        Append([&](CPacketObj& packet) {
            if (nanoseconds >= 0 && nanoseconds <= 999'999'999) {
                // The text is the time's own, so only the time is kept.
                packet.SetPacket(
                    number, frame, length,
                    CPacketTime{header->ts.tv_sec, static_cast<std::uint32_t>(nanoseconds)},
                    &m_arena);
            } else {
                const timeval shown{header->ts.tv_sec, bNanosecond ? fraction / 1000 : fraction};
                packet.SetPacket(number, frame, length, formatter.Format(shown), &m_arena);
                packet.SetTimestamp({header->ts.tv_sec, static_cast<std::uint32_t>(std::clamp<long>(
                                                            nanoseconds, 0, 999'999'999))});
            }
            return true;
        });
    }
    warmer.Stop();
    m_arena.ReleaseUnused();
    m_packets.SetHugePages(false);
    m_packets.ReleaseUnused();
    if (!reporter.Finish()) {
        return CancelledOutcome();
    }
    return outcome;
}

void CWirelarkDoc::TimestampFromTimeTexts(std::time_t date) {
    CTimeTextClock clock(date);
    for (CPacketObj& packet : m_packets) {
        if (!packet.GetTimestamp()) {
            packet.SetTimestamp(clock.ToTime(packet.GetTimeText()));
        }
    }
}

CPacketTime CWirelarkDoc::GetPacketTime(const CPacketObj& packet) const {
    if (const std::optional<CPacketTime> time = packet.GetTimestamp()) {
        return *time;
    }
    return CTimeTextClock(m_timeTextDate.value_or(std::time(nullptr))).ToTime(packet.GetTimeText());
}

DocumentOutcome CWirelarkDoc::SaveFile(const std::string& path, CaptureFileFormat format,
                                       const ProgressCallback& progress) {
    const bool bPcap = format != CaptureFileFormat::Lark;
    const DocumentOutcome outcome = SaveAtomically(path, [&](int fd) -> DocumentOutcome {
        if (bPcap) {
            return StorePcap(fd, progress);
        }
        CProgressReporter reporter(progress, m_packets.size());
        CArchiveWriter ar(fd);
        StoreLark(ar, &reporter);
        if (reporter.IsCancelled() || !reporter.Finish()) {
            return CancelledOutcome();
        }
        if (!ar.Flush()) {
            return SystemFailure(DocumentError::CannotSave, ar.GetErrorNumber());
        }
        return {};
    });
    if (outcome.Succeeded()) {
        m_fileFormat = bPcap ? CaptureFileFormat::Pcap : CaptureFileFormat::Lark;
    }
    return outcome;
}

DocumentOutcome CWirelarkDoc::StorePcap(int fd, const ProgressCallback& progress) const {
    // Times in the file: each record's own, or the one its time text names. Nanoseconds only
    // when some time needs them, since many tools read only microsecond files.
    CTimeTextClock clock(m_timeTextDate.value_or(std::time(nullptr)));
    const auto timeOf = [&clock](const CPacketObj& packet) {
        const std::optional<CPacketTime> own = packet.GetTimestamp();
        return own ? *own : clock.ToTime(packet.GetTimeText());
    };
    bool bNanosecond = false;
    for (const CPacketObj& packet : m_packets) {
        if (timeOf(packet).nanoseconds % 1000 != 0) {
            bNanosecond = true;
            break;
        }
    }
    CProgressReporter reporter(progress, m_packets.size());
    CArchiveWriter ar(fd);
    WritePcapHeader(ar, bNanosecond);
    for (std::size_t i = 0; i < m_packets.size(); ++i) {
        if (i % kProgressStride == 0 && !reporter.Advance(i)) {
            return CancelledOutcome();
        }
        const CPacketObj& packet = m_packets[i];
        WritePcapRecord(ar, timeOf(packet), bNanosecond, packet.GetLength(), packet.GetBytes());
    }
    if (!reporter.Finish()) {
        return CancelledOutcome();
    }
    if (!ar.Flush()) {
        return SystemFailure(DocumentError::CannotSave, ar.GetErrorNumber());
    }
    return {};
}

}  // namespace wirelark
