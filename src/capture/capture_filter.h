// Capture filters in libpcap's own language ("tcp port 443", "host 10.0.0.5 and not arp"),
// applied by the kernel before a frame reaches the program, and the list of recent ones.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace wirelark {

// How many filters the adapter bar remembers.
inline constexpr std::size_t kRememberedFilters = 10;

// A filter compiled once, for an opened device or for Ethernet frames read from a file.
class CFrameFilter {
public:
    CFrameFilter() = default;
    CFrameFilter(const CFrameFilter&) = delete;
    CFrameFilter& operator=(const CFrameFilter&) = delete;
    ~CFrameFilter();

    // Compiles `expression` for the opened `handle`, or for Ethernet frames without one: empty
    // on success, otherwise libpcap's text. An empty or blank expression matches every frame.
    std::string Compile(const std::string& expression, pcap_t* handle = nullptr);
    // Whether the frame, `bytes` of it captured out of `wireLength` on the wire, matches.
    bool Matches(std::span<const std::uint8_t> bytes, std::uint32_t wireLength) const;
    // The compiled program; null for an expression that matches every frame.
    const bpf_program* Program() const { return m_bCompiled ? &m_program : nullptr; }
    bpf_program* Program() { return m_bCompiled ? &m_program : nullptr; }

private:
    bpf_program m_program{};
    bool m_bCompiled = false;
};

// Whether `expression` compiles for Ethernet frames: empty when it does (an empty or blank
// expression means every frame), otherwise libpcap's text saying why not.
std::string CheckCaptureFilter(const std::string& expression);

// Compiles `expression` for the opened `handle` and installs it, so that the kernel passes only
// the frames it matches; nothing is installed for an empty or blank expression. Empty on
// success, otherwise libpcap's text.
std::string InstallCaptureFilter(pcap_t* handle, const std::string& expression);

// The message shown when `expression` is refused with libpcap's `text`.
std::string CaptureFilterMessage(const std::string& expression, const std::string& text);

// `history` with `expression` put first: most recent first, each text once, at most
// kRememberedFilters of them. A blank expression leaves it as it is.
std::vector<std::string> RememberCaptureFilter(std::vector<std::string> history,
                                               const std::string& expression);

}  // namespace wirelark
