// Hands out byte blocks carved from large chunks, so that a million small packet records cost
// their bytes and not a heap allocation each; everything is released at once by Clear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace wirelark {

class CByteArena {
public:
    // A little under 256 KiB, so that with the allocator's own header a chunk fills whole pages.
    static constexpr std::size_t kChunkSize = (std::size_t{1} << 18) - 64;

    CByteArena() = default;
    CByteArena(const CByteArena&) = delete;
    CByteArena& operator=(const CByteArena&) = delete;
    CByteArena(CByteArena&&) noexcept = default;
    CByteArena& operator=(CByteArena&&) noexcept = default;

    // Uninitialised storage for `size` bytes, valid until Clear or destruction; nullptr for 0.
    // Throws std::bad_alloc like new.
    std::uint8_t* Allocate(std::size_t size);
    // Prepares one block for about `bytes` more bytes of small allocations, for a bulk load whose
    // size is known ahead: it is asked to be backed by huge pages, which saves most of the page
    // faults of filling fresh memory. Only a hint: nothing happens when memory is short. Returns
    // the fresh block, or nothing.
    std::span<std::uint8_t> Reserve(std::size_t bytes) noexcept;
    // Gives the pages of the current block that no allocation has reached back to the system,
    // after a bulk load that reserved more than it needed. Later allocations still get them,
    // fresh.
    void ReleaseUnused() noexcept;
    void Clear() noexcept;
    // What is left of the current block, where the next small allocation comes from.
    std::span<const std::uint8_t> GetUnused() const noexcept { return {m_pFree, m_freeSize}; }
    // Bytes held from the system, used or not.
    std::size_t GetReservedBytes() const noexcept { return m_reserved; }

private:
    std::vector<std::unique_ptr<std::uint8_t[]>> m_blocks;
    std::uint8_t* m_pFree = nullptr;  // unused tail of the current chunk
    std::size_t m_freeSize = 0;
    std::size_t m_reserved = 0;
};

}  // namespace wirelark
