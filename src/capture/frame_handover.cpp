// The batched hand-over between the capture worker and the consumer's thread.
#include "capture/frame_handover.h"

#include <cstring>
#include <utility>

namespace wirelark {
namespace {

constexpr std::size_t kRecordAlignment = alignof(pcap_pkthdr);

std::size_t PaddedSize(std::size_t bytes) {
    return (bytes + kRecordAlignment - 1) / kRecordAlignment * kRecordAlignment;
}

}  // namespace

CFrameHandover::CFrameHandover(IFrameConsumer& consumer, std::function<void()> wake,
                               std::size_t capacity)
    : m_consumer(consumer), m_wake(std::move(wake)), m_capacity(capacity) {}

CFrameHandover::~CFrameHandover() {
    Close();
}

void CFrameHandover::WakeLocked(std::unique_lock<std::mutex>& lock) {
    if (m_bWakePosted) {
        return;
    }
    m_bWakePosted = true;
    lock.unlock();
    m_wake();
}

void CFrameHandover::RewakeLocked(std::unique_lock<std::mutex>& lock) {
    m_bWakePosted = false;
    if (!m_queue.empty() || !m_failures.empty()) {
        WakeLocked(lock);
    }
}

void CFrameHandover::OnCapturedPacket(const pcap_pkthdr& header,
                                      std::span<const std::uint8_t> data) {
    std::unique_lock lock(m_mutex);
    if (m_bClosed) {
        return;
    }
    const std::size_t at = m_queue.size();
    m_queue.resize(at + sizeof(pcap_pkthdr) + PaddedSize(data.size()));
    pcap_pkthdr copy = header;
    copy.caplen = static_cast<bpf_u_int32>(data.size());
    std::memcpy(m_queue.data() + at, &copy, sizeof copy);
    if (!data.empty()) {
        std::memcpy(m_queue.data() + at + sizeof copy, data.data(), data.size());
    }
    WakeLocked(lock);
}

void CFrameHandover::OnCaptureFailed(const std::string& message) {
    std::unique_lock lock(m_mutex);
    if (m_bClosed) {
        return;
    }
    m_failures.push_back(message);
    WakeLocked(lock);
}

bool CFrameHandover::WaitForRoom(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    // Closed counts as room: the frame read next is then refused at once.
    return m_room.wait_for(lock, timeout,
                           [this] { return m_bClosed || m_queue.size() < m_capacity; });
}

int CFrameHandover::ServicePending() {
    if (m_bInPass) {
        m_bTurnedAway = true;
        return 0;
    }
    std::vector<std::uint8_t> batch;
    std::vector<std::string> failures;
    {
        std::lock_guard lock(m_mutex);
        if (m_nHolds > 0) {
            return 0;  // the wake stays counted as posted; the last release posts another
        }
        m_bWakePosted = false;
        batch.swap(m_queue);
        m_queue.swap(m_spare);
        failures.swap(m_failures);
    }
    m_room.notify_all();

    m_bInPass = true;
    int handled = 0;
    for (std::size_t at = 0; at < batch.size();) {
        pcap_pkthdr header{};
        std::memcpy(&header, batch.data() + at, sizeof header);
        const std::span<const std::uint8_t> data(batch.data() + at + sizeof header, header.caplen);
        at += sizeof header + PaddedSize(header.caplen);
        ++handled;
        if (!m_consumer.TakeFrame(header, data)) {
            DiscardPending();
            break;
        }
    }
    if (handled > 0) {
        m_consumer.FramesTaken();
    }
    m_bInPass = false;
    for (const std::string& failure : failures) {
        m_consumer.OnCaptureFailed(failure);
        ++handled;
    }

    batch.clear();
    std::unique_lock lock(m_mutex);
    if (m_spare.capacity() < batch.capacity()) {
        m_spare.swap(batch);
    }
    // The wake a nested call was turned away from is spent: what came since needs another.
    if (std::exchange(m_bTurnedAway, false)) {
        RewakeLocked(lock);
    }
    return handled;
}

void CFrameHandover::DiscardPending() {
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
    }
    m_room.notify_all();
}

void CFrameHandover::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
        m_queue.clear();
        m_failures.clear();
    }
    m_room.notify_all();
}

void CFrameHandover::Hold() {
    std::lock_guard lock(m_mutex);
    ++m_nHolds;
}

void CFrameHandover::Release() {
    std::unique_lock lock(m_mutex);
    if (m_nHolds > 0 && --m_nHolds == 0) {
        RewakeLocked(lock);  // the wake that announced them was spent on a held call
    }
}

bool CFrameHandover::HasWaitingFrame() const {
    std::lock_guard lock(m_mutex);
    return !m_queue.empty();
}

}  // namespace wirelark
