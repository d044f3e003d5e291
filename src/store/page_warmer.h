// Faults in fresh memory on a second thread while a bulk load fills it from the front, so that
// the system's clearing of new pages runs beside the load instead of inside it.
#pragma once

#include <cstdint>
#include <span>
#include <thread>

namespace wirelark {

class CPageWarmer {
public:
    // Ranges smaller than this are not worth a thread.
    static constexpr std::size_t kMinRange = std::size_t{4} << 20;

    CPageWarmer() = default;
    // Starts warming `range` from its start. Only a hint: the contents are never read or
    // written, and nothing happens when the range is small, when no thread can be started or
    // when the system cannot populate pages ahead of use (before Linux 5.14).
    explicit CPageWarmer(std::span<std::uint8_t> range);
    CPageWarmer(const CPageWarmer&) = delete;
    CPageWarmer& operator=(const CPageWarmer&) = delete;
    ~CPageWarmer() { Stop(); }

    // Returns once the thread has ended, within one step of the range.
    void Stop() noexcept;

private:
    std::jthread m_thread;
};

}  // namespace wirelark
