// Private network namespaces with a veth pair, made with iproute2 and entered with setns, each
// with a sysfs of its own.
#include "support/test_network.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace wirelark::test {
namespace {

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

std::string CTestNetwork::WhyUnavailable() {
    if (geteuid() != 0) {
        return "needs root to create a network namespace with a veth pair";
    }
    if (!Run("command -v ip")) {
        return "needs iproute2's ip command";
    }
    return {};
}

CTestNetwork::CTestNetwork() {
    static std::atomic<int> counter{0};
    m_namespace = "wltest" + std::to_string(getpid()) + "x" + std::to_string(counter++);
    if (!(m_error = WhyUnavailable()).empty()) {
        return;
    }
    const std::string ns = "ip netns exec " + m_namespace + " ";
    if (!Run("ip netns add " + m_namespace)) {
        m_error = "ip netns add failed";
        return;
    }
    // No IPv6 in the namespace: the kernel would otherwise send its own solicitations.
    const bool made = Run(ns + "sysctl -w net.ipv6.conf.all.disable_ipv6=1") &&
                      Run(ns + "sysctl -w net.ipv6.conf.default.disable_ipv6=1") &&
                      Run("ip -n " + m_namespace + " link add " + m_sendEnd +
                          " type veth peer name " + m_captureEnd) &&
                      Run("ip -n " + m_namespace + " link set " + m_sendEnd + " up") &&
                      Run("ip -n " + m_namespace + " link set " + m_captureEnd + " up");
    if (!made) {
        m_error = "could not set up the veth pair in " + m_namespace;
        return;
    }
    m_originalNs = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open(("/var/run/netns/" + m_namespace).c_str(), O_RDONLY | O_CLOEXEC);
    if (m_originalNs < 0 || target < 0 || setns(target, CLONE_NEWNET) != 0) {
        m_error = "could not enter " + m_namespace;
    } else {
        MountSysfs();
    }
    if (target >= 0) {
        close(target);
    }
}

void CTestNetwork::MountSysfs() {
    // A sysfs shows the network namespace of the thread that mounts it.
    char folder[] = "/tmp/wlsysfsXXXXXX";
    if (mkdtemp(folder) == nullptr) {
        m_error = "could not make a folder for the namespace's sysfs";
        return;
    }
    if (mount("sysfs", folder, "sysfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) !=
        0) {
        m_error = "could not mount a sysfs for " + m_namespace;
        rmdir(folder);
        return;
    }
    m_sysfs = folder;
    m_bOk = true;
}

CTestNetwork::~CTestNetwork() {
    if (!m_sysfs.empty()) {
        umount2(m_sysfs.c_str(), MNT_DETACH);
        rmdir(m_sysfs.c_str());
    }
    if (m_originalNs >= 0) {
        setns(m_originalNs, CLONE_NEWNET);
        close(m_originalNs);
    }
    Run("ip netns del " + m_namespace);
}

CFrameInjector::CFrameInjector(const std::string& device) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    m_handle = pcap_open_live(device.c_str(), 65536, 0, 100, errbuf);
    if (m_handle == nullptr) {
        m_error = errbuf;
    }
}

CFrameInjector::~CFrameInjector() {
    if (m_handle != nullptr) {
        pcap_close(m_handle);
    }
}

bool CFrameInjector::Inject(std::span<const std::uint8_t> frame) {
    return pcap_inject(m_handle, frame.data(), frame.size()) == static_cast<int>(frame.size());
}

std::vector<std::uint8_t> MakeTestFrame(std::uint32_t sequence, std::size_t length) {
    std::vector<std::uint8_t> frame(length < 18 ? 18 : length, 0);
    for (int i = 0; i < 6; ++i) {
        frame[i] = 0xFF;                                     // broadcast destination
        frame[6 + i] = static_cast<std::uint8_t>(0x02 + i);  // locally administered source
    }
    frame[12] = 0x88;  // a local experimental EtherType, which no kernel stack answers
    frame[13] = 0xB5;
    for (int i = 0; i < 4; ++i) {
        frame[14 + i] = static_cast<std::uint8_t>(sequence >> (24 - 8 * i));
    }
    for (std::size_t i = 18; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7 + sequence);
    }
    return frame;
}

}  // namespace wirelark::test
