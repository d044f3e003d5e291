// Page-aligned madvise over byte ranges.
#include "store/page_advice.h"

#include <sys/mman.h>
#include <unistd.h>

namespace wirelark {

CWholePages::CWholePages(const void* p, std::size_t size) noexcept {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(p);
    begin = (first + page - 1) / page * page;
    end = (first + size) / page * page;
}

bool AdvisePages(std::uintptr_t begin, std::size_t size, int advice) noexcept {
    return size > 0 && ::madvise(reinterpret_cast<void*>(begin), size, advice) == 0;
}

bool AdviseWholePages(const void* p, std::size_t size, int advice) noexcept {
    const CWholePages pages(p, size);
    return AdvisePages(pages.begin, pages.Size(), advice);
}

}  // namespace wirelark
