// Progress and cancel for long file work: the caller's callback hears how far the work is and
// answers whether it may go on.
#pragma once

#include <cstdint>
#include <functional>

namespace wirelark {

// Called with the work done so far and the whole of it (in bytes or in records, as the
// operation says); returning false cancels the operation.
using ProgressCallback = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// How many records a loop over records lets pass between two looks at its progress.
inline constexpr std::uint32_t kProgressStride = 256;

// Calls a progress callback often enough for a progress bar and seldom enough to cost nothing:
// at the start, whenever another 1/512 of the total is done, and at the end. A loop that
// rebuilds or processes items in steps calls Advance after each item.
class CProgressReporter {
public:
    CProgressReporter(const ProgressCallback& callback, std::uint64_t total)
        : m_pCallback(callback ? &callback : nullptr),
          m_total(total),
          m_step(total / 512 > 0 ? total / 512 : 1) {}

    // False once the callback has asked to cancel.
    bool Advance(std::uint64_t done) {
        if (m_pCallback == nullptr || m_bCancelled) {
            return !m_bCancelled;
        }
        if (m_bStarted && done < m_next && done < m_total) {
            return true;
        }
        m_bStarted = true;
        m_next = done + m_step;
        m_bCancelled = !(*m_pCallback)(done, m_total);
        return !m_bCancelled;
    }
    // Reports the whole as done.
    bool Finish() {
        m_next = 0;
        return Advance(m_total);
    }
    bool IsCancelled() const { return m_bCancelled; }

private:
    const ProgressCallback* m_pCallback;
    std::uint64_t m_total;
    std::uint64_t m_step;
    std::uint64_t m_next = 0;
    bool m_bStarted = false;
    bool m_bCancelled = false;
};

}  // namespace wirelark
