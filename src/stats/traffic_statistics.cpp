// The counters behind the statistics: flat indexes from a packet's type, conversation and
// addresses to rows kept in vectors, and the seconds in a map; rows are sorted only when asked for.
#include "stats/traffic_statistics.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>

#include "decode/packet_row.h"
#include "decode/protocol_names.h"

namespace wirelark {

namespace {

// As CPacketObj::SetTimestamp holds times, so that the seconds of two packets always subtract.
constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int64_t>::max() / 1'000'000'000 - 1;

std::uint32_t AddressNumber(const Ipv4Address& address) {
    return (std::uint32_t{address[0]} << 24) | (std::uint32_t{address[1]} << 16) |
           (std::uint32_t{address[2]} << 8) | std::uint32_t{address[3]};
}

Ipv4Address AddressBytes(std::uint32_t number) {
    return {static_cast<std::uint8_t>(number >> 24), static_cast<std::uint8_t>(number >> 16),
            static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
}

std::uint64_t Endpoint(const Ipv4Address& address, std::uint16_t port) {
    return (std::uint64_t{AddressNumber(address)} << 16) | port;
}

bool Earlier(const CPacketTime& a, const CPacketTime& b) {
    return std::tie(a.seconds, a.nanoseconds) < std::tie(b.seconds, b.nanoseconds);
}

// Spreads the bits of a key, so that addresses differing only in their last byte do not crowd
// together in the tables.
std::size_t Mix(std::uint64_t value) {
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDull;
    value ^= value >> 33;
    return static_cast<std::size_t>(value);
}

}  // namespace

double CConversationRow::DurationSeconds() const {
    const auto nanoseconds =
        static_cast<std::int64_t>(last.nanoseconds) - static_cast<std::int64_t>(first.nanoseconds);
    return static_cast<double>(last.seconds - first.seconds) +
           static_cast<double>(nanoseconds) * 1e-9;
}

std::size_t CTrafficStatistics::CConversationKeyHash::operator()(
    const CConversationKey& key) const {
    return Mix(key.endpointA * 0x9E3779B97F4A7C15ull ^ (key.endpointB << 8 | key.ipProtocol));
}

std::size_t CTrafficStatistics::CNumberHash::operator()(std::uint32_t number) const {
    return Mix(number);
}

void CTrafficStatistics::Add(int number, const CPacketTime& time, int wireLength,
                             std::span<const std::uint8_t> frame) {
    const auto bytes = static_cast<std::uint64_t>(std::max(wireLength, 0));
    const CPacketTime held{std::clamp(time.seconds, -kMaxSeconds, kMaxSeconds),
                           std::min(time.nanoseconds, 999'999'999u)};
    const CFrameReader reader(frame);
    const CFrameLayout layout = DecodeFrameLayout(reader);
    const std::uint32_t typeIndex = TypeIndex(layout);  // may add a row to m_typeCounts

    ++m_packets;
    m_bytes += bytes;
    m_typeCounts[typeIndex].Add(bytes);
    CountSecond(number, held.seconds, bytes);
    if (HasIpColumns(layout)) {
        CountConversation(reader, layout, held, bytes);
    }
}

void CTrafficStatistics::Clear() {
    m_packets = 0;
    m_bytes = 0;
    m_typeByKey.Clear();
    m_typeByText.clear();
    m_typeTexts.clear();
    m_typeCounts.clear();
    m_seconds.clear();
    m_pLastSecond = nullptr;
    m_conversationIndex.Clear();
    m_conversations.clear();
    m_endpointIndex.Clear();
    m_endpoints.clear();
    m_changes = {};
}

std::uint32_t CTrafficStatistics::TypeIndex(const CFrameLayout& layout) {
    const std::uint32_t key = TypeTextKey(layout);
    if (const std::optional<std::uint32_t> known = m_typeByKey.Find(key)) {
        return *known;
    }
    std::string text;
    AppendTypeText(text, layout);
    const auto [byText, bNewText] =
        m_typeByText.try_emplace(text, static_cast<std::uint32_t>(m_typeTexts.size()));
    if (bNewText) {
        m_typeTexts.push_back(std::move(text));
        m_typeCounts.emplace_back();
    }
    m_typeByKey.Insert(key, byText->second);
    return byText->second;
}

void CTrafficStatistics::CountSecond(int number, std::int64_t second, std::uint64_t bytes) {
    if (m_pLastSecond == nullptr || second != m_lastSecond) {
        const auto [found, bNew] = m_seconds.try_emplace(second);
        if (bNew) {
            found->second.firstNumber = number;
        }
        m_lastSecond = second;
        m_pLastSecond = &found->second;
    }
    m_pLastSecond->count.Add(bytes);
    m_pLastSecond->firstNumber = std::min(m_pLastSecond->firstNumber, number);
    if (!m_changes.earliestSecond || second < *m_changes.earliestSecond) {
        m_changes.earliestSecond = second;
    }
}

void CTrafficStatistics::CountConversation(const CFrameReader& reader, const CFrameLayout& layout,
                                           const CPacketTime& time, std::uint64_t bytes) {
    const CIpColumns ip = ReadIpColumns(reader, layout);
    const std::uint64_t source = Endpoint(ip.source, ip.sourcePort);
    const std::uint64_t destination = Endpoint(ip.destination, ip.destinationPort);
    const bool bForward = source <= destination;
    const CConversationKey key{bForward ? source : destination, bForward ? destination : source,
                               layout.ipProtocol};
    const auto [index, bNew] =
        m_conversationIndex.Insert(key, static_cast<std::uint32_t>(m_conversations.size()));
    if (bNew) {
        m_conversations.push_back({key, {}, {}, time, time});
    }
    CConversation& conversation = m_conversations[index];
    if (!conversation.bChanged) {
        conversation.bChanged = true;
        m_changes.conversations.push_back(index);
    }
    (bForward ? conversation.aToB : conversation.bToA).Add(bytes);
    if (Earlier(time, conversation.first)) {
        conversation.first = time;
    }
    if (Earlier(conversation.last, time)) {
        conversation.last = time;
    }

    FindEndpoint(static_cast<std::uint32_t>(source >> 16)).sent.Add(bytes);
    FindEndpoint(static_cast<std::uint32_t>(destination >> 16)).received.Add(bytes);
}

bool CTrafficStatistics::InConversation(const CConversationRow& conversation,
                                        std::span<const std::uint8_t> frame) {
    const CFrameReader reader(frame);
    const CFrameLayout layout = DecodeFrameLayout(reader);
    if (!HasIpColumns(layout) || layout.ipProtocol != conversation.ipProtocol) {
        return false;
    }
    const CIpColumns ip = ReadIpColumns(reader, layout);
    const std::uint64_t source = Endpoint(ip.source, ip.sourcePort);
    const std::uint64_t destination = Endpoint(ip.destination, ip.destinationPort);
    const std::uint64_t a = Endpoint(conversation.addressA, conversation.portA);
    const std::uint64_t b = Endpoint(conversation.addressB, conversation.portB);
    return (source == a && destination == b) || (source == b && destination == a);
}

CTrafficStatistics::CEndpoint& CTrafficStatistics::FindEndpoint(std::uint32_t address) {
    const auto [index, bNew] =
        m_endpointIndex.Insert(address, static_cast<std::uint32_t>(m_endpoints.size()));
    if (bNew) {
        m_endpoints.push_back({address, {}, {}});
    }
    CEndpoint& endpoint = m_endpoints[index];
    if (!endpoint.bChanged) {
        endpoint.bChanged = true;
        m_changes.endpoints.push_back(index);
    }
    return endpoint;
}

std::vector<CProtocolRow> CTrafficStatistics::GetProtocols() const {
    std::vector<CProtocolRow> rows;
    rows.reserve(m_typeTexts.size());
    for (std::size_t i = 0; i < m_typeTexts.size(); ++i) {
        rows.push_back(GetProtocol(i));
    }
    std::sort(rows.begin(), rows.end(), [](const CProtocolRow& a, const CProtocolRow& b) {
        return a.packets != b.packets ? a.packets > b.packets : a.type < b.type;
    });
    return rows;
}

std::vector<CTimeBucket> CTrafficStatistics::GetSeconds() const {
    return GetSeconds(std::numeric_limits<std::int64_t>::min());
}

CTrafficSeries CTrafficStatistics::GetSeries(std::size_t maxPoints) const {
    return GetSeries(maxPoints, std::numeric_limits<std::int64_t>::min());
}

CTrafficSeries CTrafficStatistics::GetSeries(std::size_t maxPoints, std::int64_t fromSecond) const {
    CTrafficSeries series;
    if (m_seconds.empty()) {
        return series;
    }
    const std::int64_t first = m_seconds.begin()->first;
    const auto lastOffset = static_cast<std::uint64_t>(m_seconds.rbegin()->first - first);
    const std::uint64_t points = std::max<std::size_t>(maxPoints, 1);
    // The shortest span for which offset / span stays below `points`.
    const std::uint64_t span = lastOffset / points + 1;
    const std::uint64_t count = lastOffset / span + 1;
    const std::uint64_t from =
        fromSecond <= first
            ? 0
            : std::min(static_cast<std::uint64_t>(fromSecond - first) / span, count - 1);
    series.spanSeconds = static_cast<std::int64_t>(span);
    series.firstPoint = static_cast<std::size_t>(from);
    series.points.resize(static_cast<std::size_t>(count - from));
    for (std::size_t i = 0; i < series.points.size(); ++i) {
        series.points[i].second = first + static_cast<std::int64_t>((from + i) * span);
    }
    for (auto it = m_seconds.lower_bound(series.points.front().second); it != m_seconds.end();
         ++it) {
        const auto& [second, bucket] = *it;
        CTimeBucket& point = series.points[static_cast<std::size_t>(
            static_cast<std::uint64_t>(second - first) / span - from)];
        point.firstNumber = point.packets == 0 ? bucket.firstNumber
                                               : std::min(point.firstNumber, bucket.firstNumber);
        point.packets += bucket.count.packets;
        point.bytes += bucket.count.bytes;
    }
    return series;
}

std::vector<CConversationRow> CTrafficStatistics::GetConversations() const {
    std::vector<const CConversation*> order;
    order.reserve(m_conversations.size());
    for (const CConversation& conversation : m_conversations) {
        order.push_back(&conversation);
    }
    const auto bytesOf = [](const CConversation* c) { return c->aToB.bytes + c->bToA.bytes; };
    std::sort(order.begin(), order.end(), [&](const CConversation* a, const CConversation* b) {
        const std::uint64_t bytesA = bytesOf(a);
        const std::uint64_t bytesB = bytesOf(b);
        if (bytesA != bytesB) {
            return bytesA > bytesB;
        }
        return std::tie(a->key.endpointA, a->key.endpointB, a->key.ipProtocol) <
               std::tie(b->key.endpointA, b->key.endpointB, b->key.ipProtocol);
    });

    std::vector<CConversationRow> rows;
    rows.reserve(order.size());
    for (const CConversation* c : order) {
        rows.push_back(MakeRow(*c));
    }
    return rows;
}

CConversationRow CTrafficStatistics::MakeRow(const CConversation& c) const {
    CConversationRow row;
    row.addressA = AddressBytes(static_cast<std::uint32_t>(c.key.endpointA >> 16));
    row.portA = static_cast<std::uint16_t>(c.key.endpointA);
    row.addressB = AddressBytes(static_cast<std::uint32_t>(c.key.endpointB >> 16));
    row.portB = static_cast<std::uint16_t>(c.key.endpointB);
    row.ipProtocol = c.key.ipProtocol;
    row.bPorts = row.ipProtocol == kIpProtocolTcp || row.ipProtocol == kIpProtocolUdp;
    // By its own number, not by the Type text, which calls every protocol without a name "IPv4".
    const std::optional<std::string_view> name = FindIpProtocolName(row.ipProtocol);
    row.protocol = name ? std::string(*name) : std::to_string(row.ipProtocol);
    row.packetsAToB = c.aToB.packets;
    row.bytesAToB = c.aToB.bytes;
    row.packetsBToA = c.bToA.packets;
    row.bytesBToA = c.bToA.bytes;
    row.first = c.first;
    row.last = c.last;
    return row;
}

CProtocolRow CTrafficStatistics::GetProtocol(std::size_t index) const {
    const CCount& count = m_typeCounts[index];
    return {m_typeTexts[index], count.packets, count.bytes,
            100.0 * static_cast<double>(count.packets) /
                static_cast<double>(std::max<std::uint64_t>(m_packets, 1))};
}

CConversationRow CTrafficStatistics::GetConversation(std::size_t index) const {
    return MakeRow(m_conversations[index]);
}

CEndpointRow CTrafficStatistics::GetEndpoint(std::size_t index) const {
    const CEndpoint& endpoint = m_endpoints[index];
    return {AddressBytes(endpoint.address), endpoint.sent.packets, endpoint.sent.bytes,
            endpoint.received.packets, endpoint.received.bytes};
}

CTrafficStatistics::CChanges CTrafficStatistics::TakeChanges() {
    CChanges changes = std::exchange(m_changes, {});
    for (const std::uint32_t index : changes.conversations) {
        m_conversations[index].bChanged = false;
    }
    for (const std::uint32_t index : changes.endpoints) {
        m_endpoints[index].bChanged = false;
    }
    std::sort(changes.conversations.begin(), changes.conversations.end());
    std::sort(changes.endpoints.begin(), changes.endpoints.end());
    return changes;
}

std::vector<CTimeBucket> CTrafficStatistics::GetSeconds(std::int64_t from) const {
    std::vector<CTimeBucket> buckets;
    for (auto it = m_seconds.lower_bound(from); it != m_seconds.end(); ++it) {
        buckets.push_back(
            {it->first, it->second.count.packets, it->second.count.bytes, it->second.firstNumber});
    }
    return buckets;
}

std::vector<CEndpointRow> CTrafficStatistics::GetEndpoints() const {
    std::vector<CEndpointRow> rows;
    rows.reserve(m_endpoints.size());
    for (const CEndpoint& endpoint : m_endpoints) {
        rows.push_back({AddressBytes(endpoint.address), endpoint.sent.packets, endpoint.sent.bytes,
                        endpoint.received.packets, endpoint.received.bytes});
    }
    std::sort(rows.begin(), rows.end(), [](const CEndpointRow& a, const CEndpointRow& b) {
        return a.Bytes() != b.Bytes() ? a.Bytes() > b.Bytes() : a.address < b.address;
    });
    return rows;
}

}  // namespace wirelark
