// A frame receiver for capture tests: keeps a copy of every frame and failure, thread-safe, with
// waits bounded in time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capture/frame_handover.h"
#include "capture/packet_receiver.h"

namespace wirelark::test {

struct CReceivedFrame {
    std::vector<std::uint8_t> bytes;
    std::uint32_t wireLength = 0;
    std::uint32_t capturedLength = 0;
};

class CCollectingReceiver : public IPacketReceiver, public IFrameConsumer {
public:
    // Runs inside the hand-over, before the frame is counted (to stop the capture from there).
    std::function<void(const CReceivedFrame&)> onFrame;

    void OnCapturedPacket(const pcap_pkthdr& header, std::span<const std::uint8_t> data) override {
        CReceivedFrame frame{{data.begin(), data.end()}, header.len, header.caplen};
        if (onFrame) {
            onFrame(frame);
        }
        {
            std::lock_guard lock(m_mutex);
            m_frames.push_back(std::move(frame));
        }
        m_changed.notify_all();
    }
    // As the consumer of a hand-over: every frame is taken until `takes` says no.
    std::function<bool(const CReceivedFrame&)> takes;
    bool TakeFrame(const pcap_pkthdr& header, std::span<const std::uint8_t> data) override {
        OnCapturedPacket(header, data);
        return !takes || takes(Frames().back());
    }
    void FramesTaken() override { ++passes; }
    int passes = 0;

    void OnCaptureFailed(const std::string& message) override {
        {
            std::lock_guard lock(m_mutex);
            m_failures.push_back(message);
        }
        m_changed.notify_all();
    }

    std::vector<CReceivedFrame> Frames() const {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    std::vector<std::string> Failures() const {
        std::lock_guard lock(m_mutex);
        return m_failures;
    }
    bool WaitForFailure(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return !m_failures.empty(); });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<CReceivedFrame> m_frames;
    std::vector<std::string> m_failures;
};

}  // namespace wirelark::test
