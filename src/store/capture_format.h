// The capture file formats the document reads and writes, told apart by their first bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace wirelark {

enum class CaptureFileFormat {
    Lark,    // the program's own object-archive layout (.cap)
    Pcap,    // libpcap's classic format, either byte order, micro- or nanosecond timestamps
    Pcapng,  // the next-generation block format; read only, Save writes Pcap in its place
};

// The file dialog filters, in the order the dialogs offer them.
inline constexpr char kLarkFilesFilter[] = "Lark Files (*.cap)";
inline constexpr char kPacketCapturesOpenFilter[] = "Packet captures (*.pcap *.pcapng)";
inline constexpr char kPacketCapturesSaveFilter[] = "Packet captures (*.pcap)";

// What the first bytes of a capture file say: its format, and whether its timestamps are to be
// read in nanoseconds (libpcap otherwise gives microseconds).
struct CCaptureFileKind {
    CaptureFileFormat format = CaptureFileFormat::Lark;
    bool bNanosecond = false;
};

// A capture's kind from the first bytes of the file (four are enough); anything that is not
// pcap or pcapng is taken as a Lark file, whose reader then judges it.
CCaptureFileKind DetectCaptureFile(std::span<const std::uint8_t> head);
// The format alone.
CaptureFileFormat DetectCaptureFileFormat(std::span<const std::uint8_t> head);

// "Lark", "pcap" or "pcapng", for messages.
std::string_view CaptureFileFormatName(CaptureFileFormat format);

}  // namespace wirelark
