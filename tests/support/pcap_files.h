// Pcap and pcapng files for tests: written byte by byte in either byte order and at either
// timestamp precision, or through libpcap's own dumper.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wirelark::test {

inline constexpr std::uint32_t kLinkEthernet = 1;
inline constexpr std::uint32_t kLinkLinuxSll = 113;

struct CPcapPacket {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;  // micro- or nanoseconds, as the file's precision says
    std::uint32_t wireLength = 0;
    std::vector<std::uint8_t> bytes;  // the captured part
};

struct CPcapLayout {
    bool bBigEndian = false;
    bool bNanosecond = false;
    std::uint32_t linkType = kLinkEthernet;
};

std::vector<std::uint8_t> MakePcap(const std::vector<CPcapPacket>& packets,
                                   const CPcapLayout& layout = {});
// One section, one interface, one enhanced packet block per packet; with bNanosecond the
// interface says its timestamps count nanoseconds, otherwise it uses the default microseconds.
std::vector<std::uint8_t> MakePcapng(const std::vector<CPcapPacket>& packets,
                                     const CPcapLayout& layout = {});
// Writes microsecond packets with pcap_open_dead and pcap_dump_open.
void WriteWithLibpcapDumper(const std::string& path, const std::vector<CPcapPacket>& packets,
                            int linkType = static_cast<int>(kLinkEthernet));

}  // namespace wirelark::test
