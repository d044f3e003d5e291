// The capture engine against a real device: a veth pair in a private network namespace, with
// frames injected on one end and captured on the other.
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "capture/capabilities.h"
#include "capture/capture_engine.h"
#include "capture/frame_handover.h"
#include "support/capture_fakes.h"
#include "support/collecting_receiver.h"
#include "support/frame_builder.h"
#include "support/test_network.h"

namespace wirelark {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::MakeTestFrame;

// Probes carry sequences from here up, each one its own, so that a probe that an earlier capture
// still delivers is never taken for a sign that the new one is up.
constexpr std::uint32_t kProbe = 0xFFFF0000;

std::uint32_t SequenceOf(const std::vector<std::uint8_t>& frame) {
    return frame.size() < 18 ? 0
                             : static_cast<std::uint32_t>(frame[14] << 24 | frame[15] << 16 |
                                                          frame[16] << 8 | frame[17]);
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Frames arrive up to one read timeout late (the kernel hands over whole blocks). A given
// hand-over is served meanwhile, this thread playing the window's.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout,
             CFrameHandover* serve = nullptr) {
    for (const auto until = Clock::now() + timeout;; std::this_thread::sleep_for(5ms)) {
        if (serve != nullptr) {
            serve->ServicePending();
        }
        if (done() || Clock::now() >= until) {
            return done();
        }
    }
}

class LiveCapture : public testing::Test {
protected:
    void SetUp() override {
        const std::string why = test::CTestNetwork::WhyUnavailable();
        if (!why.empty()) {
            GTEST_SKIP() << "live capture test skipped: " << why;
        }
        m_network = std::make_unique<test::CTestNetwork>();
        ASSERT_TRUE(m_network->Ok()) << m_network->Error();
        m_injector = std::make_unique<test::CFrameInjector>(m_network->SendingEnd());
        ASSERT_TRUE(m_injector->Ok()) << m_injector->Error();
        m_engine = std::make_unique<CCaptureEngine>(m_sink);
    }

    // Kept by a test whose callbacks use its locals: ends the capture before they go away,
    // closing `handover` first, which releases a worker that waits for this thread.
    std::shared_ptr<void> StopAtEnd(CFrameHandover* handover = nullptr) {
        return {nullptr, [this, handover](void*) {
                    if (handover != nullptr) {
                        handover->Close();
                    }
                    m_engine.reset();
                }};
    }

    // The worker opens the device some time after Start: probe until a frame comes through.
    // Probes still in the kernel's block would come through later, on a loaded machine long
    // after: a last probe of its own is waited for, and frames keep their order, so none is
    // left behind it.
    bool WaitUntilCapturing(CFrameHandover* serve = nullptr) {
        const auto arrived = [&](std::uint32_t id) {
            return std::ranges::any_of(m_receiver.Frames(),
                                       [&](const auto& f) { return SequenceOf(f.bytes) == id; });
        };
        const std::uint32_t first = kProbe + m_probes++;
        bool capturing = false;
        for (int i = 0; i < 250 && !capturing; ++i) {
            m_injector->Inject(MakeTestFrame(first, 60));
            capturing = WaitFor([&] { return arrived(first); }, 20ms, serve);
        }
        const std::uint32_t last = kProbe + m_probes++;
        return capturing && m_injector->Inject(MakeTestFrame(last, 60)) &&
               WaitFor([&] { return arrived(last); }, 5s, serve);
    }

    // Starts a capture that delivers to the receiver, through `handover` if given, and waits
    // until it does.
    bool StartAndWait(CFrameHandover* handover = nullptr) {
        m_engine->SetTargetWindow(handover != nullptr ? static_cast<IPacketReceiver*>(handover)
                                                      : &m_receiver);
        return m_engine->StartCapture(Device()) == 1 && WaitUntilCapturing(handover);
    }

    std::vector<test::CReceivedFrame> FramesWithoutProbes() const {
        auto frames = m_receiver.Frames();
        std::erase_if(frames, [](const auto& frame) { return SequenceOf(frame.bytes) >= kProbe; });
        return frames;
    }

    bool WaitForTestFrames(std::size_t count) const {
        return WaitFor([&] { return FramesWithoutProbes().size() >= count; }, 5s);
    }

    const std::string& Device() const { return m_network->CapturingEnd(); }

    test::CRecordingMessageSink m_sink;
    test::CCollectingReceiver m_receiver;  // outlives the engine, whose worker may still deliver
    std::unique_ptr<test::CTestNetwork> m_network;
    std::unique_ptr<test::CFrameInjector> m_injector;
    std::unique_ptr<CCaptureEngine> m_engine;  // joins its worker before the network goes away
    std::uint32_t m_probes = 0;
};

TEST_F(LiveCapture, CapturesInTurnDeliverEachFrameOnceByteForByteAndStopPromptlyWhenQuiet) {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    m_receiver.onFrame = [&](const test::CReceivedFrame&) {
        overlaps += ++inside > 1 ? 1 : 0;
        std::this_thread::sleep_for(1ms);
        --inside;
    };
    const auto stopAtEnd = StopAtEnd();
    const std::size_t lengths[] = {60, 61, 64, 100, 128, 500, 1000, 1513, 1514};
    std::vector<std::vector<std::uint8_t>> sent;
    // The second capture is not stopped: the third starts while it runs, and only one worker
    // may deliver. The first starts without a target; the worker reads it anew for each frame.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(m_engine->StartCapture(Device()), 1);
        std::this_thread::sleep_for(round == 0 ? 100ms : 0ms);
        m_engine->SetTargetWindow(&m_receiver);
        ASSERT_TRUE(WaitUntilCapturing());
        EXPECT_EQ(m_engine->IsCapturing(), 1);
        EXPECT_EQ(m_engine->GetAdapterName(), Device());
        unsigned flags = 0;
        std::ifstream(m_network->NetClassRoot() + "/" + Device() + "/flags") >> std::hex >> flags;
        EXPECT_NE(flags & IFF_PROMISC, 0u) << "the device is not in promiscuous mode";
        for (int i = 0; i < 30; ++i) {
            const auto sequence = static_cast<std::uint32_t>(sent.size());
            sent.push_back(MakeTestFrame(sequence, lengths[sequence % std::size(lengths)]));
            ASSERT_TRUE(m_injector->Inject(sent.back()));
        }
        ASSERT_TRUE(WaitForTestFrames(sent.size()));
        if (round == 1) {
            continue;
        }
        // The worker is now blocked in a read on a quiet device.
        std::this_thread::sleep_for(300ms);
        const auto start = Clock::now();
        EXPECT_EQ(m_engine->StopCapture(), 1);
        EXPECT_LT(MillisecondsSince(start), CCaptureEngine::kReadTimeoutMs + 500);
        EXPECT_EQ(m_engine->IsCapturing(), 0);
    }
    m_injector->Inject(MakeTestFrame(1, 60));
    std::this_thread::sleep_for(CCaptureEngine::kReadTimeoutMs * 1ms + 200ms);
    const auto frames = FramesWithoutProbes();
    ASSERT_EQ(frames.size(), sent.size()) << "a frame was delivered twice or after a stop";
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(frames[i].bytes, sent[i]) << "frame " << i;
        EXPECT_EQ(frames[i].wireLength, sent[i].size()) << "frame " << i;
        EXPECT_EQ(frames[i].capturedLength, sent[i].size()) << "frame " << i;
    }
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_TRUE(m_receiver.Failures().empty());
    EXPECT_TRUE(m_sink.Texts().empty());
}

TEST_F(LiveCapture, AFailedCaptureEndsWithAMessageNamingTheDeviceAndEnablesStartAgain) {
    m_engine->SetTargetWindow(&m_receiver);
    const auto startOn = [&](const std::string& device) {
        return m_engine->StartCapture(device) == 1;
    };
    const std::string setcap = "sudo setcap cap_net_raw,cap_net_admin+eip " +
                               std::filesystem::canonical("/proc/self/exe").string();
    const struct {
        const char* name;
        std::function<bool()> cause;
        std::string begins;
        std::string contains;
    } cases[] = {
        // libpcap's own text, which names the device.
        {"NoSuchDevice", [&] { return startOn("wlnosuch0"); }, "", "wlnosuch0"},
        {"NotEthernet", [&] { return startOn("any"); }, "any: not an Ethernet adapter", ""},
        // A thread of its own gives up root and every capability (credentials are per thread
        // here, as the raw system call changes only its caller), and so does the worker it starts.
        {"NoRights",
         [&] {
             bool started = false;
             std::thread user([&] {
                 started = syscall(SYS_setresuid, 65534, 65534, 65534) == 0 && startOn(Device());
             });
             user.join();
             return started;
         },
         Device() + ": ", setcap},
        // A filter the device cannot take; the next Start goes without it.
        {"BadFilter",
         [&] {
             m_engine->SetCaptureFilter("udp prt 9");
             const bool started = startOn(Device());
             m_engine->SetCaptureFilter("");
             return started;
         },
         "The capture filter \"udp prt 9\" cannot be used: ", "syntax error"},
        // Removing one end of the pair removes both; the child runs in this thread's namespace.
        {"DeviceRemoved",
         [&] {
             return StartAndWait() &&
                    std::system(("ip link del " + Device() + " >/dev/null 2>&1").c_str()) == 0;
         },
         Device() + ": ", ""},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.cause());
        ASSERT_TRUE(WaitFor([&] { return m_receiver.Failures().size() > i; }, 3s));
        EXPECT_TRUE(WaitFor([&] { return m_engine->IsCapturing() == 0; }, 1s));
        const std::string failure = m_receiver.Failures().back();
        EXPECT_TRUE(failure.starts_with(c.begins)) << failure;
        EXPECT_NE(failure.find(c.contains), std::string::npos) << failure;
    }
    EXPECT_EQ(m_receiver.Failures().size(), std::size(cases));
}

TEST_F(LiveCapture, AStopFromInsideADeliveryReturnsAtOnce) {
    std::atomic<long long> stopMs{-1};
    std::atomic<bool> stopped{false};
    m_receiver.onFrame = [&](const test::CReceivedFrame& frame) {
        // A receiver that stops the capture on the worker itself, inside the delivery.
        if (SequenceOf(frame.bytes) < kProbe && !stopped.exchange(true)) {
            const auto start = Clock::now();
            m_engine->StopCapture();
            stopMs = MillisecondsSince(start);
        }
    };
    const auto stopAtEnd = StopAtEnd();
    ASSERT_TRUE(StartAndWait());
    for (std::uint32_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(m_injector->Inject(MakeTestFrame(i, 60)));
    }
    ASSERT_TRUE(WaitForTestFrames(1));
    std::this_thread::sleep_for(CCaptureEngine::kReadTimeoutMs * 1ms + 200ms);
    EXPECT_GE(stopMs.load(), 0);
    EXPECT_LT(stopMs.load(), 500);
    EXPECT_EQ(m_engine->IsCapturing(), 0);
    EXPECT_EQ(FramesWithoutProbes().size(), 1u)
        << "frames after the one that stopped the capture were delivered";
}

TEST_F(LiveCapture, AStopWhileTheQueueIsFullReturnsAtOnceAndWhatWasQueuedIsHandedOverInOrder) {
    // Room for four 60-byte frames: the worker waits for the consumer behind the fourth.
    CFrameHandover handover(
        m_receiver, [] {}, 300);
    const auto stopAtEnd = StopAtEnd(&handover);
    ASSERT_TRUE(StartAndWait(&handover));
    for (std::uint32_t i = 1; i <= 10; ++i) {
        ASSERT_TRUE(m_injector->Inject(MakeTestFrame(i, 60)));
    }
    std::this_thread::sleep_for(CCaptureEngine::kReadTimeoutMs * 1ms + 300ms);

    const auto start = Clock::now();
    EXPECT_EQ(m_engine->StopCapture(), 1);
    EXPECT_LT(MillisecondsSince(start), 500) << "the stop waited for the consumer";
    EXPECT_EQ(m_engine->IsCapturing(), 0);
    EXPECT_EQ(handover.ServicePending(), 4);
    m_engine.reset();
    EXPECT_EQ(handover.ServicePending(), 0) << "a frame read after the stop was delivered";
    std::vector<std::uint32_t> sequences;
    for (const auto& frame : FramesWithoutProbes()) {
        sequences.push_back(SequenceOf(frame.bytes));
    }
    EXPECT_EQ(sequences, (std::vector<std::uint32_t>{1, 2, 3, 4}));
}

// The kernel applies the filter: frames it rejects never reach the receiver.
TEST_F(LiveCapture, ACaptureFilterLetsThroughOnlyTheFramesItMatches) {
    const auto stopAtEnd = StopAtEnd();
    // UDP to port 9, and the probes (sequences from 0xFFFF0000) so that the start can be seen.
    m_engine->SetCaptureFilter("udp dst port 9 or (ether proto 0x88b5 and ether[14:2] = 0xffff)");
    ASSERT_TRUE(StartAndWait());
    const auto udp = [](std::uint16_t source, std::uint16_t destination) {
        return test::CFrameBuilder()
            .Ethernet()
            .Ipv4({.protocol = 17})
            .Udp({.sourcePort = source, .destinationPort = destination})
            .Payload(20)
            .Build();
    };
    const std::vector<std::vector<std::uint8_t>> wanted = {udp(1001, 9), udp(1002, 9),
                                                           udp(1003, 9)};
    const std::vector<std::vector<std::uint8_t>> sent = {
        wanted[0],
        udp(1001, 10),
        test::CFrameBuilder().Ethernet().Ipv4().Tcp({.destinationPort = 9}).Build(),
        wanted[1],
        test::CFrameBuilder().Ethernet({.etherType = 0x0806}).Arp().Build(),
        MakeTestFrame(7, 60),
        udp(9, 1003),
        wanted[2]};
    for (const auto& frame : sent) {
        ASSERT_TRUE(m_injector->Inject(frame));
    }
    // Frames keep their order: once a last probe is in, everything before it has been judged.
    const std::uint32_t last = kProbe + m_probes++;
    ASSERT_TRUE(m_injector->Inject(MakeTestFrame(last, 60)));
    ASSERT_TRUE(WaitFor(
        [&] {
            return std::ranges::any_of(m_receiver.Frames(),
                                       [&](const auto& f) { return SequenceOf(f.bytes) == last; });
        },
        5s));
    std::vector<std::vector<std::uint8_t>> delivered;
    for (const auto& frame : FramesWithoutProbes()) {
        delivered.push_back(frame.bytes);
    }
    EXPECT_EQ(delivered, wanted);
    EXPECT_TRUE(m_receiver.Failures().empty());
}

// Every thread's effective capabilities, from /proc: 0 when none holds any.
unsigned long long EffectiveCapabilitiesOfAnyThread() {
    unsigned long long any = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("CapEff:")) {
                any |= std::stoull(line.substr(7), nullptr, 16);
            }
        }
    }
    return any;
}

// As a user given only the two capabilities on the program's file, not root: what fails, by
// number, in the forked process.
int CaptureWithFileCapabilities(const std::string& device, test::CFrameInjector& injector) {
    cap_t caps = cap_from_text("cap_net_raw,cap_net_admin+ep");
    const bool bUser = prctl(PR_SET_KEEPCAPS, 1) == 0 && setresgid(65534, 65534, 65534) == 0 &&
                       setresuid(65534, 65534, 65534) == 0 && cap_set_proc(caps) == 0;
    cap_free(caps);
    if (!bUser || EffectiveCapabilitiesOfAnyThread() == 0) {
        return 10;  // the setting up failed
    }
    if (!DropEffectiveCapabilities() || EffectiveCapabilitiesOfAnyThread() != 0) {
        return 11;
    }
    test::CRecordingMessageSink sink;
    test::CCollectingReceiver receiver;
    CCaptureEngine engine(sink);
    engine.SetTargetWindow(&receiver);
    if (engine.StartCapture(device) != 1) {
        return 12;
    }
    bool bCapturing = false;
    for (int i = 0; i < 250 && !bCapturing; ++i) {
        injector.Inject(MakeTestFrame(kProbe, 60));
        bCapturing = WaitFor([&] { return !receiver.Frames().empty(); }, 20ms);
    }
    if (!bCapturing) {
        return receiver.Failures().empty() ? 13 : 14;  // 14: the opening was refused
    }
    const int result = EffectiveCapabilitiesOfAnyThread() == 0 ? 0 : 15;
    engine.StopCapture();
    return result;
}

TEST_F(LiveCapture, WithFileCapabilitiesOnlyTheOpeningOfTheDeviceHoldsThemEffective) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        _exit(CaptureWithFileCapabilities(Device(), *m_injector));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 setting up, 11 dropping, 12 starting, 13 no frame, "
                                         "14 opening refused, 15 a thread holds capabilities";
}

TEST_F(LiveCapture, DestroyingTheEngineMidCaptureStopsAndJoinsTheWorker) {
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateFrames{0};
    m_receiver.onFrame = [&](const test::CReceivedFrame&) { lateFrames += destroyed ? 1 : 0; };
    const auto stopAtEnd = StopAtEnd();
    ASSERT_TRUE(StartAndWait());
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        for (std::uint32_t i = 0; sending.load() && i < 100000; ++i) {
            m_injector->Inject(MakeTestFrame(i, 200));
        }
    });
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    m_engine.reset();
    destroyed = true;
    EXPECT_LT(MillisecondsSince(start), CCaptureEngine::kReadTimeoutMs + 500);
    sending = false;
    sender.join();
    EXPECT_EQ(lateFrames.load(), 0);
}

TEST_F(LiveCapture, EnumerationOffersOnlyTheEthernetDevicesUnderTheirNames) {
    CPcapDeviceSource devices(m_network->NetClassRoot());
    CCaptureEngine engine(m_sink, devices);
    ASSERT_EQ(engine.EnumerateAdapters(), 1);
    std::vector<std::string> descriptions;
    engine.GetAdapterDescriptions(descriptions);
    std::sort(descriptions.begin(), descriptions.end());
    EXPECT_EQ(descriptions, (std::vector<std::string>{"lo", Device(), m_network->SendingEnd()}));
    EXPECT_EQ(engine.FindAdapterName(Device()), Device());
    EXPECT_TRUE(m_sink.Texts().empty());
}

}  // namespace
}  // namespace wirelark
