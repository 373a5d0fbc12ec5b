// Fuzz target: arbitrary PPD text through the filter's PPD queries (model
// name, "PlatForm", "SupportManualDuplex", "MDuplex", custom margins) and the
// platform choice, by printing a fixed two-page job with it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "checked_job.h"
#include "rastertoNorvex/cups_binding.h"
#include "support/raster_writer.h"

namespace {

int gRaster = -1;

// Two pages of a small custom size (no paper table has it, so the PPD's
// custom margins decide the image; 72 pt leaves room inside margins of up to
// a third of an inch), two-sided: manual duplex where the PPD offers it.
// Uncompressed: libcups unpacks a compressed raster with a memcpy per run,
// each one checked by AddressSanitizer, a third of each input's time.
int MakeRaster() {
    RasterPage page;
    page.pageW = page.pageH = 72;
    page.width = page.height = page.bytesPerLine = 600;
    page.duplex = true;
    // A row of squares at the top: ink to code, and little for the checker to decode.
    page.pixel = [](unsigned x, unsigned y) -> uint8_t { return y < 40 && x % 80 < 40 ? 0 : 255; };
    const int fd = MemoryFile("raster", nullptr, 0);
    if (!WriteRaster(MemoryFilePath(fd), {page, page}, CUPS_RASTER_WRITE)) std::abort();
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitCUPSDLL();
    InitCUPSIMAGEDLL();
    gRaster = MakeRaster();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int ppd = MemoryFile("ppd", nullptr, 0);
    RefillMemoryFile(ppd, data, size);
    CheckedJob job;
    job.ppdPath = MemoryFilePath(ppd);
    job.options = "Duplex=DuplexNoTumble";
    job.rasterFd = gRaster;
    RunCheckedJob(job);
    return 0;
}
