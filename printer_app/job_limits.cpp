// The server's bounds on its jobs' children.
#include "job_limits.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// Written before the system runs; the job threads only read them.
int gStallSeconds = kDefaultStallSeconds;
int gRenderMemoryMiB = kDefaultRenderMemoryMiB;

bool Parse(const char* option, const char* text, long low, long high, int& value) {
    if (text == nullptr) return true;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) {
        std::fprintf(stderr, "norvex-printer-app: %s=%s is not a whole number from %ld to %ld.\n", option,
                     text, low, high);
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

bool SetJobLimits(const char* stallSeconds, const char* renderMemoryMiB) {
    // 64 MiB is what ghostscript needs to start and band a plain page.
    return Parse("job-stall-time", stallSeconds, 1, 86400, gStallSeconds) &&
           Parse("render-memory-limit", renderMemoryMiB, 64, 1 << 20, gRenderMemoryMiB);
}

int JobStallSeconds() { return gStallSeconds; }

std::size_t RenderMemoryLimit() { return static_cast<std::size_t>(gRenderMemoryMiB) << 20; }
