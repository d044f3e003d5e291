// The number index: first record in list order, for the natural numbering and any other.
#include "store/packet_number_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace wirelark {
namespace {

// What a walk over the list from the head answers.
std::optional<std::size_t> WalkFind(const std::vector<int>& numbers, int number) {
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] == number) {
            return i;
        }
    }
    return std::nullopt;
}

TEST(PacketNumberIndex, AgreesWithAWalkOverTheList) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        // A natural run of random length, then numbers from a small range with repeats.
        std::vector<int> numbers;
        const int natural = static_cast<int>(random() % 20);
        for (int i = 1; i <= natural; ++i) {
            numbers.push_back(i);
        }
        const int others = static_cast<int>(random() % 20);
        for (int i = 0; i < others; ++i) {
            numbers.push_back(static_cast<int>(random() % 45) - 5);
        }
        CPacketNumberIndex index;
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            index.Add(numbers[i], i);
        }
        for (int asked = -6; asked <= 42; ++asked) {
            ASSERT_EQ(index.Find(asked), WalkFind(numbers, asked)) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace wirelark
