// Finds the first record with a given packet number in constant time. Captures and the files
// they were saved to number their records 1, 2, 3, ... in list order, which the index answers by
// arithmetic; only numbers outside that run cost a hash entry.
#pragma once

#include <cstddef>
#include <optional>
#include <unordered_map>

namespace wirelark {

class CPacketNumberIndex {
public:
    // Records that the list's record at `position` (the count of earlier calls since Clear) has
    // `number`. Strong guarantee: on std::bad_alloc the index is unchanged.
    void Add(int number, std::size_t position);
    // The position of the first record added with `number`, if any.
    std::optional<std::size_t> Find(int number) const;
    void Clear() noexcept;

private:
    std::size_t m_naturalRun = 0;  // records 0..m_naturalRun-1 are numbered 1..m_naturalRun
    bool m_bRunEnded = false;
    std::unordered_map<int, std::size_t> m_others;  // first position of every other number
};

}  // namespace wirelark
