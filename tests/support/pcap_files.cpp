// Hand-made pcap and pcapng files, and files from libpcap's dumper.
#include "support/pcap_files.h"

#include <pcap/pcap.h>

#include <stdexcept>

namespace wirelark::test {

namespace {

class CWriter {
public:
    explicit CWriter(bool bBigEndian) : m_bBigEndian(bBigEndian) {}

    void U16(std::uint16_t value) { Put(value, 2); }
    void U32(std::uint32_t value) { Put(value, 4); }
    void Bytes(const std::vector<std::uint8_t>& bytes) {
        m_out.insert(m_out.end(), bytes.begin(), bytes.end());
    }
    void PadTo4() {
        while (m_out.size() % 4 != 0) {
            m_out.push_back(0);
        }
    }
    std::vector<std::uint8_t> Take() { return std::move(m_out); }

private:
    void Put(std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            const int shift = m_bBigEndian ? 8 * (size - 1 - i) : 8 * i;
            m_out.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }

    bool m_bBigEndian;
    std::vector<std::uint8_t> m_out;
};

}  // namespace

std::vector<std::uint8_t> MakePcap(const std::vector<CPcapPacket>& packets,
                                   const CPcapLayout& layout) {
    CWriter out(layout.bBigEndian);
    out.U32(layout.bNanosecond ? 0xA1B23C4D : 0xA1B2C3D4);
    out.U16(2);
    out.U16(4);
    out.U32(0);
    out.U32(0);
    out.U32(65535);
    out.U32(layout.linkType);
    for (const CPcapPacket& packet : packets) {
        out.U32(packet.seconds);
        out.U32(packet.fraction);
        out.U32(static_cast<std::uint32_t>(packet.bytes.size()));
        out.U32(packet.wireLength);
        out.Bytes(packet.bytes);
    }
    return out.Take();
}

std::vector<std::uint8_t> MakePcapng(const std::vector<CPcapPacket>& packets,
                                     const CPcapLayout& layout) {
    CWriter out(layout.bBigEndian);
    // Section header block.
    out.U32(0x0A0D0D0A);
    out.U32(28);
    out.U32(0x1A2B3C4D);
    out.U16(1);
    out.U16(0);
    out.U32(0xFFFFFFFF);  // section length unknown
    out.U32(0xFFFFFFFF);
    out.U32(28);
    // Interface description block, with if_tsresol 9 for nanoseconds.
    const std::uint32_t interfaceLength = layout.bNanosecond ? 32 : 20;
    out.U32(1);
    out.U32(interfaceLength);
    out.U16(static_cast<std::uint16_t>(layout.linkType));
    out.U16(0);
    out.U32(65535);
    if (layout.bNanosecond) {
        out.U16(9);  // if_tsresol
        out.U16(1);
        out.Bytes({9});
        out.PadTo4();
        out.U16(0);  // end of options
        out.U16(0);
    }
    out.U32(interfaceLength);
    for (const CPcapPacket& packet : packets) {
        const std::uint64_t perSecond = layout.bNanosecond ? 1'000'000'000 : 1'000'000;
        const std::uint64_t ticks = packet.seconds * perSecond + packet.fraction;
        const std::size_t padded = (packet.bytes.size() + 3) / 4 * 4;
        const auto total = static_cast<std::uint32_t>(32 + padded);
        out.U32(6);
        out.U32(total);
        out.U32(0);  // interface 0
        out.U32(static_cast<std::uint32_t>(ticks >> 32));
        out.U32(static_cast<std::uint32_t>(ticks));
        out.U32(static_cast<std::uint32_t>(packet.bytes.size()));
        out.U32(packet.wireLength);
        out.Bytes(packet.bytes);
        out.PadTo4();
        out.U32(total);
    }
    return out.Take();
}

void WriteWithLibpcapDumper(const std::string& path, const std::vector<CPcapPacket>& packets,
                            int linkType) {
    pcap_t* dead = pcap_open_dead(linkType, 65535);
    if (dead == nullptr) {
        throw std::runtime_error("pcap_open_dead failed");
    }
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    if (dumper == nullptr) {
        pcap_close(dead);
        throw std::runtime_error("pcap_dump_open failed");
    }
    for (const CPcapPacket& packet : packets) {
        pcap_pkthdr header{};
        header.ts.tv_sec = packet.seconds;
        header.ts.tv_usec = packet.fraction;
        header.caplen = static_cast<bpf_u_int32>(packet.bytes.size());
        header.len = packet.wireLength;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, packet.bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

}  // namespace wirelark::test
