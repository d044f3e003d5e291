// Opening a 100 MB pcap file as a document beside reading the same packets with a bare
// pcap_next_ex loop, in the same run and on the same (cached) file; target: within 2 times.
#include <pcap/pcap.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "store/byte_arena.h"
#include "store/wirelark_doc.h"
#include "support/resident_memory.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kFileBytes = 100'000'000;
constexpr int kRounds = 5;
constexpr std::size_t kStreamBuffer = std::size_t{1} << 20;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A little-endian microsecond pcap of Ethernet frames cycling through `sizes`, a thousand a
// second; returns the packet count.
std::size_t WritePcap(const std::string& path, const std::vector<std::uint32_t>& sizes) {
    std::vector<std::uint8_t> out;
    out.reserve(kFileBytes + 2048);
    for (const std::uint32_t word : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 262144u, 1u}) {
        PutU32(out, word);
    }
    std::size_t packets = 0;
    std::uint64_t micros = 1'700'000'000ull * 1'000'000;
    while (out.size() < kFileBytes) {
        const std::uint32_t size = sizes[packets % sizes.size()];
        PutU32(out, static_cast<std::uint32_t>(micros / 1'000'000));
        PutU32(out, static_cast<std::uint32_t>(micros % 1'000'000));
        PutU32(out, size);
        PutU32(out, size);
        for (std::uint32_t i = 0; i < size; ++i) {
            out.push_back(static_cast<std::uint8_t>(i * 7 + packets));
        }
        micros += 1000;
        ++packets;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size()) {
        std::perror("writing the bench file");
        std::exit(1);
    }
    std::fclose(file);
    return packets;
}

// With `streamBuffer` the loop reads through a stream buffer of that size, as the document's
// reader does, instead of the C library's default of one page.
double BareLoop(const std::string& path, std::size_t& packets, std::size_t streamBuffer = 0) {
    char error[PCAP_ERRBUF_SIZE];
    const Clock::time_point start = Clock::now();
    pcap_t* pcap = pcap_open_offline(path.c_str(), error);
    std::vector<char> buffer(streamBuffer);
    if (streamBuffer > 0) {
        std::setvbuf(pcap_file(pcap), buffer.data(), _IOFBF, buffer.size());
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    std::uint64_t checksum = 0;
    packets = 0;
    while (pcap_next_ex(pcap, &header, &data) == 1) {
        checksum += header->caplen + data[0];
        ++packets;
    }
    pcap_close(pcap);
    const double seconds = SecondsSince(start);
    if (checksum == 0) {
        std::puts("(no packets)");
    }
    return seconds;
}

// The least any open that keeps the packets must do on top of the bare loop: copy every packet
// into fresh memory (the same huge-page-backed arena the document uses), which the system has to
// fault in and clear.
double CopyingLoop(const std::string& path, std::size_t& packets) {
    char error[PCAP_ERRBUF_SIZE];
    const Clock::time_point start = Clock::now();
    pcap_t* pcap = pcap_open_offline(path.c_str(), error);
    std::vector<char> buffer(kStreamBuffer);
    std::setvbuf(pcap_file(pcap), buffer.data(), _IOFBF, buffer.size());
    wirelark::CByteArena arena;
    arena.Reserve(static_cast<std::size_t>(std::filesystem::file_size(path)));
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    packets = 0;
    while (pcap_next_ex(pcap, &header, &data) == 1) {
        std::memcpy(arena.Allocate(header->caplen), data, header->caplen);
        ++packets;
    }
    pcap_close(pcap);
    const double seconds = SecondsSince(start);
    return seconds;
}

// `kept` is the memory the open document holds once it is open.
double OpenDocument(const std::string& path, std::size_t& packets, std::size_t& kept) {
    const std::size_t before = wirelark::test::ResidentBytes();
    wirelark::CWirelarkDoc doc;
    const Clock::time_point start = Clock::now();
    const wirelark::DocumentOutcome outcome = doc.OpenFile(path);
    const double seconds = SecondsSince(start);
    if (!outcome.Succeeded()) {
        std::fprintf(stderr, "open failed: %s\n", outcome.reason.c_str());
        std::exit(1);
    }
    packets = doc.GetPacketList().size();
    kept = wirelark::test::ResidentBytes() - before;
    return seconds;
}

void Run(const char* name, const std::vector<std::uint32_t>& sizes,
         const std::filesystem::path& folder) {
    const std::string path = (folder / "bench.pcap").string();
    const std::size_t written = WritePcap(path, sizes);
    // Everything but the file header and a 16-byte header a packet.
    const std::size_t frameBytes = std::filesystem::file_size(path) - 24 - 16 * written;
    double bare = 1e9;
    double bareBuffered = 1e9;
    double copying = 1e9;
    double open = 1e9;
    std::size_t bareCount = 0;
    std::size_t openCount = 0;
    std::size_t kept = 0;
    // Warm the page cache once, then take the best of a few rounds of each, interleaved.
    BareLoop(path, bareCount);
    for (int round = 0; round < kRounds; ++round) {
        bare = std::min(bare, BareLoop(path, bareCount));
        bareBuffered = std::min(bareBuffered, BareLoop(path, bareCount, kStreamBuffer));
        copying = std::min(copying, CopyingLoop(path, bareCount));
        open = std::min(open, OpenDocument(path, openCount, kept));
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    std::printf("== %s: %zu packets, %.1f MB\n", name, written, megabytes);
    std::printf("  bare pcap_next_ex loop : %8.3f s  %8.1f MB/s  (%zu packets)\n", bare,
                megabytes / bare, bareCount);
    std::printf("  bare loop, 1 MB buffer : %8.3f s  %8.1f MB/s\n", bareBuffered,
                megabytes / bareBuffered);
    std::printf("  bare loop + copy       : %8.3f s  %8.1f MB/s  (the floor for keeping them)\n",
                copying, megabytes / copying);
    std::printf("  CWirelarkDoc::OpenFile : %8.3f s  %8.1f MB/s  (%zu packets)\n", open,
                megabytes / open, openCount);
    std::printf("  memory kept            : %8.1f MB, frames %.1f MB + %.1f bytes a packet\n",
                static_cast<double>(kept) / 1e6, static_cast<double>(frameBytes) / 1e6,
                (static_cast<double>(kept) - static_cast<double>(frameBytes)) /
                    static_cast<double>(written));
    std::printf("  ratio open / bare      : %8.2f  (target at most 2.00) %s\n", open / bare,
                open / bare <= 2.0 ? "ok" : "OVER");
    std::printf("  ratio open / buffered  : %8.2f  (against the bare loop with the same buffer)\n",
                open / bareBuffered);
    std::printf("  ratio open / copy      : %8.2f\n", open / copying);
    std::filesystem::remove(path);
}

}  // namespace

int main() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    Run("60-byte frames", {60}, folder);
    Run("mixed 60/590/1514-byte frames", {60, 590, 1514}, folder);
    Run("1514-byte frames", {1514}, folder);
    return 0;
}
