// Page raster conversion: one CUPS raster page to one printed page.
#include <cstdio>
#include <memory>

#include "common/last_error.h"
#include "common/output.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"

PageOutcome ConvertAndSendPage(JobState& job) {
    const cups_page_header2_t& header = job.header;
    // The header has been checked, so the line length is within bounds.
    std::unique_ptr<unsigned char[]> line(new (std::nothrow) unsigned char[header.cupsBytesPerLine]);
    if (!line) {
        SetLastError("main() :: Malloc pGrayImgLineBuf or pMonoImgLineBuf or pMonoImgBuf Fail ! \n");
        std::printf("%s", prntLastError);
        return PageOutcome::EndOfJob;
    }
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        if (Canceled) break;
        if (y % 128 == 0)
            std::fprintf(stderr, "INFO: Printing page %d, %u%% complete...\n", g_page,
                         y * 100 / header.cupsHeight);
        if (pfcupsRasterReadPixels(job.ras, line.get(), header.cupsBytesPerLine) == 0 && !Canceled)
            break;
    }
    return PageOutcome::Sent;
}
