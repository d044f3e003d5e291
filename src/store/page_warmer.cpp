// Populating pages ahead of a bulk load.
#include "store/page_warmer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

namespace wirelark {

namespace {

// One huge page a step, so a stop is noticed within a fraction of a millisecond.
constexpr std::size_t kStep = std::size_t{2} << 20;

void Warm(const std::stop_token& stop, std::uintptr_t begin, std::uintptr_t end) {
    for (std::uintptr_t at = begin; at < end && !stop.stop_requested(); at += kStep) {
        // Unlike touching the pages, this leaves their contents alone, so it cannot race with
        // the load writing them.
        if (::madvise(reinterpret_cast<void*>(at), std::min(kStep, end - at),
                      MADV_POPULATE_WRITE) != 0) {
            return;
        }
    }
}

}  // namespace

CPageWarmer::CPageWarmer(std::span<std::uint8_t> range) {
    if (range.size() < kMinRange) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(range.data());
    const std::uintptr_t begin = (first + page - 1) / page * page;
    const std::uintptr_t end = (first + range.size()) / page * page;
    try {
        m_thread = std::jthread(Warm, begin, end);
    } catch (const std::system_error&) {
        // Without a thread the load only runs a little slower.
    }
}

void CPageWarmer::Stop() noexcept {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

}  // namespace wirelark
