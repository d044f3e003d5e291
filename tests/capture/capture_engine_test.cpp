// The capture engine over made-up devices: the adapter list, the description lookup and the
// messages of a refused opening; capture filters and the recent ones; and which real devices it
// offers.
#include "capture/capture_engine.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "capture/capture_filter.h"
#include "support/capture_fakes.h"
#include "support/collecting_receiver.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using namespace std::chrono_literals;
using test::CFakeDeviceSource;
using test::CRecordingMessageSink;
using test::MakeDevice;

TEST(AdapterList, EachEnumerationReplacesTheEntriesInOrderAndShowsTheRightMessages) {
    CRecordingMessageSink sink;
    CFakeDeviceSource source;
    source.error = "socket: Address family not supported by protocol";
    CCaptureEngine engine(sink, source);
    CDeviceEntry emptyDescription = MakeDevice("veth1");  // there but empty, as some drivers say
    emptyDescription.description = "";
    const struct {
        std::vector<CDeviceEntry> devices;
        bool fail;
        std::vector<std::string> descriptions;  // none: the enumeration returns 0
        std::vector<std::string> messages;
    } cases[] = {
        {{MakeDevice("\\Device\\NPF_{A}", "Intel(R) PRO/1000"), MakeDevice("eth0"),
          MakeDevice("wlan0", "Wireless"), emptyDescription},
         false,
         {"Intel(R) PRO/1000", "eth0", "Wireless", "veth1"},
         {}},
        {{MakeDevice("eth0")}, true, {}, {"socket: Address family not supported by protocol"}},
        {{MakeDevice("eth1")}, false, {"eth1"}, {}},
        {{MakeDevice("")}, false, {}, {"No Interfaces found!"}},
        {{}, false, {}, {"No Interfaces found!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices.size());
        source.devices = c.devices;
        source.fail = c.fail;
        const std::size_t shown = sink.Texts().size();
        EXPECT_EQ(engine.EnumerateAdapters(), c.descriptions.empty() ? 0 : 1);
        std::vector<std::string> descriptions{"kept"};
        engine.GetAdapterDescriptions(descriptions);
        descriptions.erase(descriptions.begin());  // appended after what the array held
        EXPECT_EQ(descriptions, c.descriptions);
        const auto texts = sink.Texts();
        EXPECT_EQ(std::vector<std::string>(texts.begin() + shown, texts.end()), c.messages);
    }
}

TEST(AdapterList, FindAdapterNameIsExactAndTakesTheLastOfEqualDescriptions) {
    CRecordingMessageSink sink;
    CFakeDeviceSource source;
    source.devices = {MakeDevice("dev-a", "Gigabit Adapter"), MakeDevice("dev-b", "Other"),
                      MakeDevice("dev-c", "Gigabit Adapter"), MakeDevice("eth0")};
    CCaptureEngine engine(sink, source);
    ASSERT_EQ(engine.EnumerateAdapters(), 1);
    const std::pair<const char*, const char*> lookups[] = {
        {"Gigabit Adapter", "dev-c"}, {"Other", "dev-b"}, {"eth0", "eth0"}, {"gigabit adapter", ""},
        {"Gigabit Adapter ", ""},     {"", ""},           {"ETH0", ""}};
    for (const auto& [description, name] : lookups) {
        EXPECT_EQ(engine.FindAdapterName(description), name) << '"' << description << '"';
    }
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

TEST(CaptureFilter, ExpressionsAreCheckedForEthernetAndTheRecentOnesKeptInOrder) {
    const struct {
        const char* expression;
        const char* error;  // part of libpcap's text; "" when it compiles
    } cases[] = {{"", ""},
                 {"  \t", ""},
                 {"tcp port 443", ""},
                 {"host 10.0.0.5 and not arp", ""},
                 {"ether[14:2] = 0xffff", ""},
                 {"tcp prt 443", "syntax error"},
                 {"ip broadcast", "netmask"},
                 {"wlan addr1 00:11:22:33:44:55", "802.11"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        const std::string error = CheckCaptureFilter(c.expression);
        EXPECT_EQ(error.empty(), *c.error == '\0') << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }

    std::vector<std::string> history;
    for (int i = 1; i <= 12; ++i) {
        history = RememberCaptureFilter(history, "port " + std::to_string(i));
    }
    history = RememberCaptureFilter(history, "port 5");
    history = RememberCaptureFilter(history, " ");
    EXPECT_EQ(history,
              (std::vector<std::string>{"port 5", "port 12", "port 11", "port 10", "port 9",
                                        "port 8", "port 7", "port 6", "port 4", "port 3"}));
}

TEST(CaptureEngine, AnOpeningRefusedForWantOfRightsSaysHowToGrantThem) {
    const std::string setcap = "sudo setcap cap_net_raw,cap_net_admin+eip " +
                               std::filesystem::canonical("/proc/self/exe").string();
    const struct {
        CDeviceOpenFailure failure;
        const char* shown;  // libpcap's text as the message begins
        bool advice;
    } cases[] = {
        {{PCAP_ERROR_PERM_DENIED, 0, "socket: Operation not permitted"},
         "eth0: socket: Operation not permitted",
         true},
        {{PCAP_ERROR_PROMISC_PERM_DENIED, 0, "eth0: promiscuous mode not permitted"},
         "eth0: promiscuous mode not permitted",
         true},
        {{PCAP_ERROR, EPERM, "setsockopt: Operation not permitted"},
         "eth0: setsockopt: Operation not permitted",
         true},
        {{PCAP_ERROR, EACCES, "bind: Permission denied"}, "eth0: bind: Permission denied", true},
        {{PCAP_ERROR_NO_SUCH_DEVICE, EPERM, "No such device exists"},
         "eth0: No such device exists",
         false},
        {{PCAP_ERROR, ENETDOWN, "eth0: That device is not up"},
         "eth0: That device is not up",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        test::CRecordingMessageSink sink;
        test::CFakeDeviceSource devices;
        devices.openFailure = c.failure;
        test::CCollectingReceiver receiver;
        CCaptureEngine engine(sink, devices);
        engine.SetTargetWindow(&receiver);
        ASSERT_EQ(engine.StartCapture("eth0"), 1);
        ASSERT_TRUE(receiver.WaitForFailure(5s));
        EXPECT_EQ(devices.Opened(), std::vector<std::string>{"eth0"});
        const std::string message = receiver.Failures().at(0);
        EXPECT_TRUE(message.starts_with(c.shown)) << message;
        if (c.advice) {
            EXPECT_NE(message.find("root"), std::string::npos) << message;
            EXPECT_TRUE(message.ends_with(setcap)) << message;
        } else {
            EXPECT_EQ(message, c.shown);
        }
    }
}

}  // namespace
}  // namespace wirelark
