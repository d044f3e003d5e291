// Compiling filters with libpcap, for a dead Ethernet handle or an opened device.
#include "capture/capture_filter.h"

#include <algorithm>
#include <memory>

namespace wirelark {

namespace {

bool IsBlank(const std::string& expression) {
    return expression.find_first_not_of(" \t\r\n") == std::string::npos;
}

// A compiled filter, freed with its owner.
class CCompiledFilter {
public:
    CCompiledFilter() = default;
    CCompiledFilter(const CCompiledFilter&) = delete;
    CCompiledFilter& operator=(const CCompiledFilter&) = delete;
    ~CCompiledFilter() { pcap_freecode(&m_program); }  // harmless when nothing was compiled

    // Empty on success, otherwise libpcap's text.
    std::string Compile(pcap_t* handle, const std::string& expression) {
        // Optimised, and without a netmask: only "ip broadcast" needs one, and says so.
        if (pcap_compile(handle, &m_program, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
            return pcap_geterr(handle);
        }
        return {};
    }
    bpf_program* Program() { return &m_program; }

private:
    bpf_program m_program{};
};

}  // namespace

std::string CheckCaptureFilter(const std::string& expression) {
    if (IsBlank(expression)) {
        return {};
    }
    std::unique_ptr<pcap_t, decltype(&pcap_close)> dead(pcap_open_dead(DLT_EN10MB, 65536),
                                                        &pcap_close);
    if (dead == nullptr) {
        return "libpcap could not compile filters";
    }
    CCompiledFilter filter;
    return filter.Compile(dead.get(), expression);
}

std::string InstallCaptureFilter(pcap_t* handle, const std::string& expression) {
    if (IsBlank(expression)) {
        return {};
    }
    CCompiledFilter filter;
    std::string error = filter.Compile(handle, expression);
    if (error.empty() && pcap_setfilter(handle, filter.Program()) != 0) {
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
