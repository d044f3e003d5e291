// The packet record: what SetPacket keeps and what GetData hands out.
#include "store/packet_obj.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/byte_arena.h"
#include "store/time_text.h"

namespace wirelark {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::size_t size) {
    Bytes frame(size);
    for (std::size_t i = 0; i < size; ++i) {
        frame[i] = static_cast<std::uint8_t>(255 - i);
    }
    return frame;
}

TEST(PacketObj, SetPacketKeepsTheFirstLengthBytesButNeverMoreThanGiven) {
    struct Case {
        std::size_t given;
        int length;
        std::size_t kept;
    };
    const Case cases[] = {
        {60, 60, 60}, {60, 10, 10}, {60, 0, 0}, {60, -5, 0}, {3, 1514, 3}, {0, 64, 0},
    };
    for (const Case& c : cases) {
        for (bool bArena : {false, true}) {
            CByteArena arena;
            CPacketObj packet;
            packet.SetPacket(42, Frame(c.given), c.length, "12:00:00,001 ",
                             bArena ? &arena : nullptr);
            EXPECT_EQ(packet.GetNumber(), 42);
            EXPECT_EQ(packet.GetLength(), c.length);
            EXPECT_EQ(packet.GetTimeText(), "12:00:00,001 ");
            const Bytes want = Frame(c.kept);
            EXPECT_EQ(Bytes(packet.GetBytes().begin(), packet.GetBytes().end()), want)
                << c.given << " bytes, length " << c.length;
        }
    }
}

TEST(PacketObj, GetDataAppendsOneElementBelow256PerByteAfterWhatIsThere) {
    CPacketObj packet;
    packet.SetPacket(1, Frame(60), 60, "");
    std::vector<std::uint16_t> data{0xABCD, 0x1234};
    packet.GetData(data);
    ASSERT_EQ(data.size(), 62u);
    EXPECT_EQ(data[0], 0xABCD);
    EXPECT_EQ(data[1], 0x1234);
    for (std::size_t i = 0; i < 60; ++i) {
        EXPECT_EQ(data[2 + i], 255 - i) << i;
    }
}

TEST(PacketObj, SettingAgainReplacesEverythingAndMovingKeepsTheBytes) {
    CPacketObj packet;
    packet.SetPacket(1, Frame(100), 100, "long text that is gone later");
    packet.SetPacket(2, Bytes{7, 8}, 2, "t ");
    CPacketObj moved(std::move(packet));
    EXPECT_EQ(moved.GetNumber(), 2);
    EXPECT_EQ(moved.GetTimeText(), "t ");
    EXPECT_EQ(Bytes(moved.GetBytes().begin(), moved.GetBytes().end()), (Bytes{7, 8}));
    EXPECT_TRUE(packet.GetBytes().empty());  // NOLINT(bugprone-use-after-move)
}

TEST(PacketObj, ATextMadeFromTheCaptureTimeFollowsTheTimeAndLeavesTheBytesInPlace) {
    const struct {
        CPacketTime time;
        long microseconds;
    } cases[] = {{{3600, 7'000}, 7}, {{86399, 250'000'000}, 250000}, {{0, 999'999'999}, 999999}};
    for (const auto& c : cases) {
        for (bool bArena : {false, true}) {
            CByteArena arena;
            CPacketObj packet;
            packet.SetPacket(3, Frame(60), 60, c.time, bArena ? &arena : nullptr);
            const timeval shown{static_cast<time_t>(c.time.seconds), c.microseconds};
            EXPECT_EQ(packet.GetTimeText(), FormatTimeText(shown));
            EXPECT_EQ(Bytes(packet.GetBytes().begin(), packet.GetBytes().end()), Frame(60));
            ASSERT_TRUE(packet.GetTimestamp().has_value());
            EXPECT_EQ(packet.GetTimestamp()->nanoseconds, c.time.nanoseconds);
            packet.SetTimestamp({c.time.seconds + 1, 0});
            EXPECT_EQ(packet.GetTimeText(),
                      FormatTimeText(timeval{static_cast<time_t>(c.time.seconds + 1), 0}));
        }
    }
}

}  // namespace
}  // namespace wirelark
