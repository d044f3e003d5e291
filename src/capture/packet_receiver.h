// Where the capture worker hands each frame: the list view (through a hand-over to its own
// thread) or, in tests and benchmarks, anything that takes frames.
#pragma once

#include <pcap/pcap.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace wirelark {

class IPacketReceiver {
public:
    virtual ~IPacketReceiver() = default;
    // Called on the capture worker for every frame. The header and bytes belong to libpcap and
    // stay valid only until this returns, so it must not return before the frame was handled.
    virtual void OnCapturedPacket(const pcap_pkthdr& header,
                                  std::span<const std::uint8_t> data) = 0;
    // Called on the capture worker, after the capture has ended, when the adapter could not be
    // opened or failed while capturing; the receiver shows the text on its own thread.
    virtual void OnCaptureFailed(const std::string& message) = 0;
    // Called on the capture worker before it reads the next frame: false when the receiver
    // still has no room for one after `timeout`, and the worker asks again (the kernel's buffer
    // holds the frames meanwhile).
    virtual bool WaitForRoom(std::chrono::milliseconds /*timeout*/) { return true; }
};

}  // namespace wirelark
