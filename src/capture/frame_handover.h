// Carries captured frames from the capture worker to a consumer on another thread (the GUI
// thread) in batches: the worker copies each frame into a bounded queue and reads on, and the
// consumer takes everything queued in one pass, so that a busy network costs the consumer one
// wake-up and one screen update a pass instead of a thread switch a frame.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "capture/packet_receiver.h"

namespace wirelark {

// What the hand-over serves on the consumer's thread.
class IFrameConsumer {
public:
    virtual ~IFrameConsumer() = default;
    // One frame, in capture order; the bytes stay valid until it returns. False ends the pass
    // and discards every frame still queued: the capture was stopped at this frame.
    virtual bool TakeFrame(const pcap_pkthdr& header, std::span<const std::uint8_t> data) = 0;
    // After a pass that took at least one frame: where rows and counts are shown, once a pass.
    virtual void FramesTaken() = 0;
    virtual void OnCaptureFailed(const std::string& message) = 0;
};

class CFrameHandover final : public IPacketReceiver {
public:
    // Frame bytes the queue holds before the worker waits; the kernel's own buffer takes what
    // comes meanwhile, as it would behind a slow reader.
    static constexpr std::size_t kDefaultCapacity = 8 * 1024 * 1024;

    // `wake` is called on the worker and must make the consumer's thread call ServicePending
    // soon (the GUI posts itself an event); it is called once for all frames queued until then.
    CFrameHandover(IFrameConsumer& consumer, std::function<void()> wake,
                   std::size_t capacity = kDefaultCapacity);
    ~CFrameHandover() override;
    CFrameHandover(const CFrameHandover&) = delete;
    CFrameHandover& operator=(const CFrameHandover&) = delete;

    // Worker side. A frame is copied and queued, never dropped: the worker asks for room first.
    void OnCapturedPacket(const pcap_pkthdr& header, std::span<const std::uint8_t> data) override;
    void OnCaptureFailed(const std::string& message) override;
    bool WaitForRoom(std::chrono::milliseconds timeout) override;

    // Consumer side: hands every frame queued now to the consumer, then the failures; returns
    // how many. A call from inside the consumer (a modal box's own event loop) hands nothing
    // over, so the order holds; what waits is served by a pass that follows.
    int ServicePending();
    // Consumer side: drops what is queued and refuses any further frame, so that the engine can
    // be destroyed without this thread.
    void Close();

    // Consumer side: while held, ServicePending hands nothing over; frames stay queued in order
    // (the worker waits when the queue is full). The release that ends the last hold wakes the
    // consumer for what has been waiting.
    void Hold();
    void Release();
    // Consumer side: a frame has been handed in and not yet taken by ServicePending.
    bool HasWaitingFrame() const;

private:
    // Drops every queued frame (those after the one a capture stopped at).
    void DiscardPending();
    // Posts a wake unless one is on its way, unlocking to call it.
    void WakeLocked(std::unique_lock<std::mutex>& lock);
    // After a wake was spent without a pass: a new one for whatever waits.
    void RewakeLocked(std::unique_lock<std::mutex>& lock);

    IFrameConsumer& m_consumer;
    std::function<void()> m_wake;
    const std::size_t m_capacity;

    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    // Queued frames: each a pcap_pkthdr, then its bytes, padded to the header's alignment.
    std::vector<std::uint8_t> m_queue;
    std::vector<std::uint8_t> m_spare;  // an emptied batch, kept for its capacity
    std::vector<std::string> m_failures;
    bool m_bWakePosted = false;  // a wake is on its way and no pass has started since
    bool m_bClosed = false;
    bool m_bInPass = false;      // consumer's thread only
    bool m_bTurnedAway = false;  // consumer's thread only: a nested call was refused
    int m_nHolds = 0;
};

// Holds a hand-over for as long as it lives.
class CHandoverHold {
public:
    explicit CHandoverHold(CFrameHandover& handover) : m_handover(handover) { m_handover.Hold(); }
    ~CHandoverHold() { m_handover.Release(); }
    CHandoverHold(const CHandoverHold&) = delete;
    CHandoverHold& operator=(const CHandoverHold&) = delete;

private:
    CFrameHandover& m_handover;
};

}  // namespace wirelark
