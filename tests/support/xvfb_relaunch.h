// For the benchmarks of the whole window: the real thing paints to a real X server, so without
// a display the program runs itself again under Xvfb.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace wirelark::test {

// Returns only when there is a display (or the relaunch failed, with false).
inline bool RelaunchUnderXvfbWithoutDisplay(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if ((display != nullptr && *display != '\0') || std::getenv("WIRELARK_BENCH_XVFB") != nullptr) {
        return true;
    }
    setenv("WIRELARK_BENCH_XVFB", "1", 1);
    std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                               const_cast<char*>("-s"),
                               const_cast<char*>("-screen 0 1280x1024x24")};
    args.insert(args.end(), argv, argv + argc);
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
    std::fprintf(stderr, "no display, and xvfb-run could not be started\n");
    return false;
}

}  // namespace wirelark::test
