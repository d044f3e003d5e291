// Packet number to list position, kept in step with the document's list.
#include "store/packet_number_index.h"

namespace wirelark {

void CPacketNumberIndex::Add(int number, std::size_t position) {
    if (!m_bRunEnded && position == m_naturalRun && number > 0 &&
        static_cast<std::size_t>(number) == m_naturalRun + 1) {
        ++m_naturalRun;
        return;
    }
    // The run never grows once it has ended, so a number inside it is always answered by the
    // run, whose records come first in list order.
    if (!Find(number)) {
        m_others.try_emplace(number, position);
    }
    m_bRunEnded = true;
}

std::optional<std::size_t> CPacketNumberIndex::Find(int number) const {
    if (number > 0 && static_cast<std::size_t>(number) <= m_naturalRun) {
        return static_cast<std::size_t>(number) - 1;
    }
    const auto it = m_others.find(number);
    if (it == m_others.end()) {
        return std::nullopt;
    }
    return it->second;
}

void CPacketNumberIndex::Clear() noexcept {
    m_naturalRun = 0;
    m_bRunEnded = false;
    std::unordered_map<int, std::size_t>().swap(m_others);  // also frees the buckets
}

}  // namespace wirelark
