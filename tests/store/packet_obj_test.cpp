// The packet record: what SetPacket keeps and what GetBytes and GetData hand out.
#include "store/packet_obj.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
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

TEST(PacketObj, SetPacketKeepsTheFirstLengthBytesButNeverMoreThanGivenAndGetDataAppendsThem) {
    const struct {
        std::size_t given;
        int length;
        std::size_t kept;
    } cases[] = {{60, 60, 60}, {60, 10, 10}, {60, 0, 0}, {60, -5, 0}, {3, 1514, 3}, {0, 64, 0}};
    for (const auto& c : cases) {
        for (bool bArena : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.given << " bytes, length " << c.length);
            CByteArena arena;
            CPacketObj packet;
            packet.SetPacket(42, Frame(c.given), c.length, "12:00:00,001 ",
                             bArena ? &arena : nullptr);
            const Bytes want = Frame(c.kept);
            EXPECT_EQ(std::tuple(packet.GetNumber(), packet.GetLength(), packet.GetTimeText(),
                                 Bytes(packet.GetBytes().begin(), packet.GetBytes().end())),
                      std::tuple(42, c.length, "12:00:00,001 ", want));
            // One element per byte, after what the array held.
            std::vector<std::uint16_t> data{0xABCD}, wantData{0xABCD};
            wantData.insert(wantData.end(), want.begin(), want.end());
            packet.GetData(data);
            EXPECT_EQ(data, wantData);
        }
    }
}

// A record read from a file with a capture time makes its text from that time; this one also
// replaces a record that held a text of its own.
TEST(PacketObj, SettingAgainReplacesEverythingAndATextMadeFromTheTimeFollowsIt) {
    CPacketObj packet;
    packet.SetPacket(1, Frame(100), 100, "long text that is gone later");
    packet.SetPacket(2, Bytes{7, 8}, 2, CPacketTime{3600, 999'999'999});
    EXPECT_EQ(packet.GetTimeText(), FormatTimeText(timeval{3600, 999'999}));
    packet.SetTimestamp({3601, 7'000});
    CPacketObj moved(std::move(packet));
    EXPECT_EQ(
        std::tuple(moved.GetNumber(), moved.GetTimeText(), moved.GetTimestamp(),
                   Bytes(moved.GetBytes().begin(), moved.GetBytes().end())),
        std::tuple(2, FormatTimeText(timeval{3601, 7}), CPacketTime{3601, 7'000}, Bytes{7, 8}));
    EXPECT_TRUE(packet.GetBytes().empty());  // NOLINT(bugprone-use-after-move)
}

}  // namespace
}  // namespace wirelark
