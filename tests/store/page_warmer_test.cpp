// Warming pages ahead of a load never changes what the load writes, and stays a bounded way
// ahead of it.
#include "store/page_warmer.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace wirelark {
namespace {

using namespace std::chrono_literals;

TEST(PageWarmer, BytesWrittenWhileTheRangeIsWarmedStayAsWritten) {
    constexpr std::size_t kSize = 4 * CPageWarmer::kMinRange;
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(kSize);
    {
        CPageWarmer warmer({block.get(), kSize});
        // Written from the front while the warmer works through the same pages.
        for (std::size_t i = 0; i < kSize; ++i) {
            block[i] = static_cast<std::uint8_t>(i * 7 + 1);
            if (i % 65536 == 0) {
                warmer.Advance(i);
            }
        }
    }
    for (std::size_t i = 0; i < kSize; ++i) {
        ASSERT_EQ(block[i], static_cast<std::uint8_t>(i * 7 + 1)) << i;
    }
}

// Fresh anonymous memory, unmapped at the end, whose resident pages can be counted.
struct CFreshMemory {
    std::size_t size;
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ~CFreshMemory() { ::munmap(p, size); }

    std::size_t ResidentBytes() const {
        const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> pages((size + page - 1) / page);  // all 0 if mincore fails
        ::mincore(p, size, pages.data());
        return page * static_cast<std::size_t>(std::ranges::count_if(
                          pages, [](unsigned char flags) { return flags & 1; }));
    }
};

TEST(PageWarmer, StaysABoundedWayAheadOfTheLoadAndFollowsIt) {
    const CFreshMemory probe{static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))};
    ASSERT_NE(probe.p, MAP_FAILED);
    if (::madvise(probe.p, probe.size, MADV_POPULATE_WRITE) != 0) {
        GTEST_SKIP() << "this kernel cannot populate pages ahead of use";
    }
    constexpr std::size_t kSize = 8 * CPageWarmer::kLead;
    constexpr std::size_t kSlack = std::size_t{4} << 20;  // steps and huge pages at the edges
    const CFreshMemory range{kSize};
    ASSERT_NE(range.p, MAP_FAILED);
    CPageWarmer warmer({static_cast<std::uint8_t*>(range.p), kSize});
    // It warms the lead and no more until the load says how far it got, then follows.
    for (const std::size_t filled : {std::size_t{0}, kSize / 2}) {
        SCOPED_TRACE(filled);
        warmer.Advance(filled);
        const std::size_t want = filled + CPageWarmer::kLead;
        for (int i = 0; i < 500 && range.ResidentBytes() < want; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(100ms);  // time to overshoot, were it to
        EXPECT_GE(range.ResidentBytes(), want);
        EXPECT_LE(range.ResidentBytes(), want + kSlack);
    }
    warmer.Stop();
}

}  // namespace
}  // namespace wirelark
