// A private network namespace with a veth pair, for live capture tests and benchmarks. The
// calling thread (and every thread it starts afterwards) works inside the namespace until the
// object is destroyed, which returns to the original namespace and removes what it created.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace wirelark::test {

class CTestNetwork {
public:
    CTestNetwork();
    ~CTestNetwork();
    CTestNetwork(const CTestNetwork&) = delete;
    CTestNetwork& operator=(const CTestNetwork&) = delete;

    // Empty when the namespace could not be made (not root, no `ip`); the reason otherwise.
    static std::string WhyUnavailable();

    bool Ok() const { return m_bOk; }
    const std::string& Error() const { return m_error; }
    // Frames injected on the sending end arrive on the capturing end, and nothing else does.
    const std::string& SendingEnd() const { return m_sendEnd; }
    const std::string& CapturingEnd() const { return m_captureEnd; }
    // The namespace's own /sys/class/net: /sys itself shows the namespace the process started
    // in, whichever one a thread has entered since.
    std::string NetClassRoot() const { return m_sysfs + "/class/net"; }

private:
    void MountSysfs();

    std::string m_namespace;
    std::string m_sendEnd = "wlsend0";
    std::string m_captureEnd = "wlcap0";
    std::string m_sysfs;  // a sysfs mounted from inside the namespace
    int m_originalNs = -1;
    bool m_bOk = false;
    std::string m_error;
};

// Sends raw frames on one interface through pcap_inject.
class CFrameInjector {
public:
    explicit CFrameInjector(const std::string& device);
    ~CFrameInjector();
    CFrameInjector(const CFrameInjector&) = delete;
    CFrameInjector& operator=(const CFrameInjector&) = delete;

    bool Ok() const { return m_handle != nullptr; }
    const std::string& Error() const { return m_error; }
    bool Inject(std::span<const std::uint8_t> frame);

private:
    pcap_t* m_handle = nullptr;
    std::string m_error;
};

// A broadcast Ethernet frame of `length` bytes whose payload carries `sequence`, so that frames
// can be told apart and their order checked.
std::vector<std::uint8_t> MakeTestFrame(std::uint32_t sequence, std::size_t length);

}  // namespace wirelark::test
