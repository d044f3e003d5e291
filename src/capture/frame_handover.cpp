// The synchronous hand-over between the capture worker and the consumer's thread.
#include "capture/frame_handover.h"

#include <algorithm>
#include <utility>

namespace wirelark {
namespace {

// How long either side spins before it sleeps: waking a sleeping thread costs tens of
// microseconds on a busy machine, more than handling a frame does.
constexpr std::chrono::microseconds kSpinLimit{50};

template <typename Predicate>
bool SpinUntil(Predicate done, std::chrono::microseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        for (int i = 0; i < 32; ++i) {
            if (done()) {
                return true;
            }
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    } while (std::chrono::steady_clock::now() < end);
    return done();
}

}  // namespace

CFrameHandover::CFrameHandover(IPacketReceiver& consumer, std::function<void()> wake)
    : m_consumer(consumer), m_wake(std::move(wake)) {}

CFrameHandover::~CFrameHandover() {
    Close();
}

void CFrameHandover::OnCapturedPacket(const pcap_pkthdr& header,
                                      std::span<const std::uint8_t> data) {
    std::lock_guard producer(m_producers);
    std::uint64_t ticket = 0;
    bool lingering = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosed) {
            return;
        }
        m_pHeader = &header;
        m_data = data;
        ticket = ++m_posted;
        lingering = m_bLingering;
    }
    if (lingering) {
        m_arrived.notify_one();
    } else {
        m_wake();
    }
    const auto handled = [&] { return m_done.load() >= ticket || m_bClosed.load(); };
    if (!SpinUntil(handled, kSpinLimit)) {
        std::unique_lock lock(m_mutex);
        m_handled.wait(lock, handled);
    }
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

int CFrameHandover::ServicePending(std::chrono::microseconds linger,
                                   std::chrono::microseconds budget) {
    const auto start = std::chrono::steady_clock::now();
    const auto next = [this] { return m_bClosed.load() || m_posted.load() > m_done.load(); };
    int handled = 0;
    for (;;) {
        const pcap_pkthdr* header = nullptr;
        std::span<const std::uint8_t> data;
        std::uint64_t ticket = 0;
        std::vector<std::string> failures;
        {
            std::lock_guard lock(m_mutex);
            if (m_nHolds > 0) {
                return handled;
            }
            failures.swap(m_failures);
            if (m_pHeader != nullptr && m_done < m_posted) {
                // Taken now, so a nested call from a modal loop inside the consumer skips it.
                header = std::exchange(m_pHeader, nullptr);
                data = m_data;
                ticket = m_posted;
            }
        }
        bool lingering = false;
        if (header != nullptr) {
            m_consumer.OnCapturedPacket(*header, data);
            lingering = linger.count() > 0 && std::chrono::steady_clock::now() - start < budget;
            {
                std::lock_guard lock(m_mutex);
                m_done = ticket;
                // Set with the release, so that the worker's very next frame signals m_arrived
                // instead of posting another wake.
                m_bLingering = lingering;
            }
            m_handled.notify_all();
            ++handled;
        }
        for (const std::string& failure : failures) {
            m_consumer.OnCaptureFailed(failure);
            ++handled;
        }
        if (!lingering) {
            return handled;
        }
        bool arrived = SpinUntil(next, std::min(linger, kSpinLimit));
        std::unique_lock lock(m_mutex);
        if (!arrived) {
            arrived = m_arrived.wait_for(lock, linger, next);
        }
        m_bLingering = false;
        if (!arrived || m_bClosed.load()) {
            return handled;
        }
    }
}

void CFrameHandover::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
        m_pHeader = nullptr;
        m_failures.clear();
    }
    m_handled.notify_all();
    m_arrived.notify_all();
}

void CFrameHandover::Hold() {
    std::lock_guard lock(m_mutex);
    ++m_nHolds;
}

void CFrameHandover::Release() {
    bool waiting = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_nHolds > 0 && --m_nHolds == 0) {
            // The wake that announced a waiting frame was spent on a held call.
            waiting = m_pHeader != nullptr || !m_failures.empty();
        }
    }
    if (waiting) {
        m_wake();
    }
}

bool CFrameHandover::HasWaitingFrame() const {
    std::lock_guard lock(m_mutex);
    return m_pHeader != nullptr;
}

}  // namespace wirelark
