// Fuzz target: the input is the raster stream (headers and pixels) of a whole
// job, run in-process on a printer and with options chosen by its two leading
// bytes. The job may refuse what it cannot print, but every printer stream it
// writes must decode cleanly.
#include <cstddef>
#include <cstdint>

#include "checked_job.h"
#include "job_inputs.h"
#include "rastertoNorvex/cups_binding.h"

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
    RunCheckedJob(job);
    return 0;
}
