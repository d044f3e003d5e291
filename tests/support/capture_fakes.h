// Stand-ins for the capture core's seams: a message sink that records what would be shown and a
// device source that returns a made-up device list and refuses to open any of them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "capture/device_source.h"
#include "common/message_sink.h"

namespace wirelark::test {

class CRecordingMessageSink final : public IMessageSink {
public:
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        std::lock_guard lock(m_mutex);
        m_texts.push_back(text);
        m_icons.push_back(icon);
    }
    std::vector<std::string> Texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    std::vector<MessageIcon> Icons() const {
        std::lock_guard lock(m_mutex);
        return m_icons;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    std::vector<MessageIcon> m_icons;
};

class CFakeDeviceSource final : public IDeviceSource {
public:
    std::vector<CDeviceEntry> devices;
    bool fail = false;
    std::string error = "fake enumeration failure";
    int calls = 0;
    // Every opening fails so.
    CDeviceOpenFailure openFailure{PCAP_ERROR_NO_SUCH_DEVICE, 0, "No such device exists"};

    bool FindAllDevices(std::vector<CDeviceEntry>& out, std::string& errorText) override {
        ++calls;
        if (fail) {
            errorText = error;
            return false;
        }
        out = devices;
        return true;
    }

    // Called on the capture worker.
    pcap_t* OpenDevice(const std::string& name, const CCaptureSettings&,
                       CDeviceOpenFailure& failure) override {
        std::lock_guard lock(m_mutex);
        m_opened.push_back(name);
        failure = openFailure;
        return nullptr;
    }
    // The names asked for, in order.
    std::vector<std::string> Opened() const {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_opened;
};

// A device as libpcap would report it; an empty description stands for none at all.
inline CDeviceEntry MakeDevice(std::string name, std::string description = {}) {
    CDeviceEntry device;
    device.name = std::move(name);
    if (!description.empty()) {
        device.description = std::move(description);
    }
    return device;
}

}  // namespace wirelark::test
