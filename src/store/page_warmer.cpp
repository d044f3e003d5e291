// Populating pages ahead of a bulk load.
#include "store/page_warmer.h"

#include <sys/mman.h>

#include <algorithm>
#include <limits>
#include <system_error>

#include "store/page_advice.h"

namespace wirelark {

namespace {

// One huge page a step, so a stop is noticed within a fraction of a millisecond.
constexpr std::size_t kStep = std::size_t{2} << 20;

}  // namespace

CPageWarmer::CPageWarmer(std::span<std::uint8_t> range) {
    if (range.size() < kMinRange) {
        return;
    }
    const CWholePages pages(range.data(), range.size());
    try {
        m_thread = std::jthread(
            [this, pages](const std::stop_token& stop) { Warm(stop, pages.begin, pages.end); });
    } catch (const std::system_error&) {
        // Without a thread the load only runs a little slower.
    }
}

void CPageWarmer::Warm(const std::stop_token& stop, std::uintptr_t begin, std::uintptr_t end) {
    for (std::uintptr_t at = begin; at < end; at += kStep) {
        for (std::size_t filled = m_filled.load(); at - begin >= filled + kLead;
             filled = m_filled.load()) {
            m_filled.wait(filled);
        }
        if (stop.stop_requested()) {
            return;
        }
        // Unlike touching the pages, this leaves their contents alone, so it cannot race with
        // the load writing them.
        if (!AdvisePages(at, std::min(kStep, end - at), MADV_POPULATE_WRITE)) {
            return;
        }
    }
}

void CPageWarmer::Advance(std::size_t filled) noexcept {
    m_filled.store(filled);
    m_filled.notify_one();
}

void CPageWarmer::Stop() noexcept {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        // Wakes a warmer waiting for the load to catch up.
        Advance(std::numeric_limits<std::size_t>::max() - kLead);
        m_thread.join();
    }
}

}  // namespace wirelark
