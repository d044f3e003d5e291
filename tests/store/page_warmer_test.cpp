// Warming pages ahead of a load never changes what the load writes, and stays a bounded way
// ahead of it.
#include "store/page_warmer.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

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

// Fresh anonymous memory whose resident pages can be counted.
class CFreshRange {
public:
    explicit CFreshRange(std::size_t size) : m_size(size) {
        m_p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
    ~CFreshRange() {
        if (m_p != MAP_FAILED) {
            ::munmap(m_p, m_size);
        }
    }
    CFreshRange(const CFreshRange&) = delete;
    CFreshRange& operator=(const CFreshRange&) = delete;

    bool IsValid() const { return m_p != MAP_FAILED; }
    std::span<std::uint8_t> Span() const { return {static_cast<std::uint8_t*>(m_p), m_size}; }
    std::size_t ResidentBytes() const {
        const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> pages((m_size + page - 1) / page);
        if (::mincore(m_p, m_size, pages.data()) != 0) {
            return 0;
        }
        std::size_t resident = 0;
        for (const unsigned char flags : pages) {
            resident += (flags & 1) != 0 ? page : 0;
        }
        return resident;
    }

private:
    std::size_t m_size;
    void* m_p = MAP_FAILED;
};

TEST(PageWarmer, StaysABoundedWayAheadOfTheLoadAndFollowsIt) {
    CFreshRange probe(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)));
    ASSERT_TRUE(probe.IsValid());
    if (::madvise(probe.Span().data(), probe.Span().size(), MADV_POPULATE_WRITE) != 0) {
        GTEST_SKIP() << "this kernel cannot populate pages ahead of use";
    }
    constexpr std::size_t kSize = 8 * CPageWarmer::kLead;
    constexpr std::size_t kSlack = std::size_t{4} << 20;  // steps and huge pages at the edges
    CFreshRange range(kSize);
    ASSERT_TRUE(range.IsValid());
    CPageWarmer warmer(range.Span());
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
