// The peak resident memory a piece of work adds to the process, for the tests that show that a
// hostile reply costs bounded memory. The kernel's high-water mark is reset before the work runs.
#pragma once

#include <fstream>
#include <string>

namespace kelvra::test {

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); 0 when it cannot be read.
inline long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return 0;
}

// Runs `work` and returns how many MiB above the memory in use before it the peak went.
template <typename Work>
long peakGrowthMiB(Work&& work) {
    std::ofstream("/proc/self/clear_refs") << "5";  // the high-water mark starts again here
    const long before = statusKiB("VmRSS");
    work();
    return (statusKiB("VmHWM") - before) / 1024;
}

// The sanitizers' shadow memory, redzones and quarantine multiply what memory costs: the bound
// a test states for the plain build, made fit for the build it runs in.
inline long memoryBoundMiB(long plainMiB) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return 3 * plainMiB + 256;
#else
    return plainMiB;
#endif
}

}  // namespace kelvra::test
