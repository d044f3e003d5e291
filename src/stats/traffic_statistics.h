// What is going on on the wire, counted packet by packet as a document grows: packets and bytes
// per Type text, per second, per IPv4 conversation and per IPv4 address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "decode/frame_layout.h"
#include "decode/frame_reader.h"
#include "stats/flat_index.h"
#include "store/time_text.h"

namespace wirelark {

// Bytes are wire lengths, the list's Len, throughout.
struct CProtocolRow {
    std::string type;  // the Type column's text
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;
    double percent = 0;  // of all packets

    friend bool operator==(const CProtocolRow&, const CProtocolRow&) = default;
};

// The packets of one second, or of a series point's span of seconds.
struct CTimeBucket {
    std::int64_t second = 0;  // seconds since the epoch (UTC); for a span, its first
    std::uint64_t packets = 0;
    std::uint64_t bytes = 0;
    int firstNumber = 0;  // the lowest packet number within; only where packets is not 0

    friend bool operator==(const CTimeBucket&, const CTimeBucket&) = default;
};

// Every span of spanSeconds from the first second with packets to the last, empty ones
// included, so that a chart shows the quiet times.
struct CTrafficSeries {
    std::int64_t spanSeconds = 1;
    std::size_t firstPoint = 0;  // the index of points[0] in the whole series
    std::vector<CTimeBucket> points;

    friend bool operator==(const CTrafficSeries&, const CTrafficSeries&) = default;
};

// The packets between two IPv4 endpoints (address and port, ports 0 without TCP or UDP) with
// one IPv4 protocol, in either direction; A is the lower endpoint, the address first.
struct CConversationRow {
    Ipv4Address addressA{};
    std::uint16_t portA = 0;
    Ipv4Address addressB{};
    std::uint16_t portB = 0;
    std::uint8_t ipProtocol = 0;
    bool bPorts = false;   // TCP or UDP
    std::string protocol;  // the IPv4 protocol's name ("TCP", "ICMP"…), else its number
    std::uint64_t packetsAToB = 0;
    std::uint64_t bytesAToB = 0;
    std::uint64_t packetsBToA = 0;
    std::uint64_t bytesBToA = 0;
    CPacketTime first;
    CPacketTime last;

    std::uint64_t Packets() const { return packetsAToB + packetsBToA; }
    std::uint64_t Bytes() const { return bytesAToB + bytesBToA; }
    double DurationSeconds() const;

    friend bool operator==(const CConversationRow&, const CConversationRow&) = default;
};

// One IPv4 address; a packet it sends to itself counts as sent and as received.
struct CEndpointRow {
    Ipv4Address address{};
    std::uint64_t packetsSent = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t packetsReceived = 0;
    std::uint64_t bytesReceived = 0;

    std::uint64_t Packets() const { return packetsSent + packetsReceived; }
    std::uint64_t Bytes() const { return bytesSent + bytesReceived; }

    friend bool operator==(const CEndpointRow&, const CEndpointRow&) = default;
};

// Counts with the decoding of the packet list's rows: a packet's type is its Type text, and a
// packet takes part in conversations and endpoints exactly when its row shows IP Source/Port,
// with those addresses and ports. Adding a packet costs about the same however many are counted
// already, so a growing document adds only its new packets; counting again is Clear and Add.
class CTrafficStatistics {
public:
    static constexpr std::size_t kDefaultSeriesPoints = 2000;

    CTrafficStatistics() = default;
    // Neither copied nor moved: it keeps a pointer into its own buckets.
    CTrafficStatistics(const CTrafficStatistics&) = delete;
    CTrafficStatistics& operator=(const CTrafficStatistics&) = delete;

    // One packet: its number, capture time, wire length (below 0 counts as 0) and captured
    // bytes. Times beyond about 290 years from 1970 count at that limit, as records hold them.
    void Add(int number, const CPacketTime& time, int wireLength,
             std::span<const std::uint8_t> frame);
    void Clear();

    std::uint64_t GetPacketCount() const { return m_packets; }
    std::uint64_t GetByteCount() const { return m_bytes; }
    // Most packets first, ties by type text.
    std::vector<CProtocolRow> GetProtocols() const;
    // The seconds that have packets, in time order.
    std::vector<CTimeBucket> GetSeconds() const;
    // The seconds merged into equal spans of whole seconds, starting at the first second, the
    // shortest span that needs at most maxPoints points (1 at the least).
    CTrafficSeries GetSeries(std::size_t maxPoints = kDefaultSeriesPoints) const;
    // Its points from the one holding `fromSecond` to the end, for a chart that redraws only
    // what new packets changed.
    CTrafficSeries GetSeries(std::size_t maxPoints, std::int64_t fromSecond) const;
    // Most bytes first, ties by address A, port A, address B, port B and IPv4 protocol.
    std::vector<CConversationRow> GetConversations() const;
    // Most bytes first, ties by address.
    std::vector<CEndpointRow> GetEndpoints() const;
    // Types, conversations and endpoints by the order they first appeared, which never
    // changes, for a view that updates only what new packets touched.
    std::size_t GetTypeCount() const { return m_typeTexts.size(); }
    CProtocolRow GetProtocol(std::size_t index) const;
    std::size_t GetConversationCount() const { return m_conversations.size(); }
    CConversationRow GetConversation(std::size_t index) const;
    std::size_t GetEndpointCount() const { return m_endpoints.size(); }
    CEndpointRow GetEndpoint(std::size_t index) const;
    // What the packets added since the last call (or Clear) touched: conversations and
    // endpoints by the index above, each once and in ascending order, and the earliest second.
    struct CChanges {
        std::vector<std::uint32_t> conversations;
        std::vector<std::uint32_t> endpoints;
        std::optional<std::int64_t> earliestSecond;
    };
    CChanges TakeChanges();
    // The seconds from `from` on that have packets, in time order.
    std::vector<CTimeBucket> GetSeconds(std::int64_t from) const;

    // Whether a frame is one of the conversation's packets, in either direction.
    static bool InConversation(const CConversationRow& conversation,
                               std::span<const std::uint8_t> frame);

private:
    struct CCount {
        std::uint64_t packets = 0;
        std::uint64_t bytes = 0;

        void Add(std::uint64_t size) {
            ++packets;
            bytes += size;
        }
    };
    struct CSecond {
        CCount count;
        int firstNumber = 0;
    };
    // Both endpoints as 48-bit numbers (address above port), the lower one first, and the
    // protocol: compact, and ordered as the rows are.
    struct CConversationKey {
        std::uint64_t endpointA = 0;
        std::uint64_t endpointB = 0;
        std::uint8_t ipProtocol = 0;

        friend bool operator==(const CConversationKey&, const CConversationKey&) = default;
    };
    struct CConversationKeyHash {
        std::size_t operator()(const CConversationKey& key) const;
    };
    struct CNumberHash {
        std::size_t operator()(std::uint32_t number) const;
    };
    struct CConversation {
        CConversationKey key;
        CCount aToB;
        CCount bToA;
        CPacketTime first;
        CPacketTime last;
        bool bChanged = false;  // listed in m_changes since the last TakeChanges
    };
    struct CEndpoint {
        std::uint32_t address = 0;
        CCount sent;
        CCount received;
        bool bChanged = false;
    };

    // The index of the Type text of a frame with this layout, made on its first sight.
    std::uint32_t TypeIndex(const CFrameLayout& layout);
    void CountSecond(int number, std::int64_t second, std::uint64_t bytes);
    void CountConversation(const CFrameReader& reader, const CFrameLayout& layout,
                           const CPacketTime& time, std::uint64_t bytes);
    // The endpoint of an address, noted as changed.
    CEndpoint& FindEndpoint(std::uint32_t address);
    CConversationRow MakeRow(const CConversation& conversation) const;

    std::uint64_t m_packets = 0;
    std::uint64_t m_bytes = 0;

    // Frames of different keys can share a text; they share its row too.
    CFlatIndex<std::uint32_t, CNumberHash> m_typeByKey;
    std::unordered_map<std::string, std::uint32_t> m_typeByText;
    std::vector<std::string> m_typeTexts;
    std::vector<CCount> m_typeCounts;

    // A map rather than a vector over the time range, so that a stray timestamp years away
    // costs one entry, not a bucket for every second between.
    std::map<std::int64_t, CSecond> m_seconds;
    // Packets come mostly in time order: most find the second of the packet before.
    std::int64_t m_lastSecond = 0;
    CSecond* m_pLastSecond = nullptr;

    CFlatIndex<CConversationKey, CConversationKeyHash> m_conversationIndex;
    std::vector<CConversation> m_conversations;
    CFlatIndex<std::uint32_t, CNumberHash> m_endpointIndex;
    std::vector<CEndpoint> m_endpoints;
    CChanges m_changes;
};

}  // namespace wirelark
