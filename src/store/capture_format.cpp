// Recognising capture files by their magic numbers.
#include "store/capture_format.h"

#include <algorithm>
#include <array>

namespace wirelark {

namespace {

// The magic number a file starts with, as its bytes lie in the file.
struct CHeadCheck {
    std::array<std::uint8_t, 4> magic;
    CCaptureFileKind kind;
};

// Pcap files are read at their own precision, so that timestamps come through untouched;
// pcapng interfaces each have their own, which nanoseconds hold without loss.
constexpr CHeadCheck kHeadChecks[] = {
    {{0xD4, 0xC3, 0xB2, 0xA1}, {CaptureFileFormat::Pcap, false}},  // little-endian, microseconds
    {{0xA1, 0xB2, 0xC3, 0xD4}, {CaptureFileFormat::Pcap, false}},  // big-endian, microseconds
    {{0x4D, 0x3C, 0xB2, 0xA1}, {CaptureFileFormat::Pcap, true}},   // little-endian, nanoseconds
    {{0xA1, 0xB2, 0x3C, 0x4D}, {CaptureFileFormat::Pcap, true}},   // big-endian, nanoseconds
    // The section header block's type reads the same in both byte orders.
    {{0x0A, 0x0D, 0x0D, 0x0A}, {CaptureFileFormat::Pcapng, true}},
};

}  // namespace

CCaptureFileKind DetectCaptureFile(std::span<const std::uint8_t> head) {
    for (const CHeadCheck& check : kHeadChecks) {
        if (head.size() >= check.magic.size() &&
            std::equal(check.magic.begin(), check.magic.end(), head.begin())) {
            return check.kind;
        }
    }
    return {};
}

CaptureFileFormat DetectCaptureFileFormat(std::span<const std::uint8_t> head) {
    return DetectCaptureFile(head).format;
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
