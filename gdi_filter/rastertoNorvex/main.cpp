// rastertoNorvex: CUPS filter from 8-bit grey raster to the printer command
// stream of Norvex host-based laser printers (platforms C, Z and M).
//
// Usage (as CUPS runs it): rastertoNorvex job-id user title copies options [file]
// with the printer's PPD named by the environment variable PPD.
#include <cstdlib>
#include <malloc.h>

#include "common/worker_pool.h"
#include "rastertoNorvex/job.h"

namespace {

// Freed memory kept for the next page: more than the largest page's buffers.
constexpr int kKeptHeapBytes = 512 * 1024 * 1024;

}  // namespace

int main(int argc, char* argv[]) {
    // Each page allocates and frees a grey page of tens of MiB and a dot page of
    // a few. glibc maps blocks that large on their own and unmaps them when they
    // are freed (after the first ones it keeps those up to 32 MiB), so pages
    // would fault their memory in again, 4 KiB at a time. Kept on the heap and
    // not trimmed, the next page gets the memory the last one used.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, kKeptHeapBytes);

    JobRequest request;
    request.argc = argc;
    request.argv = argv;
    request.ppdPath = std::getenv("PPD");
    request.threads = WorkerThreadsWanted(std::getenv("NORVEX_THREADS"));
    return RunJob(request);
}
