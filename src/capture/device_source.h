// The seam between Wirelark and libpcap's device enumeration, so that tests can hand the
// capture engine and the adapter information dialog a made-up device list.
#pragma once

#include <array>
#include <cstdint>
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
    std::string name;
    std::optional<std::string> description;
    std::vector<CDeviceAddress> addresses;
};

// Ordinary Linux interfaces come without a description; they are offered under their device
// name so that they can be chosen and found again.
std::string AdapterDescription(const CDeviceEntry& device);

class IDeviceSource {
public:
    virtual ~IDeviceSource() = default;
    // Fills `devices` in the library's order; on failure returns false with the library's text.
    virtual bool FindAllDevices(std::vector<CDeviceEntry>& devices, std::string& error) = 0;
};

// The real source: pcap_findalldevs.
class CPcapDeviceSource final : public IDeviceSource {
public:
    bool FindAllDevices(std::vector<CDeviceEntry>& devices, std::string& error) override;
};

// The process-wide source the engine and the dialog use unless told otherwise.
IDeviceSource& DefaultDeviceSource();

}  // namespace wirelark
