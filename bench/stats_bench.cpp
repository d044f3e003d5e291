// Traffic statistics over a million packets of mixed traffic: counting them all again, and
// counting 10,000 new ones into the million, each beside the document intake of the same packets
// measured in the same run.
#include <pcap/pcap.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "stats/traffic_statistics.h"
#include "store/wirelark_doc.h"
#include "support/frame_builder.h"

namespace {

using namespace wirelark;
using test::CFrameBuilder;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPackets = 1'000'000;
constexpr std::size_t kUpdate = 10'000;
constexpr int kRounds = 3;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct CPacket {
    pcap_pkthdr header{};
    std::vector<std::uint8_t> bytes;
};

// 6000 TCP and UDP flows between 3000 clients and 200 servers, pings between their hosts, and ARP
// and other EtherTypes in between: a thousand packets a second, some a little out of time order.
// Frames are captured at 128 bytes at most, as a snap length would cut them, so that a million
// fit in memory; their wire length stays.
class CTrafficMaker {
public:
    CTrafficMaker() {
        for (int i = 0; i < 6000; ++i) {
            const std::uint16_t serverPorts[] = {80, 443, 22, 53};
            m_flows.push_back({{10, static_cast<std::uint8_t>(Below(12)),
                                static_cast<std::uint8_t>(Below(250)), 1},
                               {172, 16, 0, static_cast<std::uint8_t>(Below(200))},
                               static_cast<std::uint16_t>(40000 + Below(20000)),
                               serverPorts[Below(4)],
                               static_cast<std::uint8_t>(Below(10) < 7 ? 6 : 17)});
        }
    }

    CPacket Next() {
        const std::uint32_t pick = Below(100);
        const CFlow& flow = m_flows[Below(static_cast<std::uint32_t>(m_flows.size()))];
        const bool bReply = Below(2) != 0;
        test::CIpv4Fields ip{.protocol = flow.protocol,
                             .source = bReply ? flow.server : flow.client,
                             .destination = bReply ? flow.client : flow.server};
        const std::uint16_t sourcePort = bReply ? flow.serverPort : flow.clientPort;
        const std::uint16_t destinationPort = bReply ? flow.clientPort : flow.serverPort;
        CFrameBuilder frame;
        std::uint32_t wireLength = 60;
        if (pick < 82 && flow.protocol == 6) {
            frame.Ethernet().Ipv4(ip).Tcp(
                {.sourcePort = sourcePort, .destinationPort = destinationPort});
            wireLength = Below(2) != 0 ? 1514 : 60;
        } else if (pick < 82) {
            frame.Ethernet().Ipv4(ip).Udp(
                {.sourcePort = sourcePort, .destinationPort = destinationPort});
            wireLength = 80 + Below(400);
        } else if (pick < 87) {
            ip.protocol = 1;
            frame.Ethernet().Ipv4(ip).Icmp();
            wireLength = 98;
        } else if (pick < 94) {
            frame.Ethernet({.etherType = 0x0806}).Arp({.targetIp = flow.server});
        } else {
            const std::uint16_t others[] = {0x86DD, 0x88CC, 0x8035, 0x9000};
            frame.Ethernet({.etherType = others[Below(4)]});
            wireLength = 60 + Below(1000);
        }
        CPacket packet;
        packet.bytes =
            frame.Payload(128).TruncateTo(std::min<std::uint32_t>(wireLength, 128)).Build();
        ++m_count;
        const std::int64_t micros =
            1'700'000'000'000'000 + m_count * 1000 - static_cast<std::int64_t>(Below(3000));
        packet.header.ts = {static_cast<time_t>(micros / 1'000'000),
                            static_cast<suseconds_t>(micros % 1'000'000)};
        packet.header.caplen = static_cast<bpf_u_int32>(packet.bytes.size());
        packet.header.len = std::max<std::uint32_t>(wireLength, packet.header.caplen);
        return packet;
    }

private:
    // A number below `count`.
    std::uint32_t Below(std::uint32_t count) {
        return static_cast<std::uint32_t>(m_random() % count);
    }

    struct CFlow {
        test::Ip client;
        test::Ip server;
        std::uint16_t clientPort;
        std::uint16_t serverPort;
        std::uint8_t protocol;
    };

    std::mt19937 m_random{2024};
    std::vector<CFlow> m_flows;
    std::int64_t m_count = 0;
};

// Stores the packets into `doc` as a capture does; milliseconds.
double Intake(CWirelarkDoc& doc, const std::vector<CPacket>& packets, std::size_t first,
              std::size_t count) {
    const Clock::time_point start = Clock::now();
    for (std::size_t i = first; i < first + count; ++i) {
        doc.AddPacket(static_cast<int>(i + 1), packets[i].header, packets[i].bytes);
    }
    return MsSince(start);
}

// Counts the document's records from `first` on, as the statistics window does; milliseconds.
double Count(CTrafficStatistics& stats, const CWirelarkDoc& doc, std::size_t first) {
    const CPacketList& list = doc.GetPacketList();
    const Clock::time_point start = Clock::now();
    for (std::size_t i = first; i < list.size(); ++i) {
        const CPacketObj& packet = list[i];
        stats.Add(packet.GetNumber(), doc.GetPacketTime(packet), packet.GetLength(),
                  packet.GetBytes());
    }
    return MsSince(start);
}

}  // namespace

int main() {
    std::printf("stats_bench: generating %zu packets...\n", kPackets + kRounds * kUpdate);
    CTrafficMaker maker;
    std::vector<CPacket> packets;
    packets.reserve(kPackets + kRounds * kUpdate);
    for (std::size_t i = 0; i < kPackets + kRounds * kUpdate; ++i) {
        packets.push_back(maker.Next());
    }

    // Best of several rounds for each figure: the machine is shared.
    double intakeMs = 1e9;
    auto doc = std::make_unique<CWirelarkDoc>();
    for (int round = 0; round < kRounds; ++round) {
        doc = std::make_unique<CWirelarkDoc>();
        intakeMs = std::min(intakeMs, Intake(*doc, packets, 0, kPackets));
    }
    CTrafficStatistics stats;
    double rebuildMs = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const Clock::time_point start = Clock::now();
        stats.Clear();
        Count(stats, *doc, 0);
        rebuildMs = std::min(rebuildMs, MsSince(start));
    }
    std::printf("counted: %zu types, %zu seconds, %zu conversations, %zu endpoints\n",
                stats.GetProtocols().size(), stats.GetSeconds().size(),
                stats.GetConversations().size(), stats.GetEndpoints().size());
    std::printf(
        "full rebuild over %zu packets: %.1f ms (intake of the same packets: %.1f ms, ratio "
        "%.2f; target 200 ms)\n",
        kPackets, rebuildMs, intakeMs, rebuildMs / intakeMs);

    double updateMs = 1e9;
    double updateIntakeMs = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const std::size_t first = doc->GetPacketList().size();
        updateIntakeMs = std::min(updateIntakeMs, Intake(*doc, packets, first, kUpdate));
        updateMs = std::min(updateMs, Count(stats, *doc, first));
    }
    std::printf("update for %zu new packets: %.2f ms (intake: %.2f ms, ratio %.2f; target 5 ms)\n",
                kUpdate, updateMs, updateIntakeMs, updateMs / updateIntakeMs);

    const Clock::time_point start = Clock::now();
    const std::size_t rows = stats.GetConversations().size() + stats.GetEndpoints().size() +
                             stats.GetSeries().points.size();
    std::printf("rows asked for (conversations, endpoints, series): %zu in %.1f ms\n", rows,
                MsSince(start));
    return 0;
}
