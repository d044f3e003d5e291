// Compiling filters with libpcap, for a dead Ethernet handle or an opened device, and running
// them over frames read from files.
#include "capture/capture_filter.h"

#include <algorithm>
#include <memory>

namespace wirelark {

namespace {

bool IsBlank(const std::string& expression) {
    return expression.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

CFrameFilter::~CFrameFilter() {
    pcap_freecode(&m_program);  // harmless when nothing was compiled
}

std::string CFrameFilter::Compile(const std::string& expression, pcap_t* handle) {
    pcap_freecode(&m_program);
    m_bCompiled = false;
    if (IsBlank(expression)) {
        return {};
    }
    std::unique_ptr<pcap_t, decltype(&pcap_close)> dead(nullptr, &pcap_close);
    if (handle == nullptr) {
        dead.reset(pcap_open_dead(DLT_EN10MB, 65536));
        if (dead == nullptr) {
            return "libpcap could not compile filters";
        }
        handle = dead.get();
    }
    // Optimised, and without a netmask: only "ip broadcast" needs one, and says so.
    if (pcap_compile(handle, &m_program, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        return pcap_geterr(handle);
    }
    m_bCompiled = true;
    return {};
}

bool CFrameFilter::Matches(std::span<const std::uint8_t> bytes, std::uint32_t wireLength) const {
    if (!m_bCompiled) {
        return true;
    }
    pcap_pkthdr header{};
    header.caplen = static_cast<bpf_u_int32>(bytes.size());
    header.len = std::max<bpf_u_int32>(wireLength, header.caplen);
    return pcap_offline_filter(&m_program, &header, bytes.data()) != 0;
}

std::string CheckCaptureFilter(const std::string& expression) {
    CFrameFilter filter;
    return filter.Compile(expression);
}

std::string InstallCaptureFilter(pcap_t* handle, const std::string& expression) {
    CFrameFilter filter;
    std::string error = filter.Compile(expression, handle);
    if (error.empty() && filter.Program() != nullptr &&
        pcap_setfilter(handle, filter.Program()) != 0) {
        error = pcap_geterr(handle);
    }
    return error;
}

std::string CaptureFilterMessage(const std::string& expression, const std::string& text) {
    return "The capture filter \"" + expression + "\" cannot be used: " + text;
}

std::vector<std::string> RememberCaptureFilter(std::vector<std::string> history,
                                               const std::string& expression) {
    if (IsBlank(expression)) {
        return history;
    }
    std::erase(history, expression);
    history.insert(history.begin(), expression);
    if (history.size() > kRememberedFilters) {
        history.resize(kRememberedFilters);
    }
    return history;
}

}  // namespace wirelark
