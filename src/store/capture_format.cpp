// Recognising capture files by their magic numbers.
#include "store/capture_format.h"

namespace wirelark {

namespace {

constexpr std::uint32_t kPcapMagics[] = {0xA1B2C3D4, 0xD4C3B2A1, 0xA1B23C4D, 0x4D3CB2A1};
constexpr std::uint32_t kPcapngSectionHeader = 0x0A0D0D0A;  // the same in both byte orders

}  // namespace

CaptureFileFormat DetectCaptureFileFormat(std::span<const std::uint8_t> head) {
    if (head.size() < 4) {
        return CaptureFileFormat::Lark;
    }
    const std::uint32_t magic = static_cast<std::uint32_t>(head[0]) << 24 |
                                static_cast<std::uint32_t>(head[1]) << 16 |
                                static_cast<std::uint32_t>(head[2]) << 8 | head[3];
    for (const std::uint32_t pcapMagic : kPcapMagics) {
        if (magic == pcapMagic) {
            return CaptureFileFormat::Pcap;
        }
    }
    return magic == kPcapngSectionHeader ? CaptureFileFormat::Pcapng : CaptureFileFormat::Lark;
}

std::string_view CaptureFileFormatName(CaptureFileFormat format) {
    switch (format) {
        case CaptureFileFormat::Pcap:
            return "pcap";
        case CaptureFileFormat::Pcapng:
            return "pcapng";
        case CaptureFileFormat::Lark:
            break;
    }
    return "Lark";
}

}  // namespace wirelark
