// libpcap's device list, copied into plain values and released at once, and libpcap's live
// capture opened with the engine's settings.
#include "capture/device_source.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>

#include "capture/capabilities.h"

namespace wirelark {
namespace {

std::optional<Ipv4Bytes> Ipv4Of(const sockaddr* address) {
    if (address == nullptr) {
        return std::nullopt;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    Ipv4Bytes bytes{};
    std::memcpy(bytes.data(), &in->sin_addr, bytes.size());
    return bytes;
}

struct DeviceListDeleter {
    void operator()(pcap_if_t* list) const { pcap_freealldevs(list); }
};

// Length of the well-formed UTF-8 sequence at the start of `text`, 0 if there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto inRange = [&](std::size_t i, unsigned low, unsigned high) {
        return i < text.size() && byte(i) >= low && byte(i) <= high;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    // The second byte's range excludes overlong forms, surrogates and code points past U+10FFFF.
    unsigned low = 0x80;
    unsigned high = 0xBF;
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (!inRange(1, low, high)) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!inRange(i, 0x80, 0xBF)) {
            return 0;
        }
    }
    return length;
}

std::string ValidUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t length = Utf8SequenceLength(bytes);
        if (length > 0) {
            text.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        } else {
            constexpr std::string_view kHex = "0123456789ABCDEF";
            const auto value = static_cast<unsigned char>(bytes.front());
            text += "\\x";
            text += kHex[value >> 4];
            text += kHex[value & 0x0F];
            bytes.remove_prefix(1);
        }
    }
    return text;
}

}  // namespace

std::string AdapterDescription(const CDeviceEntry& device) {
    if (device.description && !device.description->empty()) {
        return ValidUtf8(*device.description);
    }
    return ValidUtf8(device.name);
}

bool DeliversEthernet(const std::string& name, const std::filesystem::path& netClassRoot) {
    constexpr long kEthernet = 1;    // ARPHRD_ETHER
    constexpr long kLoopback = 772;  // ARPHRD_LOOPBACK, which libpcap delivers as Ethernet
    // A name is one folder below the root, never a path out of it.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return false;
    }
    std::ifstream file(netClassRoot / name / "type");
    long type = 0;
    if (!(file >> type)) {
        return false;
    }
    return type == kEthernet || type == kLoopback;
}

bool CPcapDeviceSource::FindAllDevices(std::vector<CDeviceEntry>& devices, std::string& error) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* raw = nullptr;
    if (pcap_findalldevs(&raw, errbuf) == -1) {
        error = errbuf;
        return false;
    }
    std::unique_ptr<pcap_if_t, DeviceListDeleter> list(raw);
    for (const pcap_if_t* dev = list.get(); dev != nullptr; dev = dev->next) {
        CDeviceEntry entry;
        entry.name = dev->name ? dev->name : "";
        // Every frame is decoded as Ethernet, so other devices could never be captured from.
        if (!DeliversEthernet(entry.name, m_netClassRoot)) {
            continue;
        }
        if (dev->description != nullptr) {
            entry.description = dev->description;
        }
        for (const pcap_addr_t* a = dev->addresses; a != nullptr; a = a->next) {
            CDeviceAddress address;
            address.family = a->addr ? a->addr->sa_family : 0;
            if (address.family == AF_INET) {
                address.address = Ipv4Of(a->addr);
                address.netmask = Ipv4Of(a->netmask);
                address.broadcast = Ipv4Of(a->broadaddr);
            }
            entry.addresses.push_back(address);
        }
        devices.push_back(std::move(entry));
    }
    return true;
}

pcap_t* CPcapDeviceSource::OpenDevice(const std::string& name, const CCaptureSettings& settings,
                                      CDeviceOpenFailure& failure) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    errno = 0;
    pcap_t* handle = pcap_create(name.c_str(), errbuf);
    if (handle == nullptr) {
        failure = {PCAP_ERROR, errno, errbuf};
        return nullptr;
    }
    // pcap_create + pcap_activate instead of pcap_open_live, for a kernel buffer large enough
    // not to drop frames under load.
    pcap_set_snaplen(handle, settings.snapLength);
    pcap_set_promisc(handle, settings.promiscuous ? 1 : 0);
    pcap_set_timeout(handle, settings.readTimeoutMs);
    pcap_set_buffer_size(handle, settings.kernelBufferBytes);
    int status = 0;
    int systemError = 0;
    {
        // The only step that needs the raw-capture rights: it opens the socket.
        const CCaptureCapabilityScope rights;
        errno = 0;
        status = pcap_activate(handle);
        systemError = errno;  // before giving the rights back, which may set it
    }
    if (status < 0) {
        std::string text = pcap_geterr(handle);
        if (text.empty()) {
            text = pcap_statustostr(status);
        }
        failure = {status, systemError, std::move(text)};
        pcap_close(handle);
        return nullptr;
    }
    return handle;
}

IDeviceSource& DefaultDeviceSource() {
    static CPcapDeviceSource source;
    return source;
}

}  // namespace wirelark
