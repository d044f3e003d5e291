// Faults in fresh memory on a second thread while a bulk load fills it from the front, so that
// the system's clearing of new pages runs beside the load instead of inside it.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <thread>

namespace wirelark {

class CPageWarmer {
public:
    // Ranges smaller than this are not worth a thread.
    static constexpr std::size_t kMinRange = std::size_t{4} << 20;
    // How far the warmer runs ahead of the load, so that a range reserved generously is not
    // made resident far beyond what the load needs.
    static constexpr std::size_t kLead = std::size_t{32} << 20;

    CPageWarmer() = default;
    // Starts warming `range` from its start. Only a hint: the contents are never read or
    // written, and nothing happens when the range is small, when no thread can be started or
    // when the system cannot populate pages ahead of use (before Linux 5.14).
    explicit CPageWarmer(std::span<std::uint8_t> range);
    CPageWarmer(const CPageWarmer&) = delete;
    CPageWarmer& operator=(const CPageWarmer&) = delete;
    ~CPageWarmer() { Stop(); }

    // Tells the warmer that the load has filled the first `filled` bytes of the range.
    void Advance(std::size_t filled) noexcept;
    // Returns once the thread has ended, within one step of the range.
    void Stop() noexcept;

private:
    void Warm(const std::stop_token& stop, std::uintptr_t begin, std::uintptr_t end);

    std::atomic<std::size_t> m_filled{0};
    std::jthread m_thread;  // last, so that it ends before the rest goes
};

}  // namespace wirelark
