// Fuzz target: the page pipeline. The input is a whole job as for fuzz_job
// (printer and options from its two leading bytes, then the raster stream),
// run once sequentially (NORVEX_THREADS=1) and once on two worker threads.
// Both printer streams must decode cleanly and be the same byte for byte, the
// PJL JOBTIME line (the minute of the run) aside; the in-process jobs have no
// keep-alive timer, so no filler is written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "checked_job.h"
#include "job_inputs.h"
#include "rastertoNorvex/cups_binding.h"

namespace {

// The stream without its JOBTIME line (up to and with its CR LF).
std::vector<uint8_t> WithoutJobTime(std::vector<uint8_t> stream) {
    static const char kJobTime[] = "@PJL JOBTIME=";
    const auto start = std::search(stream.begin(), stream.end(), kJobTime, kJobTime + std::strlen(kJobTime));
    if (start == stream.end()) return stream;
    static const char kLineEnd[] = "\r\n";
    auto end = std::search(start, stream.end(), kLineEnd, kLineEnd + 2);
    if (end != stream.end()) end += 2;
    stream.erase(start, end);
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitCUPSDLL();
    InitCUPSIMAGEDLL();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const int raster = MemoryFile("raster", nullptr, 0);
    RefillMemoryFile(raster, data + 2, size - 2);
    CheckedJob job;
    job.ppdPath = FuzzPrinterPPD(data[0]);
    job.platform = FuzzPrinterPlatform(data[0]);
    job.options = FuzzOptionText(data[1]);
    job.rasterFd = raster;
    job.threads = 1;
    const std::vector<uint8_t> sequential = WithoutJobTime(RunCheckedJob(job));
    job.threads = 2;
    const std::vector<uint8_t> parallel = WithoutJobTime(RunCheckedJob(job));
    if (parallel != sequential) {
        const auto differ = std::mismatch(sequential.begin(), sequential.end(), parallel.begin(), parallel.end());
        std::fprintf(stderr,
                     "fuzz: the job on two threads sent another stream (%zu bytes against %zu "
                     "sequentially, first difference at %zu)\n",
                     parallel.size(), sequential.size(),
                     static_cast<size_t>(differ.first - sequential.begin()));
        std::abort();
    }
    return 0;
}
