// Block storage of the document's records.
#include "store/packet_list.h"

#include <sys/mman.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "store/page_advice.h"

namespace wirelark {

namespace {

// Aligned to its own size, so that the whole block can be one huge page.
constexpr std::align_val_t kBlockAlignment{CPacketList::kBlockBytes};

void* NewBlock(bool bHugePages) {
    void* pStorage = ::operator new(CPacketList::kBlockBytes, kBlockAlignment);
    if (bHugePages) {
        AdviseWholePages(pStorage, CPacketList::kBlockBytes, MADV_HUGEPAGE);
    }
    return pStorage;
}

}  // namespace

class CPacketList::CBlockMaker {
public:
    explicit CBlockMaker(bool bHugePages)
        : m_bHugePages(bHugePages), m_thread([this](const std::stop_token& stop) { Make(stop); }) {}
    ~CBlockMaker() {
        m_thread.request_stop();  // wakes the thread: its wait listens for the stop
        m_thread.join();
        if (m_pSpare != nullptr) {
            ::operator delete(m_pSpare, kBlockAlignment);
        }
    }
    CBlockMaker(const CBlockMaker&) = delete;
    CBlockMaker& operator=(const CBlockMaker&) = delete;

    // The block made ahead, or a new one when the thread could not keep up.
    void* Take() {
        void* pBlock = nullptr;
        {
            std::lock_guard lock(m_mutex);
            pBlock = std::exchange(m_pSpare, nullptr);
        }
        m_changed.notify_all();
        return pBlock != nullptr ? pBlock : NewBlock(m_bHugePages);
    }

private:
    void Make(const std::stop_token& stop) {
        std::unique_lock lock(m_mutex);
        while (!stop.stop_requested()) {
            if (m_pSpare == nullptr) {
                lock.unlock();
                void* pBlock = nullptr;
                try {
                    pBlock = NewBlock(m_bHugePages);
                    // Writing each page makes the system clear it here rather than in the load.
                    auto* pBytes = static_cast<volatile std::uint8_t*>(pBlock);
                    for (std::size_t at = 0; at < kBlockBytes; at += 4096) {
                        pBytes[at] = 0;
                    }
                } catch (const std::bad_alloc&) {
                    return;  // the load allocates its own
                }
                lock.lock();
                m_pSpare = pBlock;
            }
            // A stop-aware wait: a stop requested without the lock, just as the thread goes to
            // sleep, still wakes it.
            m_changed.wait(lock, stop, [&] { return m_pSpare == nullptr; });
        }
    }

    const bool m_bHugePages;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    void* m_pSpare = nullptr;
    std::jthread m_thread;  // last, so that it starts after everything it uses
};

void CPacketList::SetBulkLoad(bool bBulkLoad) {
    if (!bBulkLoad) {
        m_pMaker.reset();
    } else if (!m_pMaker) {
        try {
            m_pMaker = std::make_unique<CBlockMaker>(m_bHugePages);
        } catch (const std::system_error&) {
            // Without a thread the load faults its pages in itself.
        }
    }
}

void CPacketList::BlockDeleter::operator()(CPacketObj* pBlock) const noexcept {
    ::operator delete(static_cast<void*>(pBlock), kBlockAlignment);
}

CPacketList::CPacketList() = default;

CPacketList::~CPacketList() {
    clear();
}

CPacketList::CPacketList(CPacketList&& other) noexcept
    : m_blocks(std::move(other.m_blocks)),
      m_size(std::exchange(other.m_size, 0)),
      m_bHugePages(std::exchange(other.m_bHugePages, false)) {
    other.m_pMaker.reset();
}

CPacketList& CPacketList::operator=(CPacketList&& other) noexcept {
    if (this != &other) {
        clear();
        m_blocks = std::move(other.m_blocks);
        m_size = std::exchange(other.m_size, 0);
        m_bHugePages = std::exchange(other.m_bHugePages, false);
        other.m_pMaker.reset();
    }
    return *this;
}

CPacketObj& CPacketList::emplace_back() {
    if (m_size == m_blocks.size() * kBlockRecords) {
        m_blocks.reserve(m_blocks.size() + 1);
        void* pStorage = m_pMaker ? m_pMaker->Take() : NewBlock(m_bHugePages);
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
