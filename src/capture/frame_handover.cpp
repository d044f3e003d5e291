// The synchronous hand-over between the capture worker and the consumer's thread.
#include "capture/frame_handover.h"

#include <utility>

namespace wirelark {

CFrameHandover::CFrameHandover(IPacketReceiver& consumer, std::function<void()> wake)
    : m_consumer(consumer), m_wake(std::move(wake)) {}

CFrameHandover::~CFrameHandover() {
    Close();
}

void CFrameHandover::OnCapturedPacket(const pcap_pkthdr& header,
                                      std::span<const std::uint8_t> data) {
    std::lock_guard producer(m_producers);
    std::uint64_t ticket = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosed) {
            return;
        }
        m_pHeader = &header;
        m_data = data;
        ticket = ++m_posted;
    }
    m_wake();
    std::unique_lock lock(m_mutex);
    m_handled.wait(lock, [&] { return m_done >= ticket || m_bClosed; });
    m_pHeader = nullptr;  // never leave libpcap's buffer reachable once the worker goes on
}

void CFrameHandover::OnCaptureFailed(const std::string& message) {
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosed) {
            return;
        }
        m_failures.push_back(message);
    }
    m_wake();
}

int CFrameHandover::ServicePending() {
    const pcap_pkthdr* header = nullptr;
    std::span<const std::uint8_t> data;
    std::uint64_t ticket = 0;
    std::vector<std::string> failures;
    {
        std::lock_guard lock(m_mutex);
        failures.swap(m_failures);
        if (m_pHeader != nullptr && m_done < m_posted) {
            // Taken now, so a nested call from a modal loop inside the consumer skips it.
            header = std::exchange(m_pHeader, nullptr);
            data = m_data;
            ticket = m_posted;
        }
    }
    int handled = 0;
    if (header != nullptr) {
        m_consumer.OnCapturedPacket(*header, data);
        {
            std::lock_guard lock(m_mutex);
            m_done = ticket;
        }
        m_handled.notify_all();
        ++handled;
    }
    for (const std::string& failure : failures) {
        m_consumer.OnCaptureFailed(failure);
        ++handled;
    }
    return handled;
}

void CFrameHandover::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
        m_pHeader = nullptr;
        m_failures.clear();
    }
    m_handled.notify_all();
}

}  // namespace wirelark
