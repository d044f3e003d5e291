// The traffic counts: types as the rows name them, seconds and their coarser series, IPv4
// conversations and endpoints, and counting as packets come equal to counting all at once.
#include "stats/traffic_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "decode/packet_row.h"
#include "decode/protocol_names.h"
#include "support/sample_frames.h"

namespace wirelark {
namespace {

using namespace test;  // the sample frames

CPacketTime At(std::int64_t seconds, std::uint32_t nanoseconds = 0) {
    return {seconds, nanoseconds};
}

Frame Between(std::uint8_t protocol, Ip source, Ip destination, std::uint16_t sourcePort = 0,
              std::uint16_t destinationPort = 0) {
    CFrameBuilder frame = OverIpv4(protocol, {.source = source, .destination = destination});
    if (protocol == 6) {
        frame.Tcp({.sourcePort = sourcePort, .destinationPort = destinationPort});
    } else if (protocol == 17) {
        frame.Udp({.sourcePort = sourcePort, .destinationPort = destinationPort});
    } else if (protocol == 1) {
        frame.Icmp();
    }
    return frame.PadTo(60).Build();
}

// "type packets bytes percent" per row.
std::vector<std::string> ProtocolTexts(const CTrafficStatistics& stats) {
    std::vector<std::string> texts;
    for (const CProtocolRow& row : stats.GetProtocols()) {
        char percent[16];
        std::snprintf(percent, sizeof percent, "%.1f", row.percent);
        texts.push_back(row.type + " " + std::to_string(row.packets) + " " +
                        std::to_string(row.bytes) + " " + percent);
    }
    return texts;
}

std::string EndpointText(const Ipv4Address& address, std::uint16_t port) {
    return FormatDottedQuad(address) + "/" + std::to_string(port);
}

// "A B protocol packetsAToB/bytesAToB packetsBToA/bytesBToA" per row.
std::vector<std::string> ConversationTexts(const CTrafficStatistics& stats) {
    std::vector<std::string> texts;
    for (const CConversationRow& row : stats.GetConversations()) {
        texts.push_back(EndpointText(row.addressA, row.portA) + " " +
                        EndpointText(row.addressB, row.portB) + " " + row.protocol + " " +
                        std::to_string(row.packetsAToB) + "/" + std::to_string(row.bytesAToB) +
                        " " + std::to_string(row.packetsBToA) + "/" +
                        std::to_string(row.bytesBToA));
    }
    return texts;
}

// "address sent/bytes received/bytes" per row.
std::vector<std::string> EndpointTexts(const CTrafficStatistics& stats) {
    std::vector<std::string> texts;
    for (const CEndpointRow& row : stats.GetEndpoints()) {
        texts.push_back(FormatDottedQuad(row.address) + " " + std::to_string(row.packetsSent) +
                        "/" + std::to_string(row.bytesSent) + " " +
                        std::to_string(row.packetsReceived) + "/" +
                        std::to_string(row.bytesReceived));
    }
    return texts;
}

TEST(TrafficStatistics, CountsEachTypeUnderTheRowsTypeText) {
    const std::vector<Frame> frames = {TcpFrame(1000, 80),
                                       TcpFrame(1001, 443),
                                       UdpFrame(53, 53),
                                       kIcmp,
                                       kIgmp,
                                       kArp,
                                       EtherFrame(0x86DD),
                                       Frame{},
                                       Cut(TcpFrame(1, 2), 53),
                                       Cut(TcpFrame(1, 2), 33)};
    CTrafficStatistics stats;
    CPacketRow row;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        stats.Add(static_cast<int>(i + 1), At(100), 100 + static_cast<int>(i), frames[i]);
        FormatFrameColumns(frames[i], row);
        bool bListed = false;
        for (const CProtocolRow& protocol : stats.GetProtocols()) {
            bListed = bListed || protocol.type == row[kColumnType];
        }
        EXPECT_TRUE(bListed) << "no row for type \"" << row[kColumnType] << '"';
    }
    stats.Add(11, At(100), -5, kArp);  // a length below 0 adds no bytes

    // The cut frames read as IPv4-TCP (no IP columns) and IPv4 (no IPv4 header), as their rows.
    EXPECT_EQ(ProtocolTexts(stats),
              (std::vector<std::string>{"IPv4-TCP 3 309 27.3", "ARP 2 105 18.2", "IPv4 2 213 18.2",
                                        " 1 107 9.1", "34525 1 106 9.1", "IPv4-ICMP 1 103 9.1",
                                        "IPv4-UDP 1 102 9.1"}));
    EXPECT_EQ(stats.GetPacketCount(), 11u);
    EXPECT_EQ(stats.GetByteCount(), 1045u);
}

TEST(TrafficStatistics, SecondsTakePacketsOutOfTimeOrderAndKeepTheLowestNumber) {
    CTrafficStatistics stats;
    const struct {
        int number;
        CPacketTime time;
        int length;
    } packets[] = {
        {1, At(1000, 900'000'000), 60},
        {2, At(1000, 100), 70},
        {3, At(1002), 80},
        {4, At(999, 5), 90},
        {5, At(1000), 100},
        {6, At(1002, 1), 110},
    };
    for (const auto& p : packets) {
        stats.Add(p.number, p.time, p.length, kArp);
    }
    EXPECT_EQ(stats.GetSeconds(),
              (std::vector<CTimeBucket>{{999, 1, 90, 4}, {1000, 3, 230, 1}, {1002, 2, 190, 3}}));
    stats.Add(0, At(1002), 1, kArp);  // numbers are taken as given
    EXPECT_EQ(stats.GetSeconds().back(), (CTimeBucket{1002, 3, 191, 0}));
}

TEST(TrafficStatistics, SeriesMergesSecondsIntoEqualSpansWithinThePointLimit) {
    const struct {
        const char* name;
        std::vector<std::int64_t> seconds;  // one 10-byte packet each, numbered from 1
        std::size_t maxPoints;
        std::int64_t span;
        std::vector<CTimeBucket> points;
    } cases[] = {
        {"OneSecond", {50, 50}, 2000, 1, {{50, 2, 20, 1}}},
        {"EverySecondWithQuietOnesIncluded",
         {10, 13},
         2000,
         1,
         {{10, 1, 10, 1}, {11, 0, 0, 0}, {12, 0, 0, 0}, {13, 1, 10, 2}}},
        {"ExactlyTheLimit", {0, 3}, 4, 1, {{0, 1, 10, 1}, {1}, {2}, {3, 1, 10, 2}}},
        {"OneOverTheLimit", {0, 4}, 4, 2, {{0, 1, 10, 1}, {2}, {4, 1, 10, 2}}},
        {"LowestNumberOfTheSpan",
         {7, 5, 6, 100},
         10,
         10,
         {{5, 3, 30, 1}, {15}, {25}, {35}, {45}, {55}, {65}, {75}, {85}, {95, 1, 10, 4}}},
        {"ALimitOfZeroMeansOne", {-3, 8}, 0, 12, {{-3, 2, 20, 1}}},
        {"NegativeSeconds", {-1, -3}, 2, 2, {{-3, 1, 10, 2}, {-1, 1, 10, 1}}},
        {"NoPackets", {}, 10, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTrafficStatistics stats;
        int number = 0;
        for (const std::int64_t second : c.seconds) {
            stats.Add(++number, At(second), 10, kArp);
        }
        const CTrafficSeries series = stats.GetSeries(c.maxPoints);
        EXPECT_EQ(series.spanSeconds, c.span);
        EXPECT_EQ(series.points, c.points);
    }
}

TEST(TrafficStatistics, DefaultSeriesOfADayHasAtMostTwoThousandPoints) {
    CTrafficStatistics stats;
    for (int second = 0; second < 86400; second += 7) {
        stats.Add(second + 1, At(1'700'000'000 + second), 60, kArp);
    }
    const CTrafficSeries series = stats.GetSeries();
    EXPECT_EQ(series.spanSeconds, 44);  // 43 would need 2010 points
    EXPECT_EQ(series.points.size(), 1964u);
    std::uint64_t packets = 0;
    for (const CTimeBucket& point : series.points) {
        packets += point.packets;
    }
    EXPECT_EQ(packets, stats.GetPacketCount());
}

TEST(TrafficStatistics, AConversationIsBothDirectionsOfOnePairAndProtocol) {
    const Ip low{10, 0, 0, 2};
    const Ip high{192, 168, 0, 1};
    CTrafficStatistics stats;
    const struct {
        Frame frame;
        int length;
    } packets[] = {
        {Between(6, high, low, 51000, 80), 100},  // from B: the lower address is A
        {Between(6, low, high, 80, 51000), 60},
        {Between(6, high, low, 51000, 80), 100},
        {Between(6, high, low, 51001, 80), 1000},  // another port pair
        {Between(17, low, high, 80, 51000), 70},   // the same ports over UDP
        {Between(1, high, low), 84},               // ICMP: no ports
        {Between(1, low, high), 84},
        {Between(2, low, high), 46},                 // another protocol, by its name
        {Between(47, low, high), 45},                // one without a name: by its number
        {Between(6, low, low, 9, 7), 1},             // same address: the lower port is A
        {Between(17, low, low, 5, 5), 2},            // to itself: A to B
        {Cut(Between(6, low, high, 1, 2), 53), 53},  // no ports shown: no conversation
        {kArp, 60},
    };
    int number = 0;
    for (const auto& p : packets) {
        ++number;
        stats.Add(number, At(number), p.length, p.frame);
    }
    EXPECT_EQ(ConversationTexts(stats), (std::vector<std::string>{
                                            "10.0.0.2/80 192.168.0.1/51001 TCP 0/0 1/1000",
                                            "10.0.0.2/80 192.168.0.1/51000 TCP 1/60 2/200",
                                            "10.0.0.2/0 192.168.0.1/0 ICMP 1/84 1/84",
                                            "10.0.0.2/80 192.168.0.1/51000 UDP 1/70 0/0",
                                            "10.0.0.2/0 192.168.0.1/0 IGMP 1/46 0/0",
                                            "10.0.0.2/0 192.168.0.1/0 47 1/45 0/0",
                                            "10.0.0.2/5 10.0.0.2/5 UDP 1/2 0/0",
                                            "10.0.0.2/7 10.0.0.2/9 TCP 0/0 1/1",
                                        }));
    const std::vector<CConversationRow> rows = stats.GetConversations();
    EXPECT_TRUE(rows[1].bPorts);
    EXPECT_EQ(rows[1].ipProtocol, 6);
    EXPECT_EQ(rows[1].first, At(1));
    EXPECT_EQ(rows[1].last, At(3));
    EXPECT_DOUBLE_EQ(rows[1].DurationSeconds(), 2.0);
    EXPECT_FALSE(rows[2].bPorts);
    EXPECT_EQ(rows[4].ipProtocol, 2);
    // Picking a conversation's packets out of the list finds exactly those it counted.
    for (const CConversationRow& row : rows) {
        std::uint64_t found = 0;
        for (const auto& p : packets) {
            found += CTrafficStatistics::InConversation(row, p.frame) ? 1 : 0;
        }
        EXPECT_EQ(found, row.Packets()) << row.protocol;
    }
}

TEST(TrafficStatistics, ConversationTimesSpanTheEarliestToTheLatestPacket) {
    CTrafficStatistics stats;
    const Frame frame = UdpFrame(1, 2);
    stats.Add(1, At(20, 500'000'000), 60, frame);
    stats.Add(2, At(19, 750'000'000), 60, frame);
    stats.Add(3, At(21, 250'000'000), 60, frame);
    stats.Add(4, At(20), 60, frame);
    const CConversationRow row = stats.GetConversations().at(0);
    EXPECT_EQ(row.first, At(19, 750'000'000));
    EXPECT_EQ(row.last, At(21, 250'000'000));
    EXPECT_DOUBLE_EQ(row.DurationSeconds(), 1.5);
}

TEST(TrafficStatistics, EndpointsCountWhatEachAddressSendsAndReceives) {
    const Ip a{10, 0, 0, 1};
    const Ip b{10, 0, 0, 2};
    const Ip c{10, 0, 0, 3};
    CTrafficStatistics stats;
    stats.Add(1, At(0), 100, Between(6, a, b, 1, 2));
    stats.Add(2, At(0), 200, Between(17, b, a, 3, 4));
    stats.Add(3, At(0), 50, Between(1, c, a));
    stats.Add(4, At(0), 10, Between(6, c, c, 5, 6));  // sent and received by c
    stats.Add(5, At(0), 40, Between(2, b, c));
    stats.Add(6, At(0), 1000, Cut(Between(17, a, b, 1, 2), 41));  // no ports shown: not counted
    stats.Add(7, At(0), 300, Between(1, Ip{10, 0, 0, 9}, Ip{10, 0, 0, 8}));
    EXPECT_EQ(EndpointTexts(stats),
              (std::vector<std::string>{"10.0.0.1 1/100 2/250", "10.0.0.2 2/240 1/100",
                                        "10.0.0.8 0/0 1/300", "10.0.0.9 1/300 0/0",
                                        "10.0.0.3 2/60 2/50"}));
}

// Equal counts order by text or address, so the order does not depend on the order of arrival.
TEST(TrafficStatistics, TiesOrderByTextAndAddress) {
    CTrafficStatistics stats;
    stats.Add(1, At(0), 10, EtherFrame(0x9000));
    stats.Add(2, At(0), 10, EtherFrame(0x1234));
    stats.Add(3, At(0), 10, Between(17, Ip{10, 0, 0, 9}, Ip{10, 0, 0, 1}, 7, 7));
    stats.Add(4, At(0), 10, Between(17, Ip{10, 0, 0, 3}, Ip{10, 0, 0, 4}, 7, 7));
    stats.Add(5, At(0), 10, Between(6, Ip{10, 0, 0, 3}, Ip{10, 0, 0, 4}, 7, 7));
    EXPECT_EQ(ProtocolTexts(stats),
              (std::vector<std::string>{"IPv4-UDP 2 20 40.0", "36864 1 10 20.0", "4660 1 10 20.0",
                                        "IPv4-TCP 1 10 20.0"}));
    EXPECT_EQ(ConversationTexts(stats), (std::vector<std::string>{
                                            "10.0.0.1/7 10.0.0.9/7 UDP 0/0 1/10",
                                            "10.0.0.3/7 10.0.0.4/7 TCP 1/10 0/0",
                                            "10.0.0.3/7 10.0.0.4/7 UDP 1/10 0/0",
                                        }));
    EXPECT_EQ(EndpointTexts(stats),
              (std::vector<std::string>{"10.0.0.3 2/20 0/0", "10.0.0.4 0/0 2/20",
                                        "10.0.0.1 0/0 1/10", "10.0.0.9 1/10 0/0"}));
}

struct CPacket {
    int number;
    CPacketTime time;
    int length;
    Frame frame;
};

// A few hundred packets of every kind among a handful of hosts, times a little out of order.
std::vector<CPacket> MixedPackets() {
    std::mt19937 random(7);
    const auto pick = [&](unsigned count) { return static_cast<unsigned>(random() % count); };
    std::vector<CPacket> packets;
    for (int number = 1; number <= 600; ++number) {
        const Ip source{10, 0, 0, static_cast<std::uint8_t>(pick(5))};
        const Ip destination{10, 0, 0, static_cast<std::uint8_t>(pick(5))};
        const auto port = static_cast<std::uint16_t>(pick(4));
        const std::uint8_t protocols[] = {6, 17, 1, 2};
        Frame frame;
        switch (pick(6)) {
            case 0:
                frame = kArp;
                break;
            case 1:
                frame = EtherFrame(static_cast<std::uint16_t>(0x9000 + pick(3)));
                break;
            default:
                frame = Between(protocols[pick(4)], source, destination, port, 80);
                break;
        }
        const CPacketTime time =
            At(5000 + number / 40 - static_cast<int>(pick(3)), pick(1'000'000'000));
        packets.push_back({number, time, 60 + static_cast<int>(pick(1400)), std::move(frame)});
    }
    return packets;
}

void ExpectSameCounts(const CTrafficStatistics& a, const CTrafficStatistics& b) {
    EXPECT_EQ(a.GetPacketCount(), b.GetPacketCount());
    EXPECT_EQ(a.GetByteCount(), b.GetByteCount());
    EXPECT_EQ(a.GetProtocols(), b.GetProtocols());
    EXPECT_EQ(a.GetSeconds(), b.GetSeconds());
    EXPECT_EQ(a.GetSeries(7), b.GetSeries(7));
    EXPECT_EQ(a.GetConversations(), b.GetConversations());
    EXPECT_EQ(a.GetEndpoints(), b.GetEndpoints());
}

TEST(TrafficStatistics, AddingAsPacketsComeEqualsCountingThemAllAgain) {
    std::vector<CPacket> packets = MixedPackets();
    CTrafficStatistics growing;
    // A window's copy kept up to date from the changes alone.
    std::vector<CConversationRow> conversations;
    std::vector<CEndpointRow> endpoints;
    std::map<std::int64_t, CTimeBucket> seconds;
    CTrafficSeries chart;
    const auto follow = [&] {
        const CTrafficStatistics::CChanges changes = growing.TakeChanges();
        conversations.resize(growing.GetConversationCount());
        for (const std::uint32_t index : changes.conversations) {
            conversations[index] = growing.GetConversation(index);
        }
        endpoints.resize(growing.GetEndpointCount());
        for (const std::uint32_t index : changes.endpoints) {
            endpoints[index] = growing.GetEndpoint(index);
        }
        if (changes.earliestSecond) {
            seconds.erase(seconds.lower_bound(*changes.earliestSecond), seconds.end());
            for (const CTimeBucket& bucket : growing.GetSeconds(*changes.earliestSecond)) {
                seconds[bucket.second] = bucket;
            }
            // A chart redraws from the changed point on while its spans stay as they were.
            const CTrafficSeries tail = growing.GetSeries(7, *changes.earliestSecond);
            const std::int64_t origin =
                tail.points.front().second -
                static_cast<std::int64_t>(tail.firstPoint) * tail.spanSeconds;
            if (chart.points.empty() || tail.spanSeconds != chart.spanSeconds ||
                origin != chart.points.front().second) {
                chart = growing.GetSeries(7);
            } else {
                chart.points.resize(tail.firstPoint);
                chart.points.insert(chart.points.end(), tail.points.begin(), tail.points.end());
            }
        }
    };
    // Asked for its rows between additions, as a window refreshing during a capture asks.
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const CPacket& p = packets[i];
        growing.Add(p.number, p.time, p.length, p.frame);
        if (i % 97 == 0) {
            EXPECT_FALSE(growing.GetProtocols().empty());
            EXPECT_FALSE(growing.GetSeries(5).points.empty());
            EXPECT_FALSE(growing.GetEndpoints().empty());
            follow();
        }
    }
    follow();
    for (std::size_t i = 0; i < conversations.size(); ++i) {
        EXPECT_EQ(conversations[i], growing.GetConversation(i)) << i;
    }
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        EXPECT_EQ(endpoints[i], growing.GetEndpoint(i)) << i;
    }
    std::vector<CTimeBucket> followed;
    for (const auto& [second, bucket] : seconds) {
        followed.push_back(bucket);
    }
    EXPECT_EQ(followed, growing.GetSeconds());
    EXPECT_EQ(chart, growing.GetSeries(7));
    CTrafficStatistics rebuilt;
    rebuilt.Add(1, At(1), 1, TcpFrame(1, 2));  // left over from before the Clear
    rebuilt.Clear();
    std::shuffle(packets.begin(), packets.end(), std::mt19937(3));
    for (const CPacket& p : packets) {
        rebuilt.Add(p.number, p.time, p.length, p.frame);
    }
    ExpectSameCounts(growing, rebuilt);
    ASSERT_GT(growing.GetConversations().size(), 20u);
    ASSERT_GT(growing.GetSeconds().size(), 10u);
}

TEST(TrafficStatistics, ClearLeavesNothingCounted) {
    CTrafficStatistics stats;
    stats.Add(1, At(5), 60, TcpFrame(1, 2));
    stats.Clear();
    EXPECT_EQ(stats.GetPacketCount(), 0u);
    EXPECT_EQ(stats.GetByteCount(), 0u);
    EXPECT_TRUE(stats.GetProtocols().empty());
    EXPECT_TRUE(stats.GetSeconds().empty());
    EXPECT_TRUE(stats.GetSeries().points.empty());
    EXPECT_TRUE(stats.GetConversations().empty());
    EXPECT_TRUE(stats.GetEndpoints().empty());
    // The second of the packet before the Clear is not reused.
    stats.Add(2, At(5), 70, TcpFrame(1, 2));
    EXPECT_EQ(stats.GetSeconds(), (std::vector<CTimeBucket>{{5, 1, 70, 2}}));
}

}  // namespace
}  // namespace wirelark
