// Fuzz target: the input is the raster stream (headers and pixels) of a whole
// job, run in-process on a printer and with options chosen by its two leading
// bytes. The job may refuse what it cannot print, but every printer stream it
// writes must decode cleanly.
//
// A job's time grows with the paper it prints on and the pages it sends: an A4
// page costs twenty envelopes. This target runs jobs of the smallest papers the
// printers take (up to a Monarch envelope, 3 7/8 x 7 1/2 in) that print at most
// eight pages and two envelopes' worth of paper, so most of its time goes into
// the job and page paths; fuzz_pipeline runs every input of the same seeds,
// whole pages included.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unistd.h>

#include <cups/raster.h>

#include "checked_job.h"
#include "job_inputs.h"
#include "rastertoNorvex/cups_binding.h"

namespace {

constexpr uint64_t kLargestPaperArea = 279 * 540;  // points squared
constexpr uint64_t kMostPrintedArea = 2 * kLargestPaperArea;
constexpr uint64_t kMostPrintedPages = 8;
// Lines longer than this the filter refuses before it reads a pixel.
constexpr unsigned kLongestLine = 1 << 16;

// libcups reserves a line of the header's cupsBytesPerLine before anyone can
// refuse it: a first header asking for gigabytes costs a second each time
// (fuzz_pipeline and the regression seed keep that path).
bool FirstLineFits(const uint8_t* data, size_t size) {
    cups_page_header2_t header;
    uint32_t sync;
    if (size < 4 + sizeof header) return true;
    std::memcpy(&sync, data, 4);
    std::memcpy(&header, data + 4, sizeof header);
    const bool swapped = sync == CUPS_RASTER_REVSYNC || sync == CUPS_RASTER_REVSYNCv1 ||
                         sync == CUPS_RASTER_REVSYNCv2;
    const uint32_t bytes = swapped ? __builtin_bswap32(header.cupsBytesPerLine) : header.cupsBytesPerLine;
    return bytes <= kLongestLine;
}

// True when every page of the stream is of a small paper and the pages and
// their copies stay within kMostPrintedPages and kMostPrintedArea (a malformed
// stream counts as small: the filter meets it as it is).
bool SmallJob(int fd) {
    lseek(fd, 0, SEEK_SET);
    const std::unique_ptr<cups_raster_t, decltype(&cupsRasterClose)> ras(
        cupsRasterOpen(fd, CUPS_RASTER_READ), cupsRasterClose);
    if (!ras) return true;
    std::unique_ptr<uint8_t[]> line(new uint8_t[kLongestLine]);
    cups_page_header2_t header;
    uint64_t pages = 0;
    uint64_t area = 0;
    while (cupsRasterReadHeader2(ras.get(), &header)) {
        const uint64_t paper = uint64_t{header.PageSize[0]} * header.PageSize[1];
        const uint64_t copies = header.NumCopies == 0 ? 1 : header.NumCopies;
        if (paper > kLargestPaperArea) return false;
        pages += copies;
        area += copies * paper;
        if (pages > kMostPrintedPages || area > kMostPrintedArea) return false;
        if (header.cupsBytesPerLine > kLongestLine) return true;
        for (unsigned y = 0; y < header.cupsHeight; ++y)
            if (cupsRasterReadPixels(ras.get(), line.get(), header.cupsBytesPerLine) == 0) return true;
    }
    return true;
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
    if (!FirstLineFits(data + 2, size - 2)) return 0;
    RefillMemoryFile(raster, data + 2, size - 2);
    if (!SmallJob(raster)) return 0;
    CheckedJob job;
    job.ppdPath = FuzzPrinterPPD(data[0]);
    job.platform = FuzzPrinterPlatform(data[0]);
    job.options = FuzzOptionText(data[1]);
    job.rasterFd = raster;
    RunCheckedJob(job);
    return 0;
}
