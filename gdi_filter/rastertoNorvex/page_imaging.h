// A page's imaging: its paper and printer image, the page-start record, its
// raster lines into the grey page, the turns and the halftone into dots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct JobState;
struct PipelinePage;

// A page's printer image and its buffers, had before anything of the page is
// sent: a page that cannot be held sends nothing of itself.
struct PreparedPage {
    double imgW = 0;  // printer image in dots (pixels of the grey page)
    double imgH = 0;
    uint16_t marginX = 0;
    uint16_t marginY = 0;
    uint16_t paperSize = 0;
    std::size_t bytesPerLine = 0;
    std::unique_ptr<uint8_t[]> pGrayImgLineBuf;
    std::unique_ptr<uint8_t[]> pGrayImgBuf;
    std::unique_ptr<uint8_t[]> pMonoImgBuf;
};

// The next page's paper, image size and buffers. False when the page cannot
// be printed (one ERROR line says why); nothing has been sent for it then.
bool PreparePage(JobState& job, PreparedPage& prepared);

// Reads and drops the raster lines of a page that is not printed.
void SkipPageRaster(JobState& job);

// The page-start record of the page (also kept in the job for the blank backs).
void FillPageStart(JobState& job, const PreparedPage& prepared, PipelinePage& page);

enum class PageOutcome {
    Imaged,   // the page's dots, image and page-end records are ready
    CleanUp,  // cancelled on PLATFORM_M while its lines were read
};

// Reads the page's raster lines into the grey page, turns it for duplex,
// rotation and long-edge feed, and halftones it into the page's dots (unless
// its bands do that on the workers).
PageOutcome ImagePage(JobState& job, PreparedPage& prepared, PipelinePage& page);
