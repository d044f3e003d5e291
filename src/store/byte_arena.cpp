// Chunked byte allocator behind the document's packet records.
#include "store/byte_arena.h"

#include <sys/mman.h>

#include <new>

#include "store/page_advice.h"

namespace wirelark {

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
    AdviseWholePages(m_blocks.back().get(), bytes, MADV_HUGEPAGE);
    m_reserved += bytes;
    m_pFree = m_blocks.back().get();
    m_freeSize = bytes;
    return {m_pFree, m_freeSize};
}

void CByteArena::ReleaseUnused() noexcept {
    AdviseWholePages(m_pFree, m_freeSize, MADV_DONTNEED);
}

void CByteArena::Clear() noexcept {
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_pFree = nullptr;
    m_freeSize = 0;
    m_reserved = 0;
}

}  // namespace wirelark
