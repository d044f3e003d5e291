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
    return {{{}, length, length}, std::vector<std::uint8_t>(length, first)};
}

// The test body plays the consumer's thread; the worker's wake-ups are counted.
class FrameHandover : public testing::Test {
protected:
    // Waits until the worker has asked to be serviced `count` times.
    bool WaitForWakes(int count) const {
        for (int i = 0; i < 500 && m_wakes.load() < count; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return m_wakes.load() >= count;
    }

    CCollectingReceiver m_consumer;
    std::atomic<int> m_wakes{0};
    CFrameHandover m_handover{m_consumer, [this] { ++m_wakes; }};
};

TEST_F(FrameHandover, TheWorkerWaitsUntilEachFrameIsHandledOnceInOrderAndWhileHeld) {
    const Frame frames[] = {MakeFrame(0x11, 60), MakeFrame(0x22, 1514), MakeFrame(0x33, 42)};
    std::atomic<int> returned{0};
    // A nested call, as a modal box's event loop inside the consumer makes, takes nothing again.
    int nested = 0;
    m_consumer.onFrame = [&](const test::CReceivedFrame&) {
        nested += m_handover.ServicePending();
    };
    // Held, as while a file opens: the frame stays with its worker, which reads no other.
    m_handover.Hold();
    std::thread worker([&] {
        for (const Frame& frame : frames) {
            m_handover.OnCapturedPacket(frame.header, frame.bytes);
            ++returned;
        }
        m_handover.OnCaptureFailed("eth9: gone");
    });
    ASSERT_TRUE(WaitForWakes(1));
    {
        const CHandoverHold inner(m_handover);
        EXPECT_EQ(m_handover.ServicePending(), 0);
    }
    EXPECT_EQ(m_handover.ServicePending(), 0) << "one hold is left";
    EXPECT_TRUE(m_handover.HasWaitingFrame());
    EXPECT_EQ(m_wakes.load(), 1);
    m_handover.Release();
    EXPECT_EQ(m_wakes.load(), 2) << "the release wakes the consumer for the waiting frame";

    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(WaitForWakes(i + 2));
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(returned.load(), i) << "the worker went on before frame " << i << " was handled";
        EXPECT_EQ(m_handover.ServicePending(), 1);
    }
    worker.join();  // a failure does not wait for the consumer, but wakes it
    EXPECT_EQ(m_wakes.load(), 5);
    EXPECT_TRUE(m_consumer.Failures().empty()) << "handed over on the consumer's thread only";
    EXPECT_EQ(m_handover.ServicePending(), 1);  // the failure, after the frames
    EXPECT_EQ(m_consumer.Failures(), std::vector<std::string>{"eth9: gone"});
    EXPECT_EQ(nested, 0);
    const auto received = m_consumer.Frames();
    ASSERT_EQ(received.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(received[i].bytes, frames[i].bytes);
        EXPECT_EQ(received[i].wireLength, frames[i].header.len);
    }
    EXPECT_EQ(m_handover.ServicePending(), 0) << "nothing is left to hand over";
}

TEST_F(FrameHandover, CloseReleasesAWaitingWorkerAndRefusesLaterFrames) {
    const Frame frame = MakeFrame(0x55, 60);
    std::thread worker([&] { m_handover.OnCapturedPacket(frame.header, frame.bytes); });
    ASSERT_TRUE(WaitForWakes(1));
    m_handover.Close();
    worker.join();  // would hang if Close did not release it
    m_handover.OnCapturedPacket(frame.header, frame.bytes);
    m_handover.OnCaptureFailed("late");
    EXPECT_EQ(m_handover.ServicePending(), 0);
    EXPECT_TRUE(m_consumer.Frames().empty());
    EXPECT_TRUE(m_consumer.Failures().empty());
}

TEST_F(FrameHandover, LingeringTakesFramesThatFollowCloselyInOneCallWithinItsBudget) {
    const Frame frame = MakeFrame(0x66, 60);
    constexpr int kFrames = 50;
    std::thread worker([&] {
        for (int i = 0; i < kFrames; ++i) {
            m_handover.OnCapturedPacket(frame.header, frame.bytes);
        }
    });
    ASSERT_TRUE(WaitForWakes(1));
    EXPECT_EQ(m_handover.ServicePending(), 1) << "without a linger, one frame per call";
    ASSERT_TRUE(WaitForWakes(2));
    // The worker's next frames come within microseconds: one lingering call takes them all.
    EXPECT_EQ(m_handover.ServicePending(std::chrono::seconds(2), std::chrono::seconds(10)),
              kFrames - 1);
    worker.join();
    EXPECT_EQ(m_consumer.Frames().size(), static_cast<std::size_t>(kFrames));
    EXPECT_LE(m_wakes.load(), 2) << "a lingering consumer is signalled directly";
}

}  // namespace
}  // namespace wirelark
