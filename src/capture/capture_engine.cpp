// The capture engine: adapter list and one worker per capture.
#include "capture/capture_engine.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <system_error>
#include <thread>

#include "capture/capture_filter.h"

namespace wirelark {
namespace {

bool IsPermissionDenied(const CDeviceOpenFailure& failure) {
    if (failure.status == PCAP_ERROR_PERM_DENIED ||
        failure.status == PCAP_ERROR_PROMISC_PERM_DENIED) {
        return true;
    }
    // Some refusals (a socket the process may not open) come only as a generic error.
    return failure.status == PCAP_ERROR &&
           (failure.systemError == EPERM || failure.systemError == EACCES);
}

// The path as a shell reads it back, for a command the user copies.
std::string ShellQuoted(const std::string& path) {
    const bool plain = !path.empty() && path.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789/._+-") == std::string::npos;
    if (plain) {
        return path;
    }
    std::string quoted = "'";
    for (const char c : path) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// What to do about a capture refused for want of rights, naming this very program.
std::string PermissionAdvice() {
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    return "\n\nCapturing needs root rights or the two capture capabilities cap_net_raw and "
           "cap_net_admin. Run Wirelark as root, or give the program both capabilities once "
           "with:\n\nsudo setcap cap_net_raw,cap_net_admin+eip " +
           ShellQuoted(failed ? std::string("wirelark") : program.string());
}

}  // namespace

// One capture: its own stop signal, its libpcap handle and its worker. The engine keeps a
// finished or stopped session until its worker has been joined, so no thread outlives it.
class CCaptureSession {
public:
    CCaptureSession(std::string device, std::string filter, IDeviceSource& devices,
                    std::atomic<IPacketReceiver*>& target, std::mutex& deliveryLock)
        : m_device(std::move(device)),
          m_filter(std::move(filter)),
          m_devices(devices),
          m_target(target),
          m_deliveryLock(deliveryLock) {}

    ~CCaptureSession() { Join(); }

    void Start() {
        m_thread = std::thread([this] {
            m_worker.store(std::this_thread::get_id());
            Run();
        });
    }

    // Sets this capture's stop signal and wakes a read that waits for packets. Set under the
    // delivery lock: no frame of this capture is delivered once the caller has seen it set.
    void RequestStop() {
        if (OnWorker()) {
            m_stop.store(true);  // from inside a delivery: it holds the lock already
        } else {
            std::lock_guard delivery(m_deliveryLock);
            m_stop.store(true);
        }
        std::lock_guard lock(m_mutex);
        if (m_handle != nullptr) {
            pcap_breakloop(m_handle);
        }
    }

    // Waits until the worker has ended; true if it has. It never waits for the caller's thread;
    // called from inside a delivery, on the worker itself, it returns at once.
    bool WaitForEnd(std::chrono::milliseconds timeout) {
        if (OnWorker()) {
            return false;
        }
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_finished; });
    }

    bool IsRunning() const { return m_running.load(); }
    void ClearRunning() { m_running.store(false); }

    bool IsFinished() {
        std::lock_guard lock(m_mutex);
        return m_finished;
    }

    CCaptureStatistics Statistics() {
        std::lock_guard lock(m_mutex);
        return m_statistics;
    }

    void Join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    void Run();
    pcap_t* Open(std::string& error) const;
    // Some of libpcap's texts ("No such device exists", "The interface disappeared") do not
    // say which device they are about.
    std::string NamingDevice(const std::string& text) const {
        return text.find(m_device) == std::string::npos ? m_device + ": " + text : text;
    }
    void Deliver(const pcap_pkthdr& header, const u_char* data);
    // Reads the kernel's counts of this capture so far; on the worker, which owns the handle.
    void UpdateStatistics(pcap_t* handle);
    // The same a few times a second, so that the window can show drops while the capture runs:
    // reading them costs a system call.
    void UpdateStatisticsNowAndThen(pcap_t* handle);
    // Waits while the receiver has no room for another frame, reading the kernel's counts
    // meanwhile, as that is when it drops frames; false when stopped meanwhile.
    bool WaitForRoom(pcap_t* handle);
    bool OnWorker() const { return m_worker.load() == std::this_thread::get_id(); }

    const std::string m_device;
    const std::string m_filter;
    IDeviceSource& m_devices;
    std::atomic<IPacketReceiver*>& m_target;
    std::mutex& m_deliveryLock;

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{true};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    pcap_t* m_handle = nullptr;       // guarded by m_mutex: RequestStop may break a read on it
    bool m_finished = false;          // guarded by m_mutex
    CCaptureStatistics m_statistics;  // guarded by m_mutex
    std::chrono::steady_clock::time_point m_nextStatistics;  // the worker's own
    std::atomic<std::thread::id> m_worker{};
    std::thread m_thread;
};

pcap_t* CCaptureSession::Open(std::string& error) const {
    const CCaptureSettings settings{CCaptureEngine::kSnapLength, true,
                                    CCaptureEngine::kReadTimeoutMs,
                                    CCaptureEngine::kKernelBufferBytes};
    CDeviceOpenFailure failure;
    pcap_t* handle = m_devices.OpenDevice(m_device, settings, failure);
    if (handle == nullptr) {
        error = NamingDevice(failure.text);
        if (IsPermissionDenied(failure)) {
            error += PermissionAdvice();
        }
        return nullptr;
    }
    // Every frame is decoded as Ethernet II; other link types (the "any" device) would be read
    // as garbage.
    if (pcap_datalink(handle) != DLT_EN10MB) {
        error = m_device + ": not an Ethernet adapter";
        pcap_close(handle);
        return nullptr;
    }
    // Installed before the first read, so that no frame the filter rejects is delivered.
    const std::string filterError = InstallCaptureFilter(handle, m_filter);
    if (!filterError.empty()) {
        error = CaptureFilterMessage(m_filter, filterError);
        pcap_close(handle);
        return nullptr;
    }
    return handle;
}

void CCaptureSession::Deliver(const pcap_pkthdr& header, const u_char* data) {
    // One worker delivers at a time, and none once its stop has been requested.
    std::lock_guard delivery(m_deliveryLock);
    IPacketReceiver* target = m_target.load();
    if (target == nullptr || m_stop.load()) {
        return;
    }
    target->OnCapturedPacket(header, std::span<const std::uint8_t>(data, header.caplen));
}

bool CCaptureSession::WaitForRoom(pcap_t* handle) {
    // Short waits, so that a stop is seen soon; the kernel's buffer holds frames meanwhile.
    constexpr std::chrono::milliseconds kRoomWait{20};
    for (bool bWaited = false;; bWaited = true) {
        if (m_stop.load()) {
            return false;
        }
        IPacketReceiver* target = m_target.load();
        if (target == nullptr || target->WaitForRoom(kRoomWait)) {
            // The kernel may have dropped frames during the wait: the window hears of them now,
            // not only once more traffic comes.
            if (bWaited) {
                UpdateStatistics(handle);
            }
            return true;
        }
        UpdateStatisticsNowAndThen(handle);
    }
}

void CCaptureSession::UpdateStatistics(pcap_t* handle) {
    pcap_stat stats{};
    if (pcap_stats(handle, &stats) == 0) {
        std::lock_guard lock(m_mutex);
        // Frames the kernel had no room for, and those the interface itself lost.
        m_statistics = {stats.ps_recv, std::uint64_t{stats.ps_drop} + stats.ps_ifdrop};
    }
}

void CCaptureSession::UpdateStatisticsNowAndThen(pcap_t* handle) {
    constexpr auto kInterval = std::chrono::milliseconds(250);
    if (const auto now = std::chrono::steady_clock::now(); now >= m_nextStatistics) {
        UpdateStatistics(handle);
        m_nextStatistics = now + kInterval;
    }
}

void CCaptureSession::Run() {
    // A raised priority drains the kernel buffer promptly; without the right to it, go on.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10) != 0) {
        errno = 0;
    }

    std::string error;
    pcap_t* handle = Open(error);
    if (handle != nullptr) {
        {
            std::lock_guard lock(m_mutex);
            m_handle = handle;
        }
        while (WaitForRoom(handle)) {
            UpdateStatisticsNowAndThen(handle);
            pcap_pkthdr* header = nullptr;
            const u_char* data = nullptr;
            const int result = pcap_next_ex(handle, &header, &data);
            if (result > 0) {
                Deliver(*header, data);
            } else if (result == PCAP_ERROR) {
                // The device went away or down: retrying would spin for ever, so the capture
                // ends and the user is told why.
                error = NamingDevice(pcap_geterr(handle));
                break;
            }
            // 0 (read timeout) and PCAP_ERROR_BREAK (a stop woke the read) test the signal again.
        }
        UpdateStatistics(handle);
        {
            std::lock_guard lock(m_mutex);
            m_handle = nullptr;
        }
        pcap_close(handle);
    }

    // Start becomes available again before the user reads why the capture ended.
    m_running.store(false);
    if (!error.empty()) {
        if (IPacketReceiver* target = m_target.load()) {
            target->OnCaptureFailed(error);
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
}

std::string DroppedFramesNote(std::uint64_t dropped) {
    return "The last capture lost " + std::to_string(dropped) +
           (dropped == 1 ? " frame" : " frames") +
           ": the kernel dropped them before they could be read.";
}

CCaptureEngine::CCaptureEngine(IMessageSink& messages, IDeviceSource& devices)
    : m_messages(messages), m_devices(devices) {}

CCaptureEngine::~CCaptureEngine() {
    if (m_current) {
        m_current->RequestStop();
    }
    for (auto& session : m_retired) {
        session->RequestStop();
    }
    // Sessions join their workers as they are destroyed.
    m_current.reset();
    m_retired.clear();
}

int CCaptureEngine::EnumerateAdapters() {
    ClearAdapters();
    std::vector<CDeviceEntry> devices;
    std::string error;
    if (!m_devices.FindAllDevices(devices, error)) {
        m_messages.ShowMessage(error);
        return 0;
    }
    for (const CDeviceEntry& device : devices) {
        std::string description = AdapterDescription(device);
        if (!description.empty()) {
            m_adapters.push_back(
                std::make_unique<CAdapterInfo>(std::move(description), device.name));
        }
    }
    if (m_adapters.empty()) {
        m_messages.ShowMessage("No Interfaces found!");
        return 0;
    }
    return 1;
}

void CCaptureEngine::ClearAdapters() {
    m_adapters.clear();
}

void CCaptureEngine::GetAdapterDescriptions(std::vector<std::string>& descriptions) const {
    for (const auto& adapter : m_adapters) {
        descriptions.push_back(adapter->GetDescription());
    }
}

std::string CCaptureEngine::FindAdapterName(std::string description) const {
    // The last entry with that description wins, as the adapter box cannot tell them apart.
    std::string name;
    for (const auto& adapter : m_adapters) {
        if (adapter->GetDescription() == description) {
            name = adapter->GetName();
        }
    }
    return name;
}

void CCaptureEngine::SetTargetWindow(IPacketReceiver* target) {
    m_pTarget.store(target);
}

int CCaptureEngine::StartCapture(std::string adapterName) {
    m_strAdapterName = std::move(adapterName);
    // A capture still running, or a stopped one still finishing, keeps its own stop signal set,
    // so it can never take the new capture's frames or deliver beside it.
    if (m_current) {
        m_current->RequestStop();
        m_current->ClearRunning();
        m_retired.push_back(std::move(m_current));
    }
    RetireFinishedSessions();
    auto session = std::make_unique<CCaptureSession>(m_strAdapterName, m_strCaptureFilter,
                                                     m_devices, m_pTarget, m_deliveryLock);
    try {
        session->Start();
    } catch (const std::system_error&) {
        return 0;
    }
    m_current = std::move(session);
    return 1;
}

int CCaptureEngine::StopCapture() {
    if (m_current) {
        m_current->RequestStop();
        if (m_current->IsRunning()) {
            m_current->WaitForEnd(std::chrono::milliseconds(kStopWaitMs));
        }
        m_current->ClearRunning();
    }
    RetireFinishedSessions();
    return 1;
}

int CCaptureEngine::IsCapturing() const {
    return m_current && m_current->IsRunning() ? 1 : 0;
}

std::string CCaptureEngine::GetAdapterName() const {
    return m_strAdapterName;
}

CCaptureStatistics CCaptureEngine::GetStatistics() const {
    return m_current ? m_current->Statistics() : CCaptureStatistics{};
}

void CCaptureEngine::RetireFinishedSessions() {
    std::erase_if(m_retired, [](const std::unique_ptr<CCaptureSession>& session) {
        return session->IsFinished();  // destroying it joins a worker that has already returned
    });
}

}  // namespace wirelark
