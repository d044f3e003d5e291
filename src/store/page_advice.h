// Memory advice to the system for the whole pages inside a byte range, for the store's bulk
// loads: huge pages, pages faulted in ahead, pages given back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wirelark {

// The page-aligned addresses [begin, end) inside a byte range; empty when it holds no whole page.
struct CWholePages {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;

    CWholePages(const void* p, std::size_t size) noexcept;
    std::size_t Size() const { return end > begin ? end - begin : 0; }
};

// madvise on [begin, begin + size) of whole pages; true when the system took the advice.
bool AdvisePages(std::uintptr_t begin, std::size_t size, int advice) noexcept;
// The same for the whole pages inside [p, p + size); pages partly outside are left alone.
bool AdviseWholePages(const void* p, std::size_t size, int advice) noexcept;

}  // namespace wirelark
