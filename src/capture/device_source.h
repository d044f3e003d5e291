// The seam between Wirelark and libpcap's devices, listing them and opening one for capture, so
// that tests can hand the capture engine and the adapter information dialog made-up devices.
#pragma once

#include <pcap/pcap.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wirelark {

using Ipv4Bytes = std::array<std::uint8_t, 4>;  // network order

struct CDeviceAddress {
    int family = 0;  // AF_INET, AF_INET6, AF_PACKET, ...
    // Filled only for IPv4 addresses; the mask and broadcast address are read as IPv4 as they
    // stand.
    std::optional<Ipv4Bytes> address;
    std::optional<Ipv4Bytes> netmask;
    std::optional<Ipv4Bytes> broadcast;
};

struct CDeviceEntry {
    std::string name;  // bytes as the kernel has them, not necessarily UTF-8
    std::optional<std::string> description;
    std::vector<CDeviceAddress> addresses;
};

// Ordinary Linux interfaces come without a description; they are offered under their device
// name so that they can be chosen and found again. The text is always valid UTF-8, bytes that
// are not written as \xHH, so that it comes back unchanged from the adapter box.
std::string AdapterDescription(const CDeviceEntry& device);

// How a device is opened for live capture.
struct CCaptureSettings {
    int snapLength = 0;
    bool promiscuous = false;
    int readTimeoutMs = 0;
    int kernelBufferBytes = 0;
};

// Why a device could not be opened, as libpcap said it.
struct CDeviceOpenFailure {
    int status = 0;       // PCAP_ERROR or one of the more precise PCAP_ERROR_... codes
    int systemError = 0;  // errno right after the failing call
    std::string text;     // libpcap's own text
};

class IDeviceSource {
public:
    virtual ~IDeviceSource() = default;
    // Fills `devices` in the library's order; on failure returns false with the library's text.
    virtual bool FindAllDevices(std::vector<CDeviceEntry>& devices, std::string& error) = 0;
    // Opens and activates the device `name`; null with `failure` filled when that fails. The
    // caller closes the handle.
    virtual pcap_t* OpenDevice(const std::string& name, const CCaptureSettings& settings,
                               CDeviceOpenFailure& failure) = 0;
};

// Where Linux describes the network devices of this network namespace, one folder each.
inline const std::filesystem::path kSysClassNet = "/sys/class/net";

// Whether libpcap delivers the device's frames as Ethernet: its kernel link type, in the `type`
// file of its folder under `netClassRoot`, is 1 (Ethernet) or 772 (loopback). Pseudo-devices
// such as "any", nflog or usbmon have no folder there; tun devices have type 65534.
bool DeliversEthernet(const std::string& name, const std::filesystem::path& netClassRoot);

// The real source: libpcap's devices that deliver Ethernet frames, and libpcap's live capture.
class CPcapDeviceSource final : public IDeviceSource {
public:
    explicit CPcapDeviceSource(std::filesystem::path netClassRoot = kSysClassNet)
        : m_netClassRoot(std::move(netClassRoot)) {}

    bool FindAllDevices(std::vector<CDeviceEntry>& devices, std::string& error) override;
    pcap_t* OpenDevice(const std::string& name, const CCaptureSettings& settings,
                       CDeviceOpenFailure& failure) override;

private:
    std::filesystem::path m_netClassRoot;
};

// The process-wide source the engine and the dialog use unless told otherwise.
IDeviceSource& DefaultDeviceSource();

}  // namespace wirelark
