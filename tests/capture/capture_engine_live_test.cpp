// The capture engine against a real device: a veth pair in a private network namespace, with
// frames injected on one end and captured on the other.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "capture/capture_engine.h"
#include "capture/frame_handover.h"
#include "support/capture_fakes.h"
#include "support/collecting_receiver.h"
#include "support/test_network.h"

namespace wirelark {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::CCollectingReceiver;
using test::CFrameInjector;
using test::CTestNetwork;
using test::MakeTestFrame;

// Probes carry sequences from here up, each one its own, so that a probe that an earlier capture
// still delivers is never taken for a sign that the new one is up.
constexpr std::uint32_t kProbe = 0xFFFF0000;

std::uint32_t SequenceOf(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < 18) {
        return 0;
    }
    return static_cast<std::uint32_t>(frame[14] << 24 | frame[15] << 16 | frame[16] << 8 |
                                      frame[17]);
}

// Runs at the end of a test, before the locals that a receiver's callback uses go away.
class CScopeExit {
public:
    explicit CScopeExit(std::function<void()> action) : m_action(std::move(action)) {}
    ~CScopeExit() { m_action(); }

private:
    std::function<void()> m_action;
};

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class LiveCapture : public testing::Test {
protected:
    void SetUp() override {
        const std::string why = CTestNetwork::WhyUnavailable();
        if (!why.empty()) {
            GTEST_SKIP() << "live capture test skipped: " << why;
        }
        m_network = std::make_unique<CTestNetwork>();
        ASSERT_TRUE(m_network->Ok()) << m_network->Error();
        m_injector = std::make_unique<CFrameInjector>(m_network->SendingEnd());
        ASSERT_TRUE(m_injector->Ok()) << m_injector->Error();
        m_engine = std::make_unique<CCaptureEngine>(m_sink);
    }

    void TearDown() override {
        m_engine.reset();  // joins the worker before the network goes away
        m_injector.reset();
        m_network.reset();
    }

    bool Arrived(std::uint32_t sequence) const {
        const auto frames = m_receiver.Frames();
        return std::any_of(frames.begin(), frames.end(),
                           [&](const auto& frame) { return SequenceOf(frame.bytes) == sequence; });
    }

    // The worker opens the device some time after Start: probe until a frame comes through.
    bool WaitUntilCapturing() {
        const std::uint32_t id = kProbe + m_probes++;
        const auto probe = MakeTestFrame(id, 60);
        for (int i = 0; i < 250; ++i) {
            m_injector->Inject(probe);
            if (WaitFor([&] { return Arrived(id); }, 20ms)) {
                return true;
            }
        }
        return false;
    }

    // The same with a hand-over between the worker and this thread, which plays the window's
    // thread and serves it. Probes still in the kernel's block would come through later, on a
    // loaded machine long after: a last probe of its own is waited for, and frames keep their
    // order, so none is left behind it.
    // Starts a capture that delivers through `handover`, and waits until it delivers.
    bool StartThroughHandover(CFrameHandover& handover) {
        m_engine->SetTargetWindow(&handover);
        return m_engine->StartCapture(Device()) == 1 && ServeUntilCapturing(handover);
    }

    // Injects one test frame and waits until it has reached the hand-over, where it waits for
    // this thread; `wakes` counts the hand-over's calls for service.
    bool InjectIntoHandover(const std::atomic<int>& wakes, std::uint32_t sequence) {
        const int before = wakes.load();
        return m_injector->Inject(MakeTestFrame(sequence, 60)) &&
               WaitFor([&] { return wakes.load() > before; }, 5s);
    }

    bool ServeUntilCapturing(CFrameHandover& handover) {
        const std::uint32_t id = kProbe + m_probes++;
        bool capturing = false;
        for (int i = 0; i < 250 && !capturing; ++i) {
            m_injector->Inject(MakeTestFrame(id, 60));
            capturing = ServeUntil(
                handover, [&] { return Arrived(id); }, 20ms);
        }
        const std::uint32_t last = kProbe + m_probes++;
        return capturing && m_injector->Inject(MakeTestFrame(last, 60)) &&
               ServeUntil(
                   handover, [&] { return Arrived(last); }, 5s);
    }

    static bool ServeUntil(CFrameHandover& handover, const std::function<bool()>& done,
                           std::chrono::milliseconds timeout) {
        return WaitFor(
            [&] {
                handover.ServicePending();
                return done();
            },
            timeout);
    }

    bool StartOnTheDeviceAndWait() {
        m_engine->SetTargetWindow(&m_receiver);
        return m_engine->StartCapture(Device()) == 1 && WaitUntilCapturing();
    }

    // Frames arrive up to one read timeout late (the kernel hands over whole blocks).
    static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        for (const auto until = Clock::now() + timeout; Clock::now() < until;) {
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return done();
    }

    bool WaitForTestFrames(std::size_t count) const {
        return WaitFor([&] { return FramesWithoutProbes().size() >= count; }, 5s);
    }

    // After a failure the worker ends on its own.
    bool WaitUntilStopped() const {
        return WaitFor([&] { return m_engine->IsCapturing() == 0; }, 1s);
    }

    std::vector<test::CReceivedFrame> FramesWithoutProbes() const {
        std::vector<test::CReceivedFrame> frames;
        for (auto& frame : m_receiver.Frames()) {
            if (SequenceOf(frame.bytes) < kProbe) {
                frames.push_back(frame);
            }
        }
        return frames;
    }

    const std::string& Device() const { return m_network->CapturingEnd(); }

    test::CRecordingMessageSink m_sink;
    CCollectingReceiver m_receiver;  // outlives the engine, whose worker may still deliver
    std::unique_ptr<CTestNetwork> m_network;
    std::unique_ptr<CFrameInjector> m_injector;
    std::unique_ptr<CCaptureEngine> m_engine;
    std::uint32_t m_probes = 0;
};

TEST_F(LiveCapture, ThreeCapturesInTurnDeliverTheirFramesByteForByteAndStopPromptlyWhenQuiet) {
    const std::size_t lengths[] = {60, 61, 64, 100, 128, 500, 1000, 1513, 1514};
    std::vector<std::vector<std::uint8_t>> sent;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(StartOnTheDeviceAndWait());
        EXPECT_EQ(m_engine->IsCapturing(), 1);
        EXPECT_EQ(m_engine->GetAdapterName(), Device());
        for (int i = 0; i < 30; ++i) {
            const auto sequence = static_cast<std::uint32_t>(sent.size());
            sent.push_back(MakeTestFrame(sequence, lengths[sequence % std::size(lengths)]));
            ASSERT_TRUE(m_injector->Inject(sent.back()));
        }
        ASSERT_TRUE(WaitForTestFrames(sent.size()));
        std::this_thread::sleep_for(
            300ms);  // the worker is now blocked in a read on a quiet device
        const auto start = Clock::now();
        EXPECT_EQ(m_engine->StopCapture(), 1);
        EXPECT_LT(MillisecondsSince(start), CCaptureEngine::kReadTimeoutMs + 500);
        EXPECT_EQ(m_engine->IsCapturing(), 0);
    }
    m_injector->Inject(MakeTestFrame(1, 60));
    std::this_thread::sleep_for(100ms);
    const auto frames = FramesWithoutProbes();
    ASSERT_EQ(frames.size(), sent.size()) << "a stopped capture delivered a frame";
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(frames[i].bytes, sent[i]) << "frame " << i;
        EXPECT_EQ(frames[i].wireLength, sent[i].size()) << "frame " << i;
        EXPECT_EQ(frames[i].capturedLength, sent[i].size()) << "frame " << i;
    }
    EXPECT_TRUE(m_receiver.Failures().empty());
    EXPECT_TRUE(m_sink.Texts().empty());
}

TEST_F(LiveCapture, StartWhileCapturingLeavesOneWorkerDelivering) {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    m_receiver.onFrame = [&](const test::CReceivedFrame&) {
        if (++inside > 1) {
            ++overlaps;
        }
        std::this_thread::sleep_for(1ms);
        --inside;
    };
    const CScopeExit stopFirst([&] { m_engine.reset(); });
    ASSERT_TRUE(StartOnTheDeviceAndWait());
    ASSERT_EQ(m_engine->StartCapture(Device()), 1);
    ASSERT_TRUE(WaitUntilCapturing());
    for (std::uint32_t i = 0; i < 20; ++i) {
        ASSERT_TRUE(m_injector->Inject(MakeTestFrame(i, 60)));
    }
    ASSERT_TRUE(WaitForTestFrames(20));
    std::this_thread::sleep_for(CCaptureEngine::kReadTimeoutMs * 1ms + 200ms);
    EXPECT_EQ(FramesWithoutProbes().size(), 20u) << "a frame was delivered twice";
    EXPECT_EQ(overlaps.load(), 0);
}

TEST_F(LiveCapture, UnopenableDevicesShowTheirMessageDeliverNothingAndEnableStartAgain) {
    m_engine->SetTargetWindow(&m_receiver);
    // An empty message stands for the library's own text, which names the device.
    const std::pair<const char*, const char*> devices[] = {{"wlnosuch0", ""},
                                                           {"any", "any: not an Ethernet adapter"}};
    for (std::size_t i = 0; i < std::size(devices); ++i) {
        const auto [device, message] = devices[i];
        SCOPED_TRACE(device);
        ASSERT_EQ(m_engine->StartCapture(device), 1);
        ASSERT_TRUE(WaitFor([&] { return m_receiver.Failures().size() > i; }, 3s));
        EXPECT_TRUE(WaitUntilStopped());
        const auto failures = m_receiver.Failures();
        ASSERT_EQ(failures.size(), i + 1);
        if (*message != '\0') {
            EXPECT_EQ(failures[i], message);
        } else {
            EXPECT_NE(failures[i].find(device), std::string::npos) << failures[i];
        }
    }
    m_injector->Inject(MakeTestFrame(1, 60));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(m_receiver.Frames().empty());
}

TEST_F(LiveCapture, AStopFromInsideAHandoverReturnsAtOnce) {
    std::atomic<long long> stopMs{-1};
    std::atomic<bool> stopped{false};
    m_receiver.onFrame = [&](const test::CReceivedFrame& frame) {
        // The intake stopping the capture because the buffer is full.
        if (SequenceOf(frame.bytes) < kProbe && !stopped.exchange(true)) {
            const auto start = Clock::now();
            m_engine->StopCapture();
            stopMs = MillisecondsSince(start);
        }
    };
    const CScopeExit stopFirst([&] { m_engine.reset(); });
    ASSERT_TRUE(StartOnTheDeviceAndWait());
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

TEST_F(LiveCapture, AStopWhileAFrameWaitsForTheConsumerDoesNotFreezeAndTheFrameIsStillHandled) {
    std::atomic<int> wakes{0};
    CFrameHandover handover(m_receiver, [&] { ++wakes; });
    // Closing the hand-over first releases a worker that waits for this thread.
    const CScopeExit stopFirst([&] {
        handover.Close();
        m_engine.reset();
    });
    ASSERT_TRUE(StartThroughHandover(handover));
    const std::size_t before = m_receiver.Frames().size();
    ASSERT_TRUE(InjectIntoHandover(wakes, 7)) << "the frame did not reach the hand-over";

    const auto start = Clock::now();
    EXPECT_EQ(m_engine->StopCapture(), 1);
    EXPECT_LT(MillisecondsSince(start), 500) << "the stop waited for a worker that waits for us";
    EXPECT_EQ(m_engine->IsCapturing(), 0);

    EXPECT_EQ(handover.ServicePending(), 1);  // the frame in flight, handled as an ordinary one
    auto frames = m_receiver.Frames();
    ASSERT_EQ(frames.size(), before + 1);
    EXPECT_EQ(SequenceOf(frames.back().bytes), 7u);
    m_engine.reset();  // the worker saw its stop signal and ends; this joins it
    EXPECT_EQ(m_receiver.Frames().size(), before + 1);
}

TEST_F(LiveCapture, AStopWhileTheNewWorkerWaitsBehindTheOldOnesHandoverDoesNotFreeze) {
    std::atomic<int> wakes{0};
    CFrameHandover handover(m_receiver, [&] { ++wakes; });
    const CScopeExit stopFirst([&] {
        handover.Close();
        m_engine.reset();
    });
    ASSERT_TRUE(StartThroughHandover(handover));
    // The first worker's frame waits for this thread, and a new capture starts meanwhile.
    ASSERT_TRUE(InjectIntoHandover(wakes, 1));
    ASSERT_EQ(m_engine->StartCapture(Device()), 1);
    // Once open, the new worker reads one of these and waits for its turn behind the first.
    for (std::uint32_t i = 2; i < 12; ++i) {
        ASSERT_TRUE(m_injector->Inject(MakeTestFrame(i, 60)));
        std::this_thread::sleep_for(100ms);
    }
    std::this_thread::sleep_for(CCaptureEngine::kReadTimeoutMs * 1ms + 500ms);

    const auto start = Clock::now();
    EXPECT_EQ(m_engine->StopCapture(), 1);
    EXPECT_LT(MillisecondsSince(start), CCaptureEngine::kStopWaitMs - 1000)
        << "the stop waited for a worker that waits for us";
    // Both waiting frames are handled afterwards, the old worker's first.
    ASSERT_TRUE(ServeUntil(
        handover, [&] { return FramesWithoutProbes().size() >= 2; }, 5s));
    m_engine.reset();
    const auto frames = FramesWithoutProbes();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(SequenceOf(frames[0].bytes), 1u);
    EXPECT_GE(SequenceOf(frames[1].bytes), 2u);
}

TEST_F(LiveCapture, FramesWithoutATargetAreDiscardedUntilOneIsSet) {
    ASSERT_EQ(m_engine->StartCapture(Device()), 1);
    for (int i = 0; i < 10; ++i) {
        m_injector->Inject(MakeTestFrame(kProbe, 60));
        std::this_thread::sleep_for(10ms);
    }
    m_engine->SetTargetWindow(&m_receiver);
    EXPECT_TRUE(WaitUntilCapturing()) << "the target is read anew for every frame";
    EXPECT_EQ(m_engine->IsCapturing(), 1);
}

TEST_F(LiveCapture, DestroyingTheEngineMidCaptureStopsAndJoinsTheWorker) {
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateFrames{0};
    m_receiver.onFrame = [&](const test::CReceivedFrame&) {
        if (destroyed.load()) {
            ++lateFrames;
        }
    };
    const CScopeExit stopFirst([&] { m_engine.reset(); });
    ASSERT_TRUE(StartOnTheDeviceAndWait());
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

TEST_F(LiveCapture, ADeviceRemovedMidCaptureEndsTheCaptureWithTheLibraryText) {
    ASSERT_TRUE(StartOnTheDeviceAndWait());
    // Removing one end of the pair removes both; the child runs in this thread's namespace.
    ASSERT_EQ(std::system(("ip link del " + Device() + " >/dev/null 2>&1").c_str()), 0);
    ASSERT_TRUE(m_receiver.WaitForFailure(3s)) << "the capture went on silently";
    EXPECT_TRUE(WaitUntilStopped());
    ASSERT_EQ(m_receiver.Failures().size(), 1u);
    EXPECT_NE(m_receiver.Failures()[0].find(Device() + ": "), std::string::npos)
        << m_receiver.Failures()[0];
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

// Takes a capability out of the calling thread's effective set, and so out of the threads it
// starts meanwhile; puts it back when destroyed.
class CWithoutCapability {
public:
    explicit CWithoutCapability(int capability) {
        m_ok = syscall(SYS_capget, &m_header, m_saved) == 0;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[capability / 32].effective &= ~(1u << (capability % 32));
        m_ok = m_ok && syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~CWithoutCapability() { syscall(SYS_capset, &m_header, m_saved); }
    bool Ok() const { return m_ok; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_ok = false;
};

TEST_F(LiveCapture, WithoutTheRightToCaptureTheMessageNamesTheSetcapCommandForThisProgram) {
    m_engine->SetTargetWindow(&m_receiver);
    {
        const CWithoutCapability withoutRawSockets(CAP_NET_RAW);
        ASSERT_TRUE(withoutRawSockets.Ok());
        ASSERT_EQ(m_engine->StartCapture(Device()), 1);
    }
    ASSERT_TRUE(m_receiver.WaitForFailure(3s));
    const std::string message = m_receiver.Failures()[0];
    EXPECT_EQ(message.rfind(Device() + ": ", 0), 0u) << message;
    EXPECT_NE(message.find("sudo setcap cap_net_raw,cap_net_admin+eip " +
                           std::filesystem::canonical("/proc/self/exe").string()),
              std::string::npos)
        << message;
}

}  // namespace
}  // namespace wirelark
