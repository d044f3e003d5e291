// Capture filters in libpcap's own language ("tcp port 443", "host 10.0.0.5 and not arp"),
// applied by the kernel before a frame reaches the program, and the list of recent ones.
#pragma once

#include <pcap/pcap.h>

#include <string>
#include <vector>

namespace wirelark {

// How many filters the adapter bar remembers.
inline constexpr std::size_t kRememberedFilters = 10;

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
