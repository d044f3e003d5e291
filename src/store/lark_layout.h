// The Lark capture file (.cap), the program's own: the packet count, then one entry a record whose
// body is CPacketObj's, the first opened by the record class's description, every later by a tag.
#pragma once

#include <cstdint>
#include <functional>

#include "common/progress.h"
#include "store/document.h"
#include "store/packet_obj.h"

namespace wirelark {

class CArchiveReader;
class CArchiveWriter;
class CPacketList;

// Reads one entry's body into a new record at the end of the document; false when the reader
// failed.
using LarkBodyReader = std::function<bool(CArchiveReader& ar)>;

enum class LarkReadResult { Read, Failed, Cancelled };

// One record as an entry with these frame bytes, the first of the file's entries with the
// class name before it.
void WriteLarkEntry(CArchiveWriter& ar, const CPacketObj& packet,
                    std::span<const std::uint8_t> bytes, bool bFirst);
// The packet count and every record as an entry, a record whose bytes cannot be read with
// none; false when `pProgress`, which counts records, was cancelled part-way.
bool WriteLarkPackets(CArchiveWriter& ar, const CPacketList& packets,
                      const PacketBytesSource& bytesOf, CProgressReporter* pProgress);
// The packet count and every entry, each body read by `readBody`; bytes after the last entry
// are not read. Failed leaves the reader's status saying why. `pProgress`, when given, counts
// bytes of the file.
LarkReadResult ReadLarkPackets(CArchiveReader& ar, const LarkBodyReader& readBody,
                               CProgressReporter* pProgress);

// The whole file from an open descriptor of `size` bytes; a file of zero bytes holds no
// packets. A successful outcome's warning counts the bytes after the last packet. Progress
// counts bytes.
DocumentOutcome ReadLarkFile(int fd, std::uint64_t size, const LarkBodyReader& readBody,
                             const ProgressCallback& progress);
// The whole file to an open descriptor; progress counts records.
DocumentOutcome WriteLarkFile(int fd, const CPacketList& packets, const PacketBytesSource& bytesOf,
                              const ProgressCallback& progress);

}  // namespace wirelark
