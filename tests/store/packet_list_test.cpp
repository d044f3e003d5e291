// The document's record list: records stay where they are while the list grows across blocks,
// and shrinking and moving keep the rest.
#include "store/packet_list.h"

#include <gtest/gtest.h>

#include <utility>

namespace wirelark {
namespace {

constexpr std::size_t kBlock = CPacketList::kBlockRecords;

void Fill(CPacketList& list, std::size_t count) {
    const std::uint8_t frame[] = {1, 2, 3};
    while (list.size() < count) {
        const int number = static_cast<int>(list.size() + 1);
        // Records that own their bytes, so that a record destroyed twice or never would show.
        list.emplace_back().SetPacket(number, frame, 3, "t");
    }
}

TEST(PacketList, RecordsKeepTheirPlaceAndOrderWhileTheListGrowsShrinksAndIsMoved) {
    CPacketList list;
    list.SetHugePages(true);
    Fill(list, 1);
    const CPacketObj* pFirst = &list.front();
    Fill(list, 2 * kBlock + 3);
    EXPECT_EQ(&list.front(), pFirst);
    std::size_t position = 0;
    for (const CPacketObj& packet : list) {
        ASSERT_EQ(packet.GetNumber(), static_cast<int>(position + 1));
        ASSERT_EQ(&packet, &list[position]);
        ++position;
    }
    EXPECT_EQ(position, 2 * kBlock + 3);

    // Shrinking, and giving the unused part of the last block back to the system, keep the rest;
    // the part given back is there again when wanted.
    const CPacketObj* pKept = &list[kBlock - 1];
    while (list.size() > kBlock) {
        list.pop_back();
    }
    EXPECT_EQ(&list.back(), pKept);
    EXPECT_EQ(list.back().GetNumber(), static_cast<int>(kBlock));
    Fill(list, kBlock + 2);
    list.ReleaseUnused();
    EXPECT_EQ(list.back().GetTimeText(), "t");
    Fill(list, kBlock + 1000);
    EXPECT_EQ(list.back().GetNumber(), static_cast<int>(kBlock + 1000));
    EXPECT_EQ(list[kBlock + 1].GetNumber(), static_cast<int>(kBlock + 2));
    EXPECT_EQ(list.back().GetTimeText(), "t");
    EXPECT_EQ(&list[kBlock - 1], pKept);

    const CPacketObj* pLast = &list.back();
    CPacketList moved(std::move(list));
    EXPECT_TRUE(list.empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(&moved.back(), pLast);
    CPacketList assigned;
    Fill(assigned, 5);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.size(), kBlock + 1000);
    EXPECT_EQ(&assigned.back(), pLast);
    assigned.clear();
    EXPECT_TRUE(assigned.empty());
    EXPECT_EQ(assigned.begin(), assigned.end());
    Fill(assigned, 2);
    EXPECT_EQ(assigned[1].GetNumber(), 2);
}

}  // namespace
}  // namespace wirelark
