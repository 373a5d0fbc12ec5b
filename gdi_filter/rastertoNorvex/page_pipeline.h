// The page pipeline: each imaged page goes to the printer in order as page
// start, image and page end. The sequential job is this pipeline with no
// workers and no page held; with workers a PLATFORM_C or PLATFORM_M page is
// compressed on one while the next page is read and halftoned, and PLATFORM_Z
// pages have their bands compressed as their rows come in. Every send is made
// on the job's thread.
#pragma once

#include <cstdint>
#include <memory>

#include <cups/raster.h>

#include "common/byte_buffer.h"
#include "common/worker_pool.h"
#include "prnt/banded_image.h"
#include "prnt/image.h"
#include "prnt/page.h"

struct JobState;

// The compressed image of a page, made on a worker (it touches no global).
struct PageCompression {
    WorkerPool* pool = nullptr;
    WorkGroup group;
    ByteBuffer image;
    uint32_t checksum = 0;
    bool ok = false;

    PageCompression() = default;
    ~PageCompression() { if (pool) WaitForWork(pool, &group); }
    PageCompression(const PageCompression&) = delete;
    PageCompression& operator=(const PageCompression&) = delete;
};

// One page on its way to the printer: what its page start, image and page
// end are sent from, and how its image is compressed.
struct PipelinePage {
    int number = 0;
    cups_page_header2_t header{};
    GDI_START_PAGE_PARAM start{};
    GDI_SEND_PAGE_PARAM send{};
    GDI_END_PAGE_PARAM end{};
    uint32_t coverage = 0;  // gImageCoverage of the page's halftone
    bool blank = false;     // nothing was halftoned: the dot page is final as it is
    bool started = false;   // its page start is sent
    std::unique_ptr<uint8_t[]> dots;
    // The compressor: PLATFORM_Z bands on the workers while the rows come in,
    // or the whole page on a worker once halftoned; neither: compressed here
    // as it is sent.
    std::unique_ptr<BandedPageImage> bands;
    std::unique_ptr<PageCompression> compression;
};

struct PagePipeline {
    JobState* job = nullptr;
    std::unique_ptr<PipelinePage> held;  // imaged, compressed aside, to be sent next
    PipelinePage* reading = nullptr;     // the page whose lines are being read
    ~PagePipeline();                     // the input stops calling back
};

// Ties the pipeline to the job; while the raster input waits, a held page
// whose compression has finished goes to the printer.
void OpenPipeline(PagePipeline& pipe, JobState& job);

// A page's lines are about to be read: its page start goes out now unless a
// page before it is still to be sent.
void BeginPage(PagePipeline& pipe, PipelinePage& page);

// On PLATFORM_Z with workers, starts the page's bands on them from the grey
// page (the dots of `send`); false when the page is not banded.
bool StartBands(JobState& job, PipelinePage& page, const GDI_SEND_PAGE_PARAM& send,
                const uint8_t* grey);
// Grey rows [0, rows) of the page are final: their bands may be compressed.
void RowsFinal(PipelinePage& page, uint32_t rows);

// The page is imaged: it is compressed and sent in its turn.
void SubmitPage(PagePipeline& pipe, std::unique_ptr<PipelinePage> page);

// The page was cancelled while read on PLATFORM_M: the page before it goes out
// whole and the printer gets this page's start, nothing more of it.
void AbandonPage(PagePipeline& pipe, PipelinePage& page);

// Sends the page still held, if any.
void DrainPipeline(PagePipeline& pipe);
