// Block storage of the document's records.
#include "store/packet_list.h"

#include <sys/mman.h>

#include <new>
#include <utility>

#include "store/page_advice.h"

namespace wirelark {

namespace {

// Aligned to its own size, so that the whole block can be one huge page.
constexpr std::align_val_t kBlockAlignment{CPacketList::kBlockBytes};

}  // namespace

void CPacketList::BlockDeleter::operator()(CPacketObj* pBlock) const noexcept {
    ::operator delete(static_cast<void*>(pBlock), kBlockAlignment);
}

CPacketList::CPacketList(CPacketList&& other) noexcept
    : m_blocks(std::move(other.m_blocks)),
      m_size(std::exchange(other.m_size, 0)),
      m_bHugePages(std::exchange(other.m_bHugePages, false)) {}

CPacketList& CPacketList::operator=(CPacketList&& other) noexcept {
    if (this != &other) {
        clear();
        m_blocks = std::move(other.m_blocks);
        m_size = std::exchange(other.m_size, 0);
        m_bHugePages = std::exchange(other.m_bHugePages, false);
    }
    return *this;
}

CPacketObj& CPacketList::emplace_back() {
    if (m_size == m_blocks.size() * kBlockRecords) {
        m_blocks.reserve(m_blocks.size() + 1);
        void* pStorage = ::operator new(kBlockBytes, kBlockAlignment);
        if (m_bHugePages) {
            AdviseWholePages(pStorage, kBlockBytes, MADV_HUGEPAGE);
        }
        m_blocks.emplace_back(static_cast<CPacketObj*>(pStorage));
    }
    CPacketObj* pSlot = m_blocks.back().get() + m_size % kBlockRecords;
    ::new (static_cast<void*>(pSlot)) CPacketObj();
    ++m_size;
    return *pSlot;
}

void CPacketList::pop_back() noexcept {
    if (m_size == 0) {
        return;
    }
    --m_size;
    (*this)[m_size].~CPacketObj();
    if (m_size == (m_blocks.size() - 1) * kBlockRecords) {
        m_blocks.pop_back();
    }
}

void CPacketList::ReleaseUnused() noexcept {
    const std::size_t used = m_size % kBlockRecords;
    if (used == 0) {
        return;
    }
    const CPacketObj* pUnused = m_blocks.back().get() + used;
    AdviseWholePages(pUnused, (kBlockRecords - used) * sizeof(CPacketObj), MADV_DONTNEED);
}

void CPacketList::clear() noexcept {
    while (m_size > 0) {
        --m_size;
        (*this)[m_size].~CPacketObj();
    }
    m_blocks.clear();
    m_blocks.shrink_to_fit();
}

}  // namespace wirelark
