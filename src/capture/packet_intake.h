// The rules of the packet intake that need no window: the buffer limit, the protocol and port
// filters over the ten filter flags, and the counters.
#pragma once

#include <cstdint>
#include <span>

namespace wirelark {

inline constexpr char kBufferFullMessage[] = "Space in memory is Full!";

// The ten filter flags the main frame holds and its commands toggle; never persisted.
struct CFilterFlags {
    std::int32_t m_bArp = 0;
    std::int32_t m_bIcmp = 0;
    std::int32_t m_bTcp = 0;
    std::int32_t m_bUdp = 0;
    std::int32_t m_bOthers = 1;
    std::int32_t m_bHttp = 0;
    std::int32_t m_bSmtp = 0;
    std::int32_t m_bPop3 = 0;
    std::int32_t m_bFtp = 0;
    std::int32_t m_bTelnet = 0;

    int IsArpFiltered() const { return m_bArp; }
    int IsIcmpFiltered() const { return m_bIcmp; }
    int IsTcpFiltered() const { return m_bTcp; }
    int IsUdpFiltered() const { return m_bUdp; }
    int IsOthersFiltered() const { return m_bOthers; }
    int IsHttpOnly() const { return m_bHttp; }
    int IsSmtpOnly() const { return m_bSmtp; }
    int IsPop3Only() const { return m_bPop3; }
    int IsFtpOnly() const { return m_bFtp; }
    int IsTelnetOnly() const { return m_bTelnet; }
    int IsPortFilterOn() const;
};

// 1 drop, 0 keep. A frame too short for a header is treated as a frame without it: without a
// whole Ethernet header it counts as "Others"; an IPv4 frame without a whole IPv4 header has no
// protocol and is kept.
int IsFilteredByProtocol(const CFilterFlags& flags, std::span<const std::uint8_t> frame);
// 1 drop, 0 keep. With a port flag set, only IPv4 frames with a whole TCP or UDP header whose
// source or destination port is one of the flagged ports are kept.
int IsFilteredByPort(const CFilterFlags& flags, std::span<const std::uint8_t> frame);

inline constexpr std::int64_t kBytesPerMegabyte = 1'000'000;
inline constexpr int kMaxBufferSetting = 99;

// Percentage 0 to 100 of the buffer of (bufferSetting + 1) megabytes that byteTotal fills. A
// setting outside 0 to 99 is taken as the nearest end.
std::uint32_t GetBufferFill(std::uint32_t byteTotal, int bufferSetting);

// The counters and the buffer setting the list view keeps for the intake.
struct CIntakeCounters {
    std::int32_t captured = 0;
    std::int32_t filtered = 0;
    std::uint32_t byteTotal = 0;
    int bufferSetting = 0;

    // Saturates instead of wrapping, so an absurd wire length cannot empty the buffer.
    void AddCapturedBytes(std::uint32_t length);
    // An accepted frame the document has stored: one more captured, its wire length in the
    // byte total.
    void CountStored(std::uint32_t wireLength);
    std::uint32_t GetBufferFill() const {
        return wirelark::GetBufferFill(byteTotal, bufferSetting);
    }
    // Wire bytes the buffer has room for, short of full.
    std::uint64_t GetRoomBytes() const;
    // After a new or opened document; the buffer setting stays.
    void Reset();
};

enum class IntakeVerdict { BufferFull, FilteredByProtocol, FilteredByPort, Accepted, NotStored };

// Decides a captured frame's fate in the intake's order (buffer, protocol filter, port filter):
// a filtered frame adds 1 to the filtered count (which stops at its largest value). A full
// buffer changes nothing; the caller stops the capture and shows kBufferFullMessage. An
// accepted frame is not counted yet: only storing it makes it a row.
IntakeVerdict JudgeCapturedFrame(CIntakeCounters& counters, const CFilterFlags& flags,
                                 std::span<const std::uint8_t> frame);

// The whole intake of one frame: judged as above, an accepted frame is handed to `store`,
// which answers whether the document kept it. Only a kept frame is counted, so the panes
// always agree with the rows; one the document refused (out of memory) is NotStored.
template <typename Store>
IntakeVerdict TakeCapturedFrame(CIntakeCounters& counters, const CFilterFlags& flags,
                                std::uint32_t wireLength, std::span<const std::uint8_t> frame,
                                Store&& store) {
    const IntakeVerdict verdict = JudgeCapturedFrame(counters, flags, frame);
    if (verdict != IntakeVerdict::Accepted) {
        return verdict;
    }
    if (!store()) {
        return IntakeVerdict::NotStored;
    }
    counters.CountStored(wireLength);
    return verdict;
}

}  // namespace wirelark
