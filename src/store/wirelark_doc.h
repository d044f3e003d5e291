// The capture document: every stored packet in capture order, found again by number, and saved
// to and read from capture files.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <deque>
#include <span>
#include <string_view>
#include <vector>

#include "store/byte_arena.h"
#include "store/document.h"
#include "store/packet_number_index.h"
#include "store/packet_obj.h"

namespace wirelark {

// A deque, so that records never move while the list grows and views may keep pointers to
// them until the document is emptied.
using CPacketList = std::deque<CPacketObj>;

class CWirelarkDoc : public CDocument {
public:
    CWirelarkDoc() = default;
    ~CWirelarkDoc() override;

    // Marks the document modified and appends a record made as CPacketObj::SetPacket makes it.
    // False, with nothing stored, when memory runs out.
    bool AddPacket(int number, std::span<const std::uint8_t> frame, int length,
                   std::string_view timeText);
    // The same from a captured frame: the wire length is the length, and only the captured
    // bytes are kept.
    bool AddPacket(int number, const pcap_pkthdr& header, std::span<const std::uint8_t> frame,
                   std::string_view timeText);
    void DeleteAllPackets() noexcept;
    // Appends the frame elements of the first record in list order with this number to `out`;
    // false, with `out` untouched, when no record has it.
    bool FindPacket(int number, std::vector<std::uint16_t>& out) const;
    // The same record without a copy; nullptr when no record has the number.
    const CPacketObj* FindPacket(int number) const;
    // Its bytes without a copy; empty when no record has the number.
    std::span<const std::uint8_t> FindPacketBytes(int number) const;
    const CPacketList& GetPacketList() const { return m_packets; }

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

protected:
    void Serialize(CArchiveWriter& ar) const override;
    bool Serialize(CArchiveReader& ar) override;

private:
    // Strong guarantee: on std::bad_alloc the list and the index are as they were.
    void Append(CPacketObj&& packet);
    bool ReadEntryTag(CArchiveReader& ar, bool bFirst);

    // Declared before the list: the records point into it, so it must be destroyed after them.
    CByteArena m_arena;
    CPacketList m_packets;
    CPacketNumberIndex m_index;
};

}  // namespace wirelark
