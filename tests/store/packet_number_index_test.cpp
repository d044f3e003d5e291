// The number index: first record in list order, for the natural numbering and any other.
#include "store/packet_number_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>
#include <vector>

namespace wirelark {
namespace {

TEST(PacketNumberIndex, AgreesWithAWalkOverTheList) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        // A natural run of random length, then numbers from a small range with repeats.
        std::vector<int> numbers(random() % 20);
        std::iota(numbers.begin(), numbers.end(), 1);
        for (auto others = random() % 20; others > 0; --others) {
            numbers.push_back(static_cast<int>(random() % 45) - 5);
        }
        CPacketNumberIndex index;
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            index.Add(numbers[i], i);
        }
        for (int asked = -6; asked <= 42; ++asked) {
            const auto found = std::ranges::find(numbers, asked);
            const auto walked = found == numbers.end()
                                    ? std::nullopt
                                    : std::optional<std::size_t>(found - numbers.begin());
            ASSERT_EQ(index.Find(asked), walked) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace wirelark
