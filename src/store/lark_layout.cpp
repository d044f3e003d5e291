// The Lark file's packet count and entry tags around the record bodies, read and written
// through the archive reader and writer.
#include "store/lark_layout.h"

#include <string>
#include <string_view>

#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "store/packet_list.h"

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

void WriteEntryTag(CArchiveWriter& ar, bool bFirst) {
    if (!bFirst) {
        ar.WriteU16(kPacketClassTag);
        return;
    }
    ar.WriteU16(kNewClassTag);
    ar.WriteU16(kPacketSchema);
    ar.WriteU16(static_cast<std::uint16_t>(kPacketClassName.size()));
    ar.WriteBytes(
        {reinterpret_cast<const std::uint8_t*>(kPacketClassName.data()), kPacketClassName.size()});
}

bool ReadEntryTag(CArchiveReader& ar, bool bFirst) {
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

}  // namespace

void WriteLarkEntry(CArchiveWriter& ar, const CPacketObj& packet,
                    std::span<const std::uint8_t> bytes, bool bFirst) {
    WriteEntryTag(ar, bFirst);
    packet.Serialize(ar, bytes);
}

bool WriteLarkPackets(CArchiveWriter& ar, const CPacketList& packets,
                      const PacketBytesSource& bytesOf, CProgressReporter* pProgress) {
    ar.WriteCount(static_cast<std::uint32_t>(packets.size()));
    std::uint64_t done = 0;
    for (const CPacketObj& packet : packets) {
        if (pProgress != nullptr && done % kProgressStride == 0 && !pProgress->Advance(done)) {
            return false;
        }
        WriteLarkEntry(ar, packet, bytesOf(packet).value_or(std::span<const std::uint8_t>()),
                       done == 0);
        ++done;
    }
    return true;
}

LarkReadResult ReadLarkPackets(CArchiveReader& ar, const LarkBodyReader& readBody,
                               CProgressReporter* pProgress) {
    std::uint32_t count = 0;
    if (!ar.ReadCount(count)) {
        return LarkReadResult::Failed;
    }
    // A count the remaining bytes cannot hold would fail at the end of the file anyway; failing
    // now spares reading and storing everything before that.
    if (count > 0 && ar.GetRemaining() < kMinFirstEntrySize + (count - 1) * kMinLaterEntrySize) {
        ar.Fail(ReadStatus::Truncated, "the file is shorter than its packet count");
        return LarkReadResult::Failed;
    }
    const std::uint64_t fileSize = ar.GetRemaining() + 2;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (pProgress != nullptr && i % kProgressStride == 0 &&
            !pProgress->Advance(fileSize - ar.GetRemaining())) {
            ar.Fail(ReadStatus::Malformed, "cancelled");
            return LarkReadResult::Cancelled;
        }
        if (!ReadEntryTag(ar, i == 0) || !readBody(ar)) {
            return LarkReadResult::Failed;
        }
    }
    return LarkReadResult::Read;
}

DocumentOutcome ReadLarkFile(int fd, std::uint64_t size, const LarkBodyReader& readBody,
                             const ProgressCallback& progress) {
    CArchiveReader ar(fd, size);
    if (ar.IsAtEnd()) {
        return {};
    }
    CProgressReporter reporter(progress, size);
    const LarkReadResult result = ReadLarkPackets(ar, readBody, &reporter);
    if (result == LarkReadResult::Cancelled) {
        return CancelledOutcome();
    }
    if (result != LarkReadResult::Read || !ar.IsOk()) {
        return ReadFailure(ar);
    }
    if (!reporter.Finish()) {
        return CancelledOutcome();
    }
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

DocumentOutcome WriteLarkFile(int fd, const CPacketList& packets, const PacketBytesSource& bytesOf,
                              const ProgressCallback& progress) {
    CProgressReporter reporter(progress, packets.size());
    CArchiveWriter ar(fd);
    if (!WriteLarkPackets(ar, packets, bytesOf, &reporter) || !reporter.Finish()) {
        return CancelledOutcome();
    }
    return FinishSave(ar);
}

}  // namespace wirelark
