// Frames per second for the per-frame work of the intake (the eight row texts plus both
// filters) and of a row click (building the explorer tree), over a mix of real-sized frames,
// beside a baseline pass that copies and checksums the same frames.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "capture/packet_intake.h"
#include "decode/packet_row.h"
#include "decode/packet_tree.h"
#include "store/time_text.h"

namespace {

using Frame = std::vector<std::uint8_t>;

unsigned Next(std::mt19937& random) {
    return static_cast<unsigned>(random());
}

void Put16(Frame& f, unsigned value) {
    f.push_back(static_cast<std::uint8_t>(value >> 8));
    f.push_back(static_cast<std::uint8_t>(value));
}

Frame Ethernet(unsigned etherType) {
    Frame f{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};
    Put16(f, etherType);
    return f;
}

Frame Ipv4(unsigned protocol, std::size_t payloadAfterIp, std::mt19937& random) {
    Frame f = Ethernet(0x0800);
    f.insert(f.end(), {0x45, 0x00});
    Put16(f, static_cast<unsigned>(20 + payloadAfterIp));
    f.insert(f.end(), {0x1C, 0x46, 0x40, 0x00, 0x40, static_cast<std::uint8_t>(protocol), 0xB8,
                       0x61, 192, 168, static_cast<std::uint8_t>(Next(random)), 10, 10, 0,
                       static_cast<std::uint8_t>(Next(random)), 2});
    return f;
}

Frame Tcp(std::size_t payload, std::mt19937& random) {
    Frame f = Ipv4(6, 20 + payload, random);
    Put16(f, 1024 + Next(random) % 60000);
    Put16(f, Next(random) % 2 ? 80 : 443);
    for (int i = 0; i < 8; ++i) {
        f.push_back(static_cast<std::uint8_t>(Next(random)));
    }
    f.insert(f.end(), {0x50, 0x18, 0xFA, 0xF0, 0x12, 0x34, 0x00, 0x00});
    f.resize(f.size() + payload, 0x5A);
    return f;
}

Frame Udp(std::size_t payload, std::mt19937& random) {
    Frame f = Ipv4(17, 8 + payload, random);
    Put16(f, 53);
    Put16(f, 1024 + Next(random) % 60000);
    Put16(f, static_cast<unsigned>(8 + payload));
    Put16(f, 0xABCD);
    f.resize(f.size() + payload, 0x11);
    return f;
}

Frame Padded(Frame f) {
    if (f.size() < 60) {
        f.resize(60, 0);
    }
    return f;
}

// Roughly what a busy desktop link carries: full-sized TCP, bare acknowledgements, DNS-sized
// UDP, some ARP, ICMP, IPv6 and IGMP.
std::vector<Frame> FrameMix(std::size_t count) {
    std::mt19937 random(42);
    std::vector<Frame> frames;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned pick = Next(random) % 100;
        if (pick < 40) {
            frames.push_back(Tcp(1460, random));
        } else if (pick < 65) {
            frames.push_back(Padded(Tcp(0, random)));
        } else if (pick < 80) {
            frames.push_back(Udp(40 + Next(random) % 460, random));
        } else if (pick < 87) {
            Frame f = Ethernet(0x0806);
            f.resize(60, 0x01);
            frames.push_back(f);
        } else if (pick < 92) {
            Frame f = Ipv4(1, 64, random);
            f.insert(f.end(), {8, 0, 0x4D, 0x5A, 0, 1, 0, 7});
            f.resize(98, 0x20);
            frames.push_back(f);
        } else if (pick < 97) {
            Frame f = Ethernet(0x86DD);
            f.resize(86 + Next(random) % 1000, 0x60);
            frames.push_back(f);
        } else {
            frames.push_back(Padded(Ipv4(2, 8, random)));
        }
    }
    return frames;
}

// Best of several timed rounds over all frames, in frames per second.
double FramesPerSecond(const std::vector<Frame>& frames,
                       const std::function<void(const Frame&)>& work) {
    using Clock = std::chrono::steady_clock;
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        std::size_t done = 0;
        const auto start = Clock::now();
        auto now = start;
        while (now - start < std::chrono::milliseconds(400)) {
            for (const Frame& frame : frames) {
                work(frame);
            }
            done += frames.size();
            now = Clock::now();
        }
        best = std::max(
            best, static_cast<double>(done) / std::chrono::duration<double>(now - start).count());
    }
    return best;
}

volatile std::size_t g_sink;

}  // namespace

int main() {
    using namespace wirelark;
    const std::vector<Frame> frames = FrameMix(4096);
    std::size_t bytes = 0;
    for (const Frame& frame : frames) {
        bytes += frame.size();
    }
    std::printf("frames: %zu, mean size %.0f bytes\n", frames.size(),
                static_cast<double>(bytes) / static_cast<double>(frames.size()));

    std::vector<std::uint8_t> copy(65536);
    const double baseline = FramesPerSecond(frames, [&](const Frame& frame) {
        std::memcpy(copy.data(), frame.data(), frame.size());
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < frame.size(); ++i) {
            sum += copy[i];
        }
        g_sink = sum;
    });

    CFilterFlags flags;
    flags.m_bHttp = 1;  // port filter on, so both filters read all they can
    CPacketRow row;
    int number = 0;
    const double rowAndFilters = FramesPerSecond(frames, [&](const Frame& frame) {
        const int dropped = IsFilteredByProtocol(flags, frame) + IsFilteredByPort(flags, frame);
        FormatPacketRow(++number, "12:34:56,789012 ", static_cast<int>(frame.size()), frame, row);
        g_sink = static_cast<std::size_t>(dropped) + row[kColumnIpDest].size();
    });

    timeval stamp{1'700'000'000, 0};
    const double intake = FramesPerSecond(frames, [&](const Frame& frame) {
        const int dropped = IsFilteredByProtocol(flags, frame) + IsFilteredByPort(flags, frame);
        stamp.tv_usec = (stamp.tv_usec + 137) % 1'000'000;
        FormatPacketRow(++number, FormatTimeText(stamp), static_cast<int>(frame.size()), frame,
                        row);
        g_sink = static_cast<std::size_t>(dropped) + row[kColumnIpDest].size();
    });

    CPacketTree tree;
    const double trees = FramesPerSecond(frames, [&](const Frame& frame) {
        BuildPacketTree(++number, frame, tree);
        g_sink = tree.nodes.size();
    });

    std::printf("%-40s %12.0f frames/s  %6.2fx baseline\n", "baseline: copy + byte checksum",
                baseline, 1.0);
    std::printf("%-40s %12.0f frames/s  %6.2fx baseline\n", "row texts + both filters",
                rowAndFilters, rowAndFilters / baseline);
    std::printf("%-40s %12.0f frames/s  %6.2fx baseline\n", "same + time text (localtime)", intake,
                intake / baseline);
    std::printf("%-40s %12.0f frames/s  %6.2fx baseline\n", "explorer tree", trees,
                trees / baseline);
    std::printf("target: 2000000 row-plus-filter operations per second: %s\n",
                rowAndFilters >= 2e6 ? "met" : "NOT met");
    return 0;
}
