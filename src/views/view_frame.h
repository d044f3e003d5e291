// What the packet list view needs of the main window around it: the explorer tree and hex
// output, the status panes, the adapter box, the capture filter and the filter flags. The main
// frame implements it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "capture/packet_intake.h"

namespace wirelark {

class IViewFrame {
public:
    virtual ~IViewFrame() = default;

    virtual void ClearPacketTree() = 0;
    virtual void ClearOutput() = 0;
    // Rebuilds the explorer tree and shows the bytes in the hex output; an empty frame leaves
    // the hex output as it was.
    virtual void ShowPacket(int number, std::span<const std::uint8_t> frame) = 0;
    virtual void ReloadExplorerColors() = 0;

    virtual void SetCapturedPane(int captured) = 0;
    virtual void SetFilteredPane(int filtered) = 0;
    virtual void SetBufferPane(int percent) = 0;
    // The frames the kernel dropped in this capture; and a note in the message area on how the
    // last capture ended, empty to show the usual text again.
    virtual void SetDroppedPane(std::uint64_t dropped) = 0;
    virtual void ShowCaptureNote(const std::string& note) = 0;

    virtual void FillAdapterBox(const std::vector<std::string>& descriptions) = 0;
    virtual std::string GetSelectedAdapter() const = 0;
    // The capture filter typed on the adapter bar (libpcap's language; empty for none), and
    // the note that a capture has started with it, so that it is offered again.
    virtual std::string GetCaptureFilter() const = 0;
    virtual void CaptureFilterUsed(const std::string& expression) = 0;

    virtual const CFilterFlags& GetFilterFlags() const = 0;
};

}  // namespace wirelark
