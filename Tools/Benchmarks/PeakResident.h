// The benchmarks' reading of the process's peak resident size.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

// VmHWM of this process in KiB (peak resident set size); -1 when unknown.
inline long PeakResidentKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long value = -1;
    while (std::fgets(line, sizeof(line), status))
        if (std::strncmp(line, "VmHWM:", 6) == 0) value = std::strtol(line + 6, nullptr, 10);
    std::fclose(status);
    return value;
}
