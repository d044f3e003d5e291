// Warming pages ahead of a load never changes what the load writes.
#include "store/page_warmer.h"

#include <gtest/gtest.h>

#include <memory>

namespace wirelark {
namespace {

TEST(PageWarmer, BytesWrittenWhileTheRangeIsWarmedStayAsWritten) {
    constexpr std::size_t kSize = 4 * CPageWarmer::kMinRange;
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(kSize);
    {
        CPageWarmer warmer({block.get(), kSize});
        // Written from the front while the warmer works through the same pages.
        for (std::size_t i = 0; i < kSize; ++i) {
            block[i] = static_cast<std::uint8_t>(i * 7 + 1);
        }
    }
    for (std::size_t i = 0; i < kSize; ++i) {
        ASSERT_EQ(block[i], static_cast<std::uint8_t>(i * 7 + 1)) << i;
    }
}

}  // namespace
}  // namespace wirelark
