// The counters' key index: every key keeps the row it was first given, through growth, clashing
// hashes and Clear.
#include "stats/flat_index.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace wirelark {
namespace {

struct CSpreadHash {
    std::size_t operator()(std::uint32_t key) const { return key * 0x9E3779B97F4A7C15ull; }
};
// Every key in one slot's run, which also wraps around the end of the array.
struct CClashingHash {
    std::size_t operator()(std::uint32_t) const { return ~std::size_t{0}; }
};

template <typename Hash>
void ExpectRowsKept(int count) {
    CFlatIndex<std::uint32_t, Hash> index;
    std::unordered_map<std::uint32_t, std::uint32_t> rows;
    std::mt19937 random(11);
    for (int i = 0; i < count; ++i) {
        const std::uint32_t key = static_cast<std::uint32_t>(random() % (count / 2 + 1));
        const auto [row, bNew] = index.Insert(key, static_cast<std::uint32_t>(rows.size()));
        const auto [known, bNewKnown] =
            rows.try_emplace(key, static_cast<std::uint32_t>(rows.size()));
        ASSERT_EQ(bNew, bNewKnown) << key;
        ASSERT_EQ(row, known->second) << key;
    }
    EXPECT_EQ(index.Size(), rows.size());
    for (const auto& [key, row] : rows) {
        EXPECT_EQ(index.Find(key), row);
    }
    EXPECT_EQ(index.Find(static_cast<std::uint32_t>(count)), std::nullopt);

    index.Clear();
    EXPECT_EQ(index.Size(), 0u);
    EXPECT_EQ(index.Find(rows.begin()->first), std::nullopt);
    EXPECT_EQ(index.Insert(rows.begin()->first, 7), std::make_pair(std::uint32_t{7}, true));
}

TEST(FlatIndex, KeysKeepTheirFirstRowThroughGrowth) {
    ExpectRowsKept<CSpreadHash>(100'000);
}

TEST(FlatIndex, KeysKeepTheirFirstRowWhenAllHashesClash) {
    ExpectRowsKept<CClashingHash>(600);
}

TEST(FlatIndex, AnEmptyIndexFindsNothing) {
    const CFlatIndex<std::uint32_t, CSpreadHash> index;
    EXPECT_EQ(index.Find(0), std::nullopt);
}

}  // namespace
}  // namespace wirelark
