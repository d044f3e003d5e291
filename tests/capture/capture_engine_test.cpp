// The capture engine over a device source that refuses to open its devices.
#include "capture/capture_engine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/capture_fakes.h"
#include "support/collecting_receiver.h"

namespace wirelark {
namespace {

using namespace std::chrono_literals;

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
