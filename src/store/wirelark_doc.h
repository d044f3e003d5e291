// The capture document: every stored packet in capture order, found again by number, and saved
// to and read from capture files.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress.h"
#include "store/byte_arena.h"
#include "store/capture_format.h"
#include "store/document.h"
#include "store/file_descriptor.h"
#include "store/frame_file.h"
#include "store/packet_list.h"
#include "store/packet_number_index.h"
#include "store/packet_obj.h"
#include "store/page_warmer.h"

namespace wirelark {

class CWirelarkDoc : public CDocument {
public:
    CWirelarkDoc() = default;
    ~CWirelarkDoc() override;

    // Marks the document modified and appends a record made as CPacketObj::SetPacket makes it.
    // False, with nothing stored, when memory runs out.
    bool AddPacket(int number, std::span<const std::uint8_t> frame, int length,
                   std::string_view timeText);
    // The same from a captured frame: the wire length is the length, only the captured bytes are
    // kept, and the time text is the one the capture time makes (FormatTimeText).
    bool AddPacket(int number, const pcap_pkthdr& header, std::span<const std::uint8_t> frame);
    // The same with a time text of the caller's; one the capture time would make is not kept.
    bool AddPacket(int number, const pcap_pkthdr& header, std::span<const std::uint8_t> frame,
                   std::string_view timeText);
    // Appends a copy of a record whose bytes are in memory, of any document: its number,
    // length, bytes, time text and capture time. False, with nothing stored, when memory runs
    // out.
    bool AddCopy(const CPacketObj& record);
    void DeleteAllPackets() noexcept;
    // Readies the store for a capture that may add up to `bytes` of frame bytes: one block asked
    // to be backed by huge pages and made resident ahead of the frames on a second thread, so
    // that the intake does not wait for the system to clear fresh pages. Only a hint.
    void PrepareForCapture(std::size_t bytes) noexcept;
    // Lets that thread keep ahead of the frames stored since; after each pass of the intake.
    void CaptureAdvanced() noexcept;
    // Gives back the pages of the block that the capture did not reach.
    void CaptureEnded() noexcept;
    // Appends the frame bytes of the first record in list order with this number to `out`;
    // false, with `out` untouched, when no record has it. A record whose bytes can no longer
    // be read from its file appends none.
    bool FindPacket(int number, std::vector<std::uint8_t>& out) const;
    // The same record without a copy; nullptr when no record has the number.
    const CPacketObj* FindPacket(int number) const;
    // Its bytes, valid until the next call; empty when no record has the number or its bytes
    // cannot be read.
    std::span<const std::uint8_t> FindPacketBytes(int number) const;
    const CPacketList& GetPacketList() const { return m_packets; }

    // A record's bytes: in memory without a copy, or read from the file it was opened from
    // into `buffer`. None when the file no longer holds them; the first time that happens the
    // read-failure handler hears of it, once for the file.
    std::optional<std::span<const std::uint8_t>> GetPacketBytes(
        const CPacketObj& packet, std::vector<std::uint8_t>& buffer) const;
    using ReadFailureHandler = std::function<void(const std::string& message)>;
    void SetReadFailureHandler(ReadFailureHandler handler) {
        m_readFailureHandler = std::move(handler);
    }

    // Decoding answers for the packet with this number, computed by the decode functions of the
    // same names on its stored bytes; a number no packet has counts as an empty frame.
    int GetIpHeaderLength(int number) const;
    int GetIpOptionsLength(int number) const;
    int GetTcpOptionsLength(int number) const;
    int GetPayloadRange(int number, int& first, int& last) const;
    // The byte range of an explorer tree line; the root text names the packet.
    bool GetFieldByteRange(std::string_view rootText, std::string_view parentText,
                           std::string_view nodeText, int& first, int& last) const;

    void DeleteContents() override;
    bool OnNewDocument() override;

    // Opens a Lark, pcap or pcapng file, told apart by its content whatever its name. A pcap or
    // pcapng file's packets mostly stay in the file, which is kept open and read as they are
    // needed; a Lark file is read into memory. Progress
    // counts bytes of the file. Cancelling and every failure (a file that cannot be opened, a
    // damaged Lark file, a pcap or pcapng file that is not readable or not Ethernet:
    // UnsupportedLinkType) leave the document as it was: records, path, title and modified
    // flag. A pcap or pcapng file damaged or cut short part-way opens with the whole packets
    // before the damage, and a Lark file with bytes after its last packet opens without them;
    // the outcome's warning then says what was left out.
    DocumentOutcome OpenFile(const std::string& path, const ProgressCallback& progress = {});
    // Reads a capture file one packet at a time, keeping none: each record, as OpenFile would
    // store it (a Lark record with the time its text names on the file's day), goes to `visit`,
    // which returns false to stop there. Fails and warns as OpenFile does, except that a stop
    // is a success without a warning.
    using PacketVisitor = std::function<bool(const CPacketObj&)>;
    static DocumentOutcome ReadFilePackets(const std::string& path, const PacketVisitor& visit);
    // Saves the packets that `replay` hands to its visitor, as `format` (Pcapng writes Pcap),
    // atomically as SaveFile does, without keeping them: `replay` runs twice, to count them and
    // see whether their times need nanoseconds, then to write them, and must hand over the same
    // packets, each with its time, both times.
    using PacketReplay = std::function<DocumentOutcome(const PacketVisitor& take)>;
    static DocumentOutcome SavePackets(const std::string& path, CaptureFileFormat format,
                                       const PacketReplay& replay);
    // Saves in the given format (Pcapng writes Pcap) atomically; progress counts records.
    // Cancelling or failing leaves the previous file as it was. The document then remembers the
    // format written, and packets kept in their file are read from a pcap file it wrote. A
    // packet whose bytes can no longer be read is saved with none.
    DocumentOutcome SaveFile(const std::string& path, CaptureFileFormat format,
                             const ProgressCallback& progress = {});
    // The format of the file last opened or saved; Lark for a new document.
    CaptureFileFormat GetFileFormat() const { return m_fileFormat; }
    // What Save writes to the document's own file: Lark for a Lark file, Pcap for pcap and
    // pcapng files, so a capture from another tool is never silently turned into a Lark file.
    CaptureFileFormat GetSaveFormat() const;
    // OpenFile and SaveFile in the document's own format, without progress.
    DocumentOutcome OnOpenDocument(const std::string& path) override { return OpenFile(path); }
    DocumentOutcome OnSaveDocument(const std::string& path) override {
        return SaveFile(path, GetSaveFormat());
    }

    // The time a pcap file gets for this record: its own timestamp, or for a record that has
    // none (read from a Lark file, or added without a capture header) the time of day of its
    // time text on the date of the Lark file's last change, or on today's date when there is no
    // such file; midnight when the text is not a time.
    CPacketTime GetPacketTime(const CPacketObj& packet) const;

protected:
    void Serialize(CArchiveWriter& ar) const override;
    bool Serialize(CArchiveReader& ar) override;

private:
    DocumentOutcome ReadLarkFile(int fd, std::uint64_t size, const ProgressCallback& progress);
    DocumentOutcome ReadPcapFile(int fd, std::uint64_t size, bool bNanosecond,
                                 const ProgressCallback& progress);
    // After a pcap file was written at `path`: the packets kept in a file are read from that
    // one, those whose bytes were lost (`lost`, by position) as written, without bytes.
    void ReadFramesFrom(const std::string& path, const std::vector<std::size_t>& lost);
    PacketBytesSource BytesSource(std::vector<std::size_t>* pLost) const;
    // Reads a Lark entry's body into a new record at the end of the list; false when the
    // reader failed.
    bool ReadPacketBody(CArchiveReader& ar);
    // A capture file opened for reading, with its size and its kind told from its first bytes;
    // no descriptor, and the reason in `failure`, when that fails.
    struct COpenedFile {
        CFileDescriptor file;
        std::uint64_t size = 0;
        CCaptureFileKind kind;
        DocumentOutcome failure;
    };
    static COpenedFile OpenCaptureFile(const std::string& path);
    // Takes over the other document's records, dropping its own.
    void AdoptContents(CWirelarkDoc& other) noexcept;
    // Gives every record without a timestamp the one its time text names on `date`'s day.
    void TimestampFromTimeTexts(std::time_t date);
    // The day that time texts name: the Lark file's last change, or today.
    std::time_t GetTimeTextDate() const;

    // Appends a record that `fill` sets up in place and indexes it; false, with nothing added,
    // when `fill` returns false. Strong guarantee: when `fill` or the index throws, the list and
    // the index are as they were.
    template <typename Fill>
    bool Append(Fill&& fill);

    // Declared before the list: the records point into it, so it must be destroyed after them.
    CByteArena m_arena;
    std::unique_ptr<CFrameFile> m_pFrameFile;  // where opened records keep their bytes
    ReadFailureHandler m_readFailureHandler;
    mutable std::vector<std::uint8_t> m_findBuffer;
    CPacketList m_packets;
    CPacketNumberIndex m_index;
    CaptureFileFormat m_fileFormat = CaptureFileFormat::Lark;
    std::optional<std::time_t> m_timeTextDate;   // last change of the Lark file read
    std::span<std::uint8_t> m_captureBlock;      // reserved for the running capture
    std::optional<CPageWarmer> m_captureWarmer;  // last, so that its thread ends first
};

}  // namespace wirelark
