// Finds the row of a key among rows that a counter keeps in a vector of its own: open addressing
// over one flat array of keys and row numbers, so a packet's lookup touches one or two cache
// lines and a new key allocates nothing but, now and then, a larger array.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace wirelark {

// Hash must spread its bits over the whole word: the low bits pick the slot.
template <typename Key, typename Hash>
class CFlatIndex {
public:
    // The row of `key`, and false; or, for a key not yet known, `newRow`, now its row, and true.
    std::pair<std::uint32_t, bool> Insert(const Key& key, std::uint32_t newRow) {
        if ((m_count + 1) * 2 > m_slots.size()) {
            Grow();
        }
        CSlot& slot = Probe(key);
        if (slot.row != kEmpty) {
            return {slot.row, false};
        }
        slot = {key, newRow};
        ++m_count;
        return {newRow, true};
    }

    // The row of `key`, if it has one.
    std::optional<std::uint32_t> Find(const Key& key) const {
        if (m_count == 0) {
            return std::nullopt;
        }
        const std::uint32_t row = const_cast<CFlatIndex*>(this)->Probe(key).row;
        return row == kEmpty ? std::nullopt : std::optional<std::uint32_t>(row);
    }

    std::size_t Size() const { return m_count; }

    void Clear() {
        m_slots.clear();
        m_count = 0;
    }

private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    struct CSlot {
        Key key{};
        std::uint32_t row = kEmpty;
    };

    // The slot holding `key`, or the empty one where it belongs; the table is never full.
    CSlot& Probe(const Key& key) {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = Hash()(key) & mask;; i = (i + 1) & mask) {
            CSlot& slot = m_slots[i];
            if (slot.row == kEmpty || slot.key == key) {
                return slot;
            }
        }
    }

    // Doubles the slots, so the table stays at most half full and probes stay short.
    void Grow() {
        std::vector<CSlot> old(m_slots.empty() ? 16 : m_slots.size() * 2);
        old.swap(m_slots);
        for (const CSlot& slot : old) {
            if (slot.row != kEmpty) {
                Probe(slot.key) = slot;
            }
        }
    }

    std::vector<CSlot> m_slots;  // a power of two of them
    std::size_t m_count = 0;
};

}  // namespace wirelark
