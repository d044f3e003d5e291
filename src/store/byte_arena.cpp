// Chunked byte allocator behind the document's packet records.
#include "store/byte_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>
#include <utility>

namespace wirelark {

namespace {

// The page-aligned addresses [first, last) inside [p, p + size).
std::pair<std::uintptr_t, std::uintptr_t> WholePages(const std::uint8_t* p,
                                                     std::size_t size) noexcept {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    return {(begin + page - 1) / page * page, (begin + size) / page * page};
}

}  // namespace

std::uint8_t* CByteArena::Allocate(std::size_t size) {
    if (size == 0) {
        return nullptr;
    }
    if (size > m_freeSize) {
        // A block too large to share a chunk gets its own, so one big frame never wastes the
        // tail of a chunk nor forces chunks of arbitrary size.
        const bool bOwnBlock = size > kChunkSize / 4;
        const std::size_t blockSize = bOwnBlock ? size : kChunkSize;
        m_blocks.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(blockSize));
        m_reserved += blockSize;
        if (bOwnBlock) {
            return m_blocks.back().get();
        }
        m_pFree = m_blocks.back().get();
        m_freeSize = blockSize;
    }
    std::uint8_t* pBlock = m_pFree;
    m_pFree += size;
    m_freeSize -= size;
    return pBlock;
}

std::span<std::uint8_t> CByteArena::Reserve(std::size_t bytes) noexcept {
    if (bytes <= m_freeSize || bytes <= kChunkSize) {
        return {};
    }
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[bytes]);
    if (block == nullptr) {
        return {};
    }
    try {
        m_blocks.push_back(std::move(block));
    } catch (const std::bad_alloc&) {
        return {};
    }
    const auto [first, last] = WholePages(m_blocks.back().get(), bytes);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
    m_reserved += bytes;
    m_pFree = m_blocks.back().get();
    m_freeSize = bytes;
    return {m_pFree, m_freeSize};
}

void CByteArena::ReleaseUnused() noexcept {
    const auto [first, last] = WholePages(m_pFree, m_freeSize);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
    }
}

void CByteArena::Clear() noexcept {
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_pFree = nullptr;
    m_freeSize = 0;
    m_reserved = 0;
}

}  // namespace wirelark
