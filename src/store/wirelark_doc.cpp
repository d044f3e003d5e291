// The capture document: its records and their index, and opening and saving them in the
// format a file's first bytes name.
#include "store/wirelark_doc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <string>
#include <utility>

#include "decode/field_byte_range.h"
#include "decode/frame_layout.h"
#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "store/file_descriptor.h"
#include "store/lark_layout.h"
#include "store/pcap_file.h"
#include "store/pcap_index.h"
#include "store/time_text.h"

namespace wirelark {

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

bool CWirelarkDoc::AddCopy(const CPacketObj& record) {
    SetModifiedFlag();
    try {
        Append([&](CPacketObj& packet) {
            packet.SetPacket(record.GetNumber(), record.GetBytes(), record.GetLength(),
                             record.GetTimeText(), &m_arena);
            if (const std::optional<CPacketTime> time = record.GetTimestamp()) {
                packet.SetTimestamp(*time);
            }
            return true;
        });
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CWirelarkDoc::DeleteAllPackets() noexcept {
    // The warmer's block goes with the arena.
    m_captureWarmer.reset();
    m_captureBlock = {};
    m_packets.SetHugePages(false);
    m_packets.clear();
    m_index.Clear();
    m_arena.Clear();
    m_pFrameFile.reset();
}

void CWirelarkDoc::PrepareForCapture(std::size_t bytes) noexcept {
    CaptureEnded();
    m_captureBlock = m_arena.Reserve(bytes);
    try {
        m_captureWarmer.emplace(m_captureBlock);
    } catch (const std::bad_alloc&) {
        // Without a warmer the block still saves most page faults.
    }
    m_packets.SetHugePages(true);
}

void CWirelarkDoc::CaptureAdvanced() noexcept {
    if (m_captureWarmer) {
        const std::uint8_t* pFree = m_arena.GetUnused().data();
        const bool bInBlock = pFree >= m_captureBlock.data() &&
                              pFree <= m_captureBlock.data() + m_captureBlock.size();
        m_captureWarmer->Advance(bInBlock ? static_cast<std::size_t>(pFree - m_captureBlock.data())
                                          : m_captureBlock.size());
    }
}

void CWirelarkDoc::CaptureEnded() noexcept {
    m_captureWarmer.reset();
    if (!m_captureBlock.empty()) {
        m_captureBlock = {};
        m_arena.ReleaseUnused();
    }
    m_packets.SetHugePages(false);
}

bool CWirelarkDoc::FindPacket(int number, std::vector<std::uint8_t>& out) const {
    const CPacketObj* pPacket = FindPacket(number);
    if (pPacket == nullptr) {
        return false;
    }
    if (const auto bytes = GetPacketBytes(*pPacket, m_findBuffer)) {
        out.insert(out.end(), bytes->begin(), bytes->end());
    }
    return true;
}

const CPacketObj* CWirelarkDoc::FindPacket(int number) const {
    const std::optional<std::size_t> position = m_index.Find(number);
    return position ? &m_packets[*position] : nullptr;
}

std::span<const std::uint8_t> CWirelarkDoc::FindPacketBytes(int number) const {
    const CPacketObj* pPacket = FindPacket(number);
    if (pPacket == nullptr) {
        return {};
    }
    return GetPacketBytes(*pPacket, m_findBuffer).value_or(std::span<const std::uint8_t>());
}

std::optional<std::span<const std::uint8_t>> CWirelarkDoc::GetPacketBytes(
    const CPacketObj& packet, std::vector<std::uint8_t>& buffer) const {
    if (!packet.IsInFile()) {
        return packet.GetBytes();
    }
    if (m_pFrameFile && m_pFrameFile->Read(packet, buffer)) {
        return std::span<const std::uint8_t>(buffer);
    }
    if (m_pFrameFile && m_readFailureHandler) {
        if (const std::string reason = m_pFrameFile->TakeFirstFailure(); !reason.empty()) {
            m_readFailureHandler("The capture file \"" + m_pFrameFile->GetPath() +
                                 "\" can no longer be read whole: " + reason +
                                 ". Packets whose bytes it has lost show only their number and "
                                 "length.");
        }
    }
    return std::nullopt;
}

PacketBytesSource CWirelarkDoc::BytesSource(std::vector<std::size_t>* pLost) const {
    return [this, buffer = std::vector<std::uint8_t>(), position = std::size_t{0},
            pLost](const CPacketObj& packet) mutable {
        std::optional<std::span<const std::uint8_t>> bytes = GetPacketBytes(packet, buffer);
        if (!bytes && pLost != nullptr) {
            pLost->push_back(position);
        }
        ++position;
        return bytes;
    };
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
    WriteLarkPackets(ar, m_packets, BytesSource(nullptr), nullptr);
}

bool CWirelarkDoc::Serialize(CArchiveReader& ar) {
    const auto readBody = [this](CArchiveReader& body) { return ReadPacketBody(body); };
    return ReadLarkPackets(ar, readBody, nullptr) == LarkReadResult::Read;
}

bool CWirelarkDoc::ReadPacketBody(CArchiveReader& ar) {
    return Append([&](CPacketObj& packet) { return packet.Serialize(ar, &m_arena); });
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
    m_pFrameFile = std::move(other.m_pFrameFile);
    other.DeleteAllPackets();
}

CWirelarkDoc::COpenedFile CWirelarkDoc::OpenCaptureFile(const std::string& path) {
    COpenedFile opened;
    CFileDescriptor file(OpenRegularFile(path, opened.size, opened.failure));
    if (!file.IsOpen()) {
        return opened;
    }
    std::uint8_t head[4] = {};
    const ssize_t got = ::pread(file.Get(), head, sizeof head, 0);
    if (got < 0) {
        opened.failure = SystemFailure(DocumentError::CannotOpen, errno);
        return opened;
    }
    opened.kind =
        DetectCaptureFile(std::span<const std::uint8_t>(head, static_cast<std::size_t>(got)));
    opened.file = std::move(file);
    return opened;
}

DocumentOutcome CWirelarkDoc::ReadFilePackets(const std::string& path, const PacketVisitor& visit) {
    const COpenedFile opened = OpenCaptureFile(path);
    if (!opened.file.IsOpen()) {
        return opened.failure;
    }
    const auto& [file, size, kind, failure] = opened;
    bool bStopped = false;
    DocumentOutcome outcome;
    try {
        if (kind.format == CaptureFileFormat::Lark) {
            struct stat info {};
            CTimeTextClock clock(::fstat(file.Get(), &info) == 0 ? info.st_mtime
                                                                 : std::time(nullptr));
            const auto readBody = [&](CArchiveReader& ar) {
                CPacketObj record;
                if (!record.Serialize(ar)) {
                    return false;
                }
                record.SetTimestamp(clock.ToTime(record.GetTimeText()));
                bStopped = !visit(record);
                return !bStopped;
            };
            outcome = wirelark::ReadLarkFile(file.Get(), size, readBody, {});
        } else {
            // Without an arena and a list, each record owns its bytes until it goes. The reader
            // keeps a reference to its progress callback.
            const ProgressCallback noProgress;
            CPcapRecordReader reader(nullptr, size, noProgress);
            outcome = reader.Open(file.Get(), kind.bNanosecond);
            if (!outcome.Succeeded()) {
                return outcome;
            }
            while (!bStopped && reader.Next()) {
                CPacketObj record;
                reader.Fill(record);
                bStopped = !visit(record);
            }
            outcome = reader.Finish();
        }
    } catch (const std::bad_alloc&) {
        return SystemFailure(DocumentError::CannotOpen, ENOMEM);
    }
    return bStopped ? DocumentOutcome{} : outcome;
}

DocumentOutcome CWirelarkDoc::SavePackets(const std::string& path, CaptureFileFormat format,
                                          const PacketReplay& replay) {
    const bool bPcap = format != CaptureFileFormat::Lark;
    const auto timeOf = [](const CPacketObj& packet) {
        return packet.GetTimestamp().value_or(CPacketTime{});
    };
    std::uint64_t count = 0;
    bool bNanosecond = false;
    DocumentOutcome outcome = replay([&](const CPacketObj& packet) {
        ++count;
        bNanosecond = bNanosecond || timeOf(packet).nanoseconds % 1000 != 0;
        return true;
    });
    if (!outcome.Succeeded()) {
        return outcome;
    }
    if (!bPcap && count > UINT32_MAX) {
        return SystemFailure(DocumentError::CannotSave, EFBIG);
    }
    CWirelarkDoc target;  // only for its safe save; it holds none of the packets
    return target.SaveAtomically(path, [&](int fd) {
        CArchiveWriter ar(fd);
        if (bPcap) {
            WritePcapHeader(ar, bNanosecond);
        } else {
            ar.WriteCount(static_cast<std::uint32_t>(count));
        }
        std::uint64_t written = 0;
        const DocumentOutcome again = replay([&](const CPacketObj& packet) {
            if (written == count) {
                return false;  // the file changed between the two readings
            }
            if (bPcap) {
                WritePcapRecord(ar, timeOf(packet), bNanosecond, packet.GetLength(),
                                packet.GetBytes());
            } else {
                WriteLarkEntry(ar, packet, packet.GetBytes(), written == 0);
            }
            ++written;
            return true;
        });
        if (!again.Succeeded()) {
            return again;
        }
        if (written != count) {
            return DocumentOutcome{DocumentError::UnexpectedFormat,
                                   0,
                                   "the packets changed while they were written",
                                   {}};
        }
        return FinishSave(ar);
    });
}

DocumentOutcome CWirelarkDoc::OpenFile(const std::string& path, const ProgressCallback& progress) {
    COpenedFile opened = OpenCaptureFile(path);
    if (!opened.file.IsOpen()) {
        return opened.failure;
    }
    auto& [file, size, kind, failure] = opened;

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
    if (kind.format != CaptureFileFormat::Lark) {
        staging->m_pFrameFile = std::make_unique<CFrameFile>(std::move(file), path);
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
    const auto readBody = [this](CArchiveReader& ar) { return ReadPacketBody(ar); };
    DocumentOutcome outcome = wirelark::ReadLarkFile(fd, size, readBody, progress);
    if (outcome.Succeeded()) {
        TimestampFromTimeTexts(GetTimeTextDate());
    }
    return outcome;
}

DocumentOutcome CWirelarkDoc::ReadPcapFile(int fd, std::uint64_t size, bool bNanosecond,
                                           const ProgressCallback& progress) {
    CPcapFileIndexer reader(m_arena, m_packets, size, progress);
    if (DocumentOutcome outcome = reader.Open(fd, bNanosecond); !outcome.Succeeded()) {
        return outcome;
    }
    while (reader.Next()) {
        Append([&reader](CPacketObj& packet) {
            reader.Fill(packet);
            return true;
        });
    }
    return reader.Finish();
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
    return CTimeTextClock(GetTimeTextDate()).ToTime(packet.GetTimeText());
}

DocumentOutcome CWirelarkDoc::SaveFile(const std::string& path, CaptureFileFormat format,
                                       const ProgressCallback& progress) {
    const bool bPcap = format != CaptureFileFormat::Lark;
    std::vector<std::size_t> lost;
    const DocumentOutcome outcome = SaveAtomically(path, [&](int fd) {
        lost.clear();
        const PacketBytesSource bytesOf = BytesSource(&lost);
        return bPcap ? WritePcapFile(fd, m_packets, bytesOf, GetTimeTextDate(), progress)
                     : WriteLarkFile(fd, m_packets, bytesOf, progress);
    });
    if (outcome.Succeeded()) {
        m_fileFormat = bPcap ? CaptureFileFormat::Pcap : CaptureFileFormat::Lark;
        if (bPcap && m_pFrameFile) {
            ReadFramesFrom(path, lost);
        }
    }
    return outcome;
}

void CWirelarkDoc::ReadFramesFrom(const std::string& path, const std::vector<std::size_t>& lost) {
    std::uint64_t size = 0;
    DocumentOutcome failure;
    CFileDescriptor file(OpenRegularFile(path, size, failure));
    if (!file.IsOpen()) {
        return;  // the old file, still open, serves as before
    }
    auto pFile = std::make_unique<CFrameFile>(std::move(file), path);
    std::uint64_t offset = kPcapFirstFrameOffset;
    auto nextLost = lost.begin();
    for (std::size_t i = 0; i < m_packets.size(); ++i) {
        CPacketObj& packet = m_packets[i];
        const bool bLost = nextLost != lost.end() && *nextLost == i;
        nextLost += bLost ? 1 : 0;
        const std::uint32_t captured = bLost ? 0 : packet.GetCapturedLength();
        if (packet.IsInFile()) {
            packet.SetFilePacket(packet.GetNumber(), offset, std::min(captured, kPcapMaxCaptured),
                                 packet.GetLength(), *packet.GetTimestamp());
        }
        offset = NextPcapFrameOffset(offset, captured);
    }
    m_pFrameFile = std::move(pFile);
}

std::time_t CWirelarkDoc::GetTimeTextDate() const {
    return m_timeTextDate.value_or(std::time(nullptr));
}

}  // namespace wirelark
