// Opening a large pcap file as a document beside reading the same packets with a bare
// pcap_next_ex loop, in the same run and on the same (cached) file. The document keeps where
// each packet is rather than its bytes, so the open should cost no more than the bare loop and
// its memory should grow with the packets' count only: at most 40 bytes a packet plus 64 MB.
//   pcap_open_bench [MB]   the files' size, 2048 unless given
#include <pcap/pcap.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/wirelark_doc.h"
#include "support/resident_memory.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 2;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A little-endian microsecond pcap of `bytes` bytes, of Ethernet frames cycling through
// `sizes`, a thousand a second, written a few megabytes at a time; returns the packet count.
std::size_t WritePcap(const std::string& path, std::uint64_t bytes,
                      const std::vector<std::uint32_t>& sizes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror("writing the bench file");
        std::exit(1);
    }
    std::vector<std::uint8_t> out;
    for (const std::uint32_t word : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 262144u, 1u}) {
        PutU32(out, word);
    }
    std::uint64_t written = 0;
    std::size_t packets = 0;
    std::uint64_t micros = 1'700'000'000ull * 1'000'000;
    while (written + out.size() < bytes) {
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
        if (out.size() >= (std::size_t{8} << 20)) {
            if (std::fwrite(out.data(), 1, out.size(), file) != out.size()) {
                std::perror("writing the bench file");
                std::exit(1);
            }
            written += out.size();
            out.clear();
        }
    }
    if (std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
        std::perror("writing the bench file");
        std::exit(1);
    }
    return packets;
}

double BareLoop(const std::string& path, std::size_t& packets) {
    char error[PCAP_ERRBUF_SIZE];
    const Clock::time_point start = Clock::now();
    pcap_t* pcap = pcap_open_offline(path.c_str(), error);
    if (pcap == nullptr) {
        std::fprintf(stderr, "%s\n", error);
        std::exit(1);
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    std::uint64_t checksum = 0;
    packets = 0;
    while (pcap_next_ex(pcap, &header, &data) == 1) {
        checksum += header->caplen;
        ++packets;
    }
    pcap_close(pcap);
    const double seconds = SecondsSince(start);
    if (checksum == 0 && packets == 0) {
        std::puts("(no packets)");
    }
    return seconds;
}

struct COpened {
    double seconds = 0;
    std::size_t packets = 0;
    std::size_t resident = 0;  // the whole process, the document open
    std::size_t added = 0;     // what the open added to it
    std::string warning;
};

COpened OpenDocument(const std::string& path) {
    COpened opened;
    const std::size_t before = wirelark::test::ResidentBytes();
    wirelark::CWirelarkDoc doc;
    const Clock::time_point start = Clock::now();
    const wirelark::DocumentOutcome outcome = doc.OpenFile(path);
    opened.seconds = SecondsSince(start);
    if (!outcome.Succeeded()) {
        std::fprintf(stderr, "open failed: %s\n", outcome.reason.c_str());
        std::exit(1);
    }
    opened.packets = doc.GetPacketList().size();
    opened.resident = wirelark::test::ResidentBytes();
    opened.added = opened.resident - std::min(before, opened.resident);
    opened.warning = outcome.warning;
    return opened;
}

void Run(const char* frames, std::uint64_t bytes, const std::vector<std::uint32_t>& sizes,
         const std::filesystem::path& folder) {
    const std::string path = (folder / "wirelark-open-bench.pcap").string();
    const std::size_t written = WritePcap(path, bytes, sizes);
    double bare = 1e9;
    std::size_t bareCount = 0;
    COpened best;
    best.seconds = 1e9;
    // Warm the page cache once, then take the best of a few rounds of each, interleaved.
    BareLoop(path, bareCount);
    for (int round = 0; round < kRounds; ++round) {
        bare = std::min(bare, BareLoop(path, bareCount));
        const COpened opened = OpenDocument(path);
        if (opened.seconds < best.seconds) {
            best = opened;
        }
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
    std::printf(
        "  %zu packets written; bare loop %.3f s for %zu packets; document %zu packets%s%s\n",
        written, bare, bareCount, best.packets, best.warning.empty() ? "" : ": ",
        best.warning.c_str());
    std::printf(
        "open %.0f MB pcap (%s frames): %.2f s, ratio %.2f to the bare loop, resident %.0f MB, "
        "%.1f bytes a packet\n",
        megabytes, frames, best.seconds, best.seconds / bare,
        static_cast<double>(best.resident) / (1 << 20),
        static_cast<double>(best.added) /
            static_cast<double>(std::max<std::size_t>(best.packets, 1)));
    std::fflush(stdout);
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2048;
    const std::uint64_t bytes = megabytes << 20;
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const struct {
        const char* frames;
        std::vector<std::uint32_t> sizes;
    } files[] = {{"60-1514-byte", {60, 590, 1514, 98, 1024}},
                 {"60-byte", {60}},
                 // Records without bytes are the most a file of this size can hold.
                 {"0-byte", {0}}};
    for (const auto& file : files) {
        // Each in a process of its own, so that one file's memory figures owe nothing to the
        // one before.
        const pid_t child = ::fork();
        if (child == 0) {
            Run(file.frames, bytes, file.sizes, folder);
            std::_Exit(0);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || status != 0) {
            std::fprintf(stderr, "the run for %s-byte frames failed\n", file.frames);
            return 1;
        }
    }
    return 0;
}
