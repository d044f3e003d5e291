// The capture document and the capture-file layout of its packet list.
#include "store/wirelark_doc.h"

#include <algorithm>
#include <climits>
#include <new>
#include <string>

#include "decode/field_byte_range.h"
#include "decode/frame_layout.h"
#include "store/archive_reader.h"
#include "store/archive_writer.h"

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

}  // namespace

CWirelarkDoc::~CWirelarkDoc() {
    DeleteAllPackets();
}

bool CWirelarkDoc::AddPacket(int number, std::span<const std::uint8_t> frame, int length,
                             std::string_view timeText) {
    SetModifiedFlag();
    try {
        CPacketObj packet;
        packet.SetPacket(number, frame, length, timeText, &m_arena);
        Append(std::move(packet));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CWirelarkDoc::AddPacket(int number, const pcap_pkthdr& header,
                             std::span<const std::uint8_t> frame, std::string_view timeText) {
    const int length = static_cast<int>(std::min<bpf_u_int32>(header.len, INT_MAX));
    return AddPacket(number, frame.first(std::min<std::size_t>(frame.size(), header.caplen)),
                     length, timeText);
}

void CWirelarkDoc::Append(CPacketObj&& packet) {
    const int number = packet.GetNumber();
    m_packets.push_back(std::move(packet));
    try {
        m_index.Add(number, m_packets.size() - 1);
    } catch (...) {
        m_packets.pop_back();
        throw;
    }
}

void CWirelarkDoc::DeleteAllPackets() noexcept {
    m_packets.clear();
    m_packets.shrink_to_fit();
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
    UpdateAllViews();
    return true;
}

void CWirelarkDoc::Serialize(CArchiveWriter& ar) const {
    ar.WriteCount(static_cast<std::uint32_t>(m_packets.size()));
    bool bFirst = true;
    for (const CPacketObj& packet : m_packets) {
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
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!ReadEntryTag(ar, i == 0)) {
            return false;
        }
        CPacketObj packet;
        if (!packet.Serialize(ar, &m_arena)) {
            return false;
        }
        Append(std::move(packet));
    }
    return true;
}

}  // namespace wirelark
