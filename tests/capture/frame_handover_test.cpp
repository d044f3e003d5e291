// The synchronous hand-over between a worker thread and the consumer's thread.
#include "capture/frame_handover.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/collecting_receiver.h"

namespace wirelark {
namespace {

using namespace std::chrono_literals;
using test::CCollectingReceiver;

struct Frame {
    pcap_pkthdr header{};
    std::vector<std::uint8_t> bytes;
};

Frame MakeFrame(std::uint8_t first, std::uint32_t length) {
    Frame frame;
    frame.bytes.assign(length, first);
    frame.header.caplen = length;
    frame.header.len = length;
    return frame;
}

// Consumer-thread side of a test: waits until the worker has asked to be serviced.
struct WakeCounter {
    std::atomic<int> wakes{0};
    bool WaitFor(int count) const {
        for (int i = 0; i < 500 && wakes.load() < count; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return wakes.load() >= count;
    }
};

TEST(FrameHandover, WorkerWaitsUntilTheConsumerThreadHasHandledEachFrame) {
    CCollectingReceiver consumer;
    WakeCounter wake;
    CFrameHandover handover(consumer, [&] { ++wake.wakes; });
    const Frame frames[] = {MakeFrame(0x11, 60), MakeFrame(0x22, 1514), MakeFrame(0x33, 42)};
    std::atomic<int> returned{0};
    std::thread worker([&] {
        for (const Frame& frame : frames) {
            handover.OnCapturedPacket(frame.header, frame.bytes);
            ++returned;
        }
    });

    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(wake.WaitFor(i + 1));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(returned.load(), i) << "the worker went on before frame " << i << " was handled";
        EXPECT_EQ(handover.ServicePending(), 1);
    }
    worker.join();
    const auto received = consumer.Frames();
    ASSERT_EQ(received.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(received[i].bytes, frames[i].bytes);
        EXPECT_EQ(received[i].wireLength, frames[i].header.len);
    }
    EXPECT_EQ(handover.ServicePending(), 0) << "nothing is left to hand over";
}

TEST(FrameHandover, NestedServiceInsideTheConsumerDoesNotHandleTheFrameTwice) {
    CCollectingReceiver consumer;
    WakeCounter wake;
    CFrameHandover handover(consumer, [&] { ++wake.wakes; });
    int nested = -1;
    consumer.onFrame = [&](const test::CReceivedFrame&) { nested = handover.ServicePending(); };
    const Frame frame = MakeFrame(0x44, 60);
    std::thread worker([&] { handover.OnCapturedPacket(frame.header, frame.bytes); });
    ASSERT_TRUE(wake.WaitFor(1));
    EXPECT_EQ(handover.ServicePending(), 1);
    worker.join();
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(consumer.Frames().size(), 1u);
}

TEST(FrameHandover, CloseReleasesAWaitingWorkerAndRefusesLaterFrames) {
    CCollectingReceiver consumer;
    WakeCounter wake;
    CFrameHandover handover(consumer, [&] { ++wake.wakes; });
    const Frame frame = MakeFrame(0x55, 60);
    std::thread worker([&] { handover.OnCapturedPacket(frame.header, frame.bytes); });
    ASSERT_TRUE(wake.WaitFor(1));
    handover.Close();
    worker.join();  // would hang if Close did not release it
    handover.OnCapturedPacket(frame.header, frame.bytes);
    handover.OnCaptureFailed("late");
    EXPECT_EQ(handover.ServicePending(), 0);
    EXPECT_TRUE(consumer.Frames().empty());
    EXPECT_TRUE(consumer.Failures().empty());
}

TEST(FrameHandover, FailuresDoNotWaitAndReachTheConsumerThread) {
    CCollectingReceiver consumer;
    WakeCounter wake;
    CFrameHandover handover(consumer, [&] { ++wake.wakes; });
    std::thread worker([&] { handover.OnCaptureFailed("eth9: No such device exists"); });
    worker.join();  // returns without the consumer's help
    EXPECT_TRUE(consumer.Failures().empty());
    EXPECT_EQ(wake.wakes.load(), 1);
    EXPECT_EQ(handover.ServicePending(), 1);
    EXPECT_EQ(consumer.Failures(), std::vector<std::string>{"eth9: No such device exists"});
}

TEST(FrameHandover, LingeringTakesFramesThatFollowCloselyInOneCallWithinItsBudget) {
    CCollectingReceiver consumer;
    WakeCounter wake;
    CFrameHandover handover(consumer, [&] { ++wake.wakes; });
    const Frame frame = MakeFrame(0x66, 60);
    constexpr int kFrames = 50;
    std::thread worker([&] {
        for (int i = 0; i < kFrames; ++i) {
            handover.OnCapturedPacket(frame.header, frame.bytes);
        }
    });
    ASSERT_TRUE(wake.WaitFor(1));
    EXPECT_EQ(handover.ServicePending(), 1) << "without a linger, one frame per call";
    ASSERT_TRUE(wake.WaitFor(2));
    // The worker's next frames come within microseconds: one lingering call takes them all.
    EXPECT_EQ(handover.ServicePending(std::chrono::seconds(2), std::chrono::seconds(10)),
              kFrames - 1);
    worker.join();
    EXPECT_EQ(consumer.Frames().size(), static_cast<std::size_t>(kFrames));
    EXPECT_LE(wake.wakes.load(), 2) << "a lingering consumer is signalled directly";
}

}  // namespace
}  // namespace wirelark
