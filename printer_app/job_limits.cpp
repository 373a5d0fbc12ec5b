// The server's bounds on its jobs' children.
#include "job_limits.h"

namespace {

// Written before the system runs; the job threads only read them.
int gStallSeconds = kDefaultStallSeconds;
int gRenderMemoryMiB = kDefaultRenderMemoryMiB;

}  // namespace

void SetJobLimits(int stallSeconds, int renderMemoryMiB) {
    gStallSeconds = stallSeconds;
    gRenderMemoryMiB = renderMemoryMiB;
}

int JobStallSeconds() { return gStallSeconds; }

std::size_t RenderMemoryLimit() { return static_cast<std::size_t>(gRenderMemoryMiB) << 20; }
