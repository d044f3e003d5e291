// The batched hand-over between a worker thread and the consumer's thread.
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
    Frame frame{{{}, length, length + 4}, std::vector<std::uint8_t>(length, first)};
    frame.header.ts.tv_usec = first;
    return frame;
}

// The test body plays the consumer's thread; the worker's wake-ups are counted.
class FrameHandover : public testing::Test {
protected:
    static constexpr std::size_t kCapacity = 4096;

    CCollectingReceiver m_consumer;
    std::atomic<int> m_wakes{0};
    CFrameHandover m_handover{m_consumer, [this] { ++m_wakes; }, kCapacity};
};

TEST_F(FrameHandover, FramesQueuedWhileHeldComeInOrderInOnePassAfterTheRelease) {
    const Frame frames[] = {MakeFrame(0x11, 60), MakeFrame(0x22, 1514), MakeFrame(0x33, 43),
                            MakeFrame(0x44, 0)};
    // A nested call, as a modal box's event loop inside the consumer makes, takes nothing.
    int nested = 0;
    m_consumer.onFrame = [&](const test::CReceivedFrame&) {
        nested += m_handover.ServicePending();
    };
    m_handover.Hold();  // as while a file opens
    std::thread worker([&] {
        for (const Frame& frame : frames) {
            m_handover.OnCapturedPacket(frame.header, frame.bytes);  // never waits
        }
        m_handover.OnCaptureFailed("eth9: gone");
    });
    worker.join();
    EXPECT_EQ(m_wakes.load(), 1) << "one wake for everything queued";
    {
        const CHandoverHold inner(m_handover);
        EXPECT_EQ(m_handover.ServicePending(), 0);
    }
    EXPECT_EQ(m_handover.ServicePending(), 0) << "one hold is left";
    EXPECT_TRUE(m_handover.HasWaitingFrame());
    m_handover.Release();
    EXPECT_EQ(m_wakes.load(), 2) << "the release wakes the consumer for the waiting frames";

    EXPECT_EQ(m_handover.ServicePending(), 5);  // four frames, then the failure
    EXPECT_EQ(m_consumer.passes, 1);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(m_consumer.Failures(), std::vector<std::string>{"eth9: gone"});
    const auto received = m_consumer.Frames();
    ASSERT_EQ(received.size(), std::size(frames));
    for (std::size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].bytes, frames[i].bytes);
        EXPECT_EQ(received[i].wireLength, frames[i].header.len);
    }
    EXPECT_FALSE(m_handover.HasWaitingFrame());
    EXPECT_EQ(m_handover.ServicePending(), 0) << "nothing is left to hand over";

    // A frame that comes during a pass posts a wake, which a nested call spends without taking
    // it: after the pass, another is posted.
    m_consumer.onFrame = [&](const test::CReceivedFrame&) {
        m_handover.OnCapturedPacket(frames[0].header, frames[0].bytes);
        m_handover.ServicePending();
    };
    m_handover.OnCapturedPacket(frames[1].header, frames[1].bytes);
    const int wakes = m_wakes.load();
    EXPECT_EQ(m_handover.ServicePending(), 1);
    EXPECT_EQ(m_wakes.load(), wakes + 2);
    m_consumer.onFrame = nullptr;
    EXPECT_EQ(m_handover.ServicePending(), 1);
}

TEST_F(FrameHandover, AFullQueueMakesTheWorkerWaitAndAStopDiscardsWhatFollowsIt) {
    const Frame frame = MakeFrame(0x55, 1000);
    int queued = 0;
    while (m_handover.WaitForRoom(0ms)) {
        m_handover.OnCapturedPacket(frame.header, frame.bytes);
        ++queued;
    }
    EXPECT_EQ(queued, 4) << "room is asked for before each frame, never overwritten";
    std::thread worker([&] { EXPECT_TRUE(m_handover.WaitForRoom(5s)); });
    // The third frame stops the capture: it is the last one taken, and nothing after it is.
    m_consumer.takes = [&](const test::CReceivedFrame&) { return m_consumer.Frames().size() < 3; };
    EXPECT_EQ(m_handover.ServicePending(), 3);
    worker.join();  // woken by the room the pass made
    EXPECT_FALSE(m_handover.HasWaitingFrame());
    EXPECT_EQ(m_consumer.passes, 1);
}

TEST_F(FrameHandover, CloseReleasesAWaitingWorkerAndRefusesLaterFrames) {
    const Frame frame = MakeFrame(0x66, 3000);
    m_handover.OnCapturedPacket(frame.header, frame.bytes);
    m_handover.OnCapturedPacket(frame.header, frame.bytes);
    std::thread worker([&] { EXPECT_TRUE(m_handover.WaitForRoom(5s)); });
    std::this_thread::sleep_for(20ms);
    m_handover.Close();
    worker.join();  // would wait its five seconds if Close did not release it
    m_handover.OnCapturedPacket(frame.header, frame.bytes);
    m_handover.OnCaptureFailed("late");
    EXPECT_EQ(m_handover.ServicePending(), 0);
    EXPECT_TRUE(m_consumer.Frames().empty());
    EXPECT_TRUE(m_consumer.Failures().empty());
}

}  // namespace
}  // namespace wirelark
