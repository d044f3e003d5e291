// The document's records in capture order. They live in large fixed blocks, so a record never
// moves while the list grows (views keep pointers to records until the document is emptied),
// a million records cost a few dozen allocations, and a block can be backed by huge pages.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

#include "store/packet_obj.h"

namespace wirelark {

class CPacketList {
public:
    // One block is a huge page of records.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 21;
    static constexpr std::size_t kBlockRecords = kBlockBytes / sizeof(CPacketObj);

    template <typename Record>
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = CPacketObj;
        using difference_type = std::ptrdiff_t;
        using pointer = Record*;
        using reference = Record&;

        Iterator() = default;
        Iterator(const CPacketList* pList, std::size_t position)
            : m_pList(pList), m_position(position) {}
        reference operator*() const { return const_cast<reference>(m_pList->At(m_position)); }
        pointer operator->() const { return &**this; }
        Iterator& operator++() {
            ++m_position;
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++m_position;
            return before;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) {
            return a.m_position == b.m_position;
        }

    private:
        const CPacketList* m_pList = nullptr;
        std::size_t m_position = 0;
    };
    using iterator = Iterator<CPacketObj>;
    using const_iterator = Iterator<const CPacketObj>;

    CPacketList();
    CPacketList(const CPacketList&) = delete;
    CPacketList& operator=(const CPacketList&) = delete;
    CPacketList(CPacketList&& other) noexcept;
    CPacketList& operator=(CPacketList&& other) noexcept;
    ~CPacketList();

    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    const CPacketObj& operator[](std::size_t position) const { return At(position); }
    CPacketObj& operator[](std::size_t position) { return const_cast<CPacketObj&>(At(position)); }
    const CPacketObj& front() const { return At(0); }
    const CPacketObj& back() const { return At(m_size - 1); }
    CPacketObj& back() { return const_cast<CPacketObj&>(At(m_size - 1)); }
    iterator begin() { return {this, 0}; }
    iterator end() { return {this, m_size}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, m_size}; }

    // A new empty record at the end. Throws std::bad_alloc, with the list unchanged, when a new
    // block cannot be had.
    CPacketObj& emplace_back();
    void pop_back() noexcept;
    // Asks for the blocks made from now on to be backed by huge pages, for a bulk load: that
    // saves most of their page faults, but the last block's huge page is whole even where the
    // load leaves it empty, until ReleaseUnused.
    void SetHugePages(bool bHugePages) { m_bHugePages = bHugePages; }
    // For a load of millions of records: while it lasts, a second thread keeps the next block
    // allocated and its pages faulted in, so that the load never waits for the system to clear
    // fresh memory. Ends with a move of the list.
    void SetBulkLoad(bool bBulkLoad);
    // Gives the pages of the last block that no record has reached back to the system; records
    // added later get them again, fresh.
    void ReleaseUnused() noexcept;
    // Destroys every record and frees every block.
    void clear() noexcept;

private:
    class CBlockMaker;
    struct BlockDeleter {
        void operator()(CPacketObj* pBlock) const noexcept;
    };
    using Block = std::unique_ptr<CPacketObj, BlockDeleter>;

    const CPacketObj& At(std::size_t position) const {
        return m_blocks[position / kBlockRecords].get()[position % kBlockRecords];
    }

    std::vector<Block> m_blocks;  // raw storage; the first m_size slots hold records
    std::size_t m_size = 0;
    bool m_bHugePages = false;
    std::unique_ptr<CBlockMaker> m_pMaker;
};

}  // namespace wirelark
