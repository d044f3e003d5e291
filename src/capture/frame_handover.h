// Carries each captured frame from the capture worker to a consumer on another thread (the GUI
// thread) and keeps the worker waiting until the consumer has handled it, one frame at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capture/packet_receiver.h"

namespace wirelark {

class CFrameHandover final : public IPacketReceiver {
public:
    // `wake` is called on the worker and must make the consumer's thread call ServicePending
    // soon (the GUI posts itself an event).
    CFrameHandover(IPacketReceiver& consumer, std::function<void()> wake);
    ~CFrameHandover() override;
    CFrameHandover(const CFrameHandover&) = delete;
    CFrameHandover& operator=(const CFrameHandover&) = delete;

    // Worker side.
    void OnCapturedPacket(const pcap_pkthdr& header, std::span<const std::uint8_t> data) override;
    void OnCaptureFailed(const std::string& message) override;

    // Consumer side: hands the waiting frame and messages to the consumer; returns how many.
    // Safe to call again from inside the consumer (a modal box's own event loop).
    // With a linger, it waits that long after each frame for the next one and hands it over
    // too, until `budget` has passed: under load the worker's next frame is usually there within
    // microseconds, far sooner than a trip through the consumer's event loop would bring it.
    int ServicePending(std::chrono::microseconds linger = std::chrono::microseconds(0),
                       std::chrono::microseconds budget = std::chrono::microseconds(0));
    // Consumer side: releases a waiting worker without handling its frame and refuses any
    // further one, so that the engine can be destroyed without waiting on this thread.
    void Close();

    // Consumer side: while held, ServicePending hands nothing over; the waiting frame stays with
    // its worker, which reads no other, so nothing is lost and the order is kept. The release
    // that ends the last hold wakes the consumer for what has been waiting.
    void Hold();
    void Release();
    // Consumer side: a frame has been handed in and not yet taken by ServicePending.
    bool HasWaitingFrame() const;

private:
    IPacketReceiver& m_consumer;
    std::function<void()> m_wake;

    std::mutex m_producers;  // one frame in flight, whoever delivers it
    mutable std::mutex m_mutex;
    std::condition_variable m_handled;
    std::condition_variable m_arrived;       // a frame came while the consumer lingers
    const pcap_pkthdr* m_pHeader = nullptr;  // the frame waiting to be taken, if any
    std::span<const std::uint8_t> m_data;
    // Changed under m_mutex, read without it by the two sides' short spins.
    std::atomic<std::uint64_t> m_posted{0};  // frames handed in
    std::atomic<std::uint64_t> m_done{0};    // frames the consumer has finished with
    std::atomic<bool> m_bClosed{false};
    std::vector<std::string> m_failures;
    bool m_bLingering = false;  // the consumer waits on m_arrived for the next frame
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
