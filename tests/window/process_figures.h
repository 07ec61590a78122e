#pragma once
// Figures of this process that the soak and the benchmarks print.

#include <filesystem>
#include <fstream>
#include <string>

// Resident memory in kB (VmRSS), or -1 when /proc does not tell.
inline long resident_kb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

// The number of file descriptors open now.
inline long open_descriptors()
{
    long count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}
