// The adapter list: enumeration against made-up device lists, the description lookup, and
// which devices deliver Ethernet frames.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "capture/capture_engine.h"
#include "support/capture_fakes.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CFakeDeviceSource;
using test::CRecordingMessageSink;
using test::MakeDevice;

// A device whose description is there but empty, as some drivers report it.
CDeviceEntry WithEmptyDescription(const char* name) {
    CDeviceEntry device = MakeDevice(name);
    device.description = "";
    return device;
}

TEST(AdapterList, EnumerationEntersDevicesInOrderAndShowsTheRightMessages) {
    const struct {
        std::vector<CDeviceEntry> devices;
        bool fail;
        int result;
        std::vector<std::string> descriptions;
        std::vector<std::string> messages;
    } cases[] = {
        {{MakeDevice("\\Device\\NPF_{A}", "Intel(R) PRO/1000"), MakeDevice("eth0"),
          MakeDevice("wlan0", "Wireless"), WithEmptyDescription("veth1")},
         false,
         1,
         {"Intel(R) PRO/1000", "eth0", "Wireless", "veth1"},
         {}},
        {{}, false, 0, {}, {"No Interfaces found!"}},
        {{MakeDevice("")}, false, 0, {}, {"No Interfaces found!"}},
        {{MakeDevice("eth0")}, true, 0, {}, {"socket: Address family not supported by protocol"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.descriptions.size());
        CRecordingMessageSink sink;
        CFakeDeviceSource source;
        source.devices = c.devices;
        source.fail = c.fail;
        source.error = "socket: Address family not supported by protocol";
        CCaptureEngine engine(sink, source);
        EXPECT_EQ(engine.EnumerateAdapters(), c.result);
        std::vector<std::string> descriptions{"kept"};
        engine.GetAdapterDescriptions(descriptions);
        descriptions.erase(descriptions.begin());  // appended after what the array held
        EXPECT_EQ(descriptions, c.descriptions);
        EXPECT_EQ(sink.Texts(), c.messages);
    }
}

TEST(AdapterList, FindAdapterNameIsExactAndTakesTheLastOfEqualDescriptionsOfTheLastEnumeration) {
    CRecordingMessageSink sink;
    CFakeDeviceSource source;
    source.devices = {MakeDevice("old0")};
    CCaptureEngine engine(sink, source);
    ASSERT_EQ(engine.EnumerateAdapters(), 1);
    source.devices = {MakeDevice("dev-a", "Gigabit Adapter"), MakeDevice("dev-b", "Other"),
                      MakeDevice("dev-c", "Gigabit Adapter"), MakeDevice("eth0")};
    ASSERT_EQ(engine.EnumerateAdapters(), 1);
    for (const auto& [description, name] :
         std::vector<std::pair<std::string, std::string>>{{"Gigabit Adapter", "dev-c"},
                                                          {"Other", "dev-b"},
                                                          {"eth0", "eth0"},
                                                          {"old0", ""},
                                                          {"gigabit adapter", ""},
                                                          {"Gigabit Adapter ", ""},
                                                          {"", ""},
                                                          {"ETH0", ""}}) {
        EXPECT_EQ(engine.FindAdapterName(description), name) << '"' << description << '"';
    }
    source.fail = true;
    EXPECT_EQ(engine.EnumerateAdapters(), 0);
    EXPECT_EQ(engine.FindAdapterName("Other"), "") << "a failed enumeration leaves no entry";
}

TEST(AdapterList, OnlyDevicesOfAnEthernetOrLoopbackLinkTypeDeliverEthernet) {
    const test::CScratchFolder root;
    const struct {
        const char* name;
        const char* type;  // null: the device's folder has no type file
        bool ethernet;
    } devices[] = {{"eth0", "1\n", true},
                   {"lo", "772\n", true},
                   {"tun0", "65534\n", false},
                   {"usbmon0", nullptr, false}};
    for (const auto& device : devices) {
        std::filesystem::create_directory(root.Path() / device.name);
        if (device.type != nullptr) {
            std::ofstream(root.Path() / device.name / "type") << device.type;
        }
    }
    for (const auto& device : devices) {
        EXPECT_EQ(DeliversEthernet(device.name, root.Path()), device.ethernet) << device.name;
    }
    EXPECT_FALSE(DeliversEthernet("any", root.Path())) << "a pseudo-device has no folder at all";
}

TEST(AdapterList, RealDeviceSourceListsLoopbackAndNoPseudoDevice) {
    // Every Linux machine has a loopback device, with its IPv4 address where one is set, and
    // libpcap always offers "any".
    std::vector<CDeviceEntry> devices;
    std::string error;
    ASSERT_TRUE(CPcapDeviceSource().FindAllDevices(devices, error)) << error;
    EXPECT_EQ(std::ranges::find(devices, "any", &CDeviceEntry::name), devices.end());
    const auto lo = std::ranges::find(devices, "lo", &CDeviceEntry::name);
    ASSERT_NE(lo, devices.end());
    for (const CDeviceAddress& address : lo->addresses) {
        if (address.family == AF_INET) {
            ASSERT_TRUE(address.address.has_value());
            EXPECT_EQ((*address.address)[0], 127);
        }
    }
}

}  // namespace
}  // namespace wirelark
