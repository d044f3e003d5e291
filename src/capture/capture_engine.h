// Runs one live capture at a time on a worker thread and hands each frame to the receiver;
// also owns the adapter list that the adapter box shows and Start looks names up in.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/adapter_info.h"
#include "capture/device_source.h"
#include "capture/packet_receiver.h"
#include "common/message_sink.h"

namespace wirelark {

class CCaptureSession;

// What the kernel says about a capture.
struct CCaptureStatistics {
    std::uint64_t received = 0;
    std::uint64_t dropped = 0;  // by the kernel for want of room, and by the interface
};

// The note shown when a capture ended with `dropped` frames lost by the kernel.
std::string DroppedFramesNote(std::uint64_t dropped);

class CCaptureEngine {
public:
    static constexpr int kSnapLength = 65536;
    static constexpr int kReadTimeoutMs = 1000;
    static constexpr int kStopWaitMs = 3000;
    // With the hand-over's queue, enough for the window to pause 50 ms while a flood of full-size
    // frames comes at 600 MB/s, without a drop.
    static constexpr int kKernelBufferBytes = 32 * 1024 * 1024;

    explicit CCaptureEngine(IMessageSink& messages, IDeviceSource& devices = DefaultDeviceSource());
    virtual ~CCaptureEngine();
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // Adapter list.
    int EnumerateAdapters();
    void ClearAdapters();
    void GetAdapterDescriptions(std::vector<std::string>& descriptions) const;
    std::string FindAdapterName(std::string description) const;

    // Capture session. A null target means frames are read and discarded.
    void SetTargetWindow(IPacketReceiver* target);
    // The capture filter that the next Start installs (libpcap's language; empty for none). One
    // that the device refuses ends that capture as a failure naming the expression.
    void SetCaptureFilter(std::string expression) { m_strCaptureFilter = std::move(expression); }
    int StartCapture(std::string adapterName);
    int StopCapture();
    int IsCapturing() const;
    std::string GetAdapterName() const;
    // Figures of the current or last capture: while it runs, as the worker last read them (a
    // few times a second); final once its worker has ended; zero before the first.
    CCaptureStatistics GetStatistics() const;

private:
    void RetireFinishedSessions();

    IMessageSink& m_messages;
    IDeviceSource& m_devices;
    std::vector<std::unique_ptr<CAdapterInfo>> m_adapters;

    std::atomic<IPacketReceiver*> m_pTarget{nullptr};
    std::string m_strAdapterName;
    std::string m_strCaptureFilter;
    // Only one worker hands over at a time, even while an old one finishes after a stop.
    std::mutex m_deliveryLock;
    std::unique_ptr<CCaptureSession> m_current;
    std::vector<std::unique_ptr<CCaptureSession>> m_retired;
};

}  // namespace wirelark
