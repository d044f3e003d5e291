// The byte arena: blocks never overlap and stay put while more are handed out.
#include "store/byte_arena.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace wirelark {
namespace {

TEST(ByteArena, BlocksKeepTheirContentsWhileMoreAreHandedOut) {
    CByteArena arena;
    struct Block {
        std::uint8_t* p;
        std::size_t size;
        std::uint8_t fill;
    };
    std::vector<Block> blocks;
    // Small, chunk-sharing and own-block sizes, interleaved.
    const std::size_t sizes[] = {
        1, 60, 1514, CByteArena::kChunkSize / 4 + 1, 7, CByteArena::kChunkSize, 65535, 0, 3};
    for (int round = 0; round < 40; ++round) {
        for (std::size_t size : sizes) {
            std::uint8_t* p = arena.Allocate(size);
            if (size == 0) {
                EXPECT_EQ(p, nullptr);
                continue;
            }
            const auto fill = static_cast<std::uint8_t>(blocks.size());
            std::memset(p, fill, size);
            blocks.push_back({p, size, fill});
        }
    }
    for (const Block& block : blocks) {
        for (std::size_t i = 0; i < block.size; ++i) {
            ASSERT_EQ(block.p[i], block.fill);
        }
    }
    EXPECT_GE(arena.GetReservedBytes(), CByteArena::kChunkSize);
    arena.Clear();
    EXPECT_EQ(arena.GetReservedBytes(), 0u);
}

}  // namespace
}  // namespace wirelark
