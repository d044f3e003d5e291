// The process's resident memory, for the benchmarks' memory figures: what the pages in use
// really occupy, huge pages whole, unlike the heap's own counts of what was allocated.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdio>

namespace wirelark::test {

inline std::size_t ResidentBytes() {
    std::size_t pages = 0;
    std::size_t resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%zu %zu", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace wirelark::test
