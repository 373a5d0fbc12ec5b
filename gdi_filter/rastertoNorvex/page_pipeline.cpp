// The page pipeline: pages go to the printer in order, each as page start,
// image and page end, from the job's thread; their images are compressed on
// workers where the job has them.
#include "rastertoNorvex/page_pipeline.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "common/output.h"
#include "common/platform.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/report.h"
#include "rastertoNorvex/signals.h"

namespace {

// The most pages compressed at the same time (each holds its dot page).
constexpr int kPagesInFlight = 2;

// The job's pool, started once for its first page; nullptr for the rest of the
// job when not one thread could be started.
WorkerPool* JobWorkers(JobState& job, int threads) {
    if (!job.workersTried) {
        job.workersTried = true;
        job.workers = StartWorkers(threads);
        if (!job.workers)
            std::fputs("DEBUG: No worker thread could be started; the pages are imaged sequentially\n",
                       stderr);
    }
    return job.workers.get();
}

// PLATFORM_Z's pages are many JBIG bands: they are compressed on the workers
// while the page's rows come in.
WorkerPool* BandWorkers(JobState& job) {
    if (job.platform != PLATFORM_Z || job.threads <= 1) return nullptr;
    return JobWorkers(job, job.threads);
}

// PLATFORM_C and PLATFORM_M pages are one JBIG stream each: it is compressed on
// a worker beside the page before it while the next page is read here.
WorkerPool* PageWorkers(JobState& job) {
    if (job.platform == PLATFORM_Z || job.threads <= 1) return nullptr;
    return JobWorkers(job, std::min(job.threads, kPagesInFlight));
}

// The routing follows the page being sent: its number, and in manual duplex
// whether it goes to the printer now (fronts) or only to the spool (backs).
void RouteToPage(const JobState& job, int number) {
    g_page = number;
    if (job.Value(MANUALDUPLEX) == 1) gSendDataToDevice = number % 2 == 1 ? 1 : 0;
}

void SendPageStart(JobState& job, PipelinePage& page) {
    page.started = true;
    NowSending(job, "page", page.number);
    std::fprintf(stderr, "PAGE: %d %d\n", page.number, static_cast<int>(page.header.NumCopies));
    RouteToPage(job, page.number);
    if (!Prnt_StartPage(&page.start, job.platform)) ReportFailure(job, "main() :: Start page Fail ! \n");
    BetweenCommands();
}

// Has a worker compress the halftoned page; without a worker (or memory for
// it) the page is compressed as it is sent.
void CompressAside(JobState& job, PipelinePage& page, WorkerPool* pool) {
    if (page.bands || !IsEncodableImage(page.send)) return;  // failures are reported as it is sent
    auto compression = std::unique_ptr<PageCompression>(new (std::nothrow) PageCompression);
    if (!compression) return;
    const std::size_t rawBytes = std::size_t{page.send.whlImgW} / 8 * page.send.whlImgH;
    if (!ReserveBytes(&compression->image, CompressedSizeGuess(rawBytes))) return;
    PageCompression* const c = compression.get();
    const GDI_SEND_PAGE_PARAM send = page.send;
    const int platform = job.platform;
    if (!PostWork(pool, &c->group, [c, send, platform] {
            c->ok = CompressImageBand(send, JbigParamsFor(send, platform), 0, platform, &c->image,
                                      &c->checksum) == 1;
        }))
        return;
    c->pool = pool;
    page.compression = std::move(compression);
}

bool CompressionDone(PipelinePage& page) {
    PageCompression* const c = page.compression.get();
    return c == nullptr || c->pool == nullptr || WorkDone(c->pool, &c->group);
}

// The page's image and page end (its page start went out before).
void SendImageAndEnd(JobState& job, PipelinePage& page) {
    const int platform = job.platform;
    gImageCoverage = page.coverage;
    int sent = 0;
    if (page.bands) {
        sent = Prnt_SendBandedPage(page.bands.get(), !page.blank, &page.send);
    } else if (page.compression) {
        PageCompression& c = *page.compression;
        WaitForWork(c.pool, &c.group);
        c.pool = nullptr;
        if (c.ok) {
            gImageChecksum = c.checksum;
            sent = SendPageImage(&page.send, JbigParamsFor(page.send, platform), c.image, platform);
        } else {
            sent = Prnt_SendPage(&page.send, platform);  // compressed here, failures reported as ever
        }
    } else {
        sent = Prnt_SendPage(&page.send, platform);
    }
    page.bands.reset();
    page.compression.reset();
    page.dots.reset();
    if (!sent) ReportFailure(job, "main() :: Send page Fail!\n");
    std::fflush(stdout);
    if (!Prnt_EndPage(&page.end, platform)) ReportFailure(job, "main() :: End page Fail ! \n");
    BetweenCommands();
    job.lastPageHeader = page.header;
}

// The held page goes out whole, then the start of the page being read, which
// waited for it.
void SendHeldPage(PagePipeline& pipe) {
    if (!pipe.held) return;
    const std::unique_ptr<PipelinePage> page = std::move(pipe.held);
    SendImageAndEnd(*pipe.job, *page);
    if (pipe.reading && !pipe.reading->started) SendPageStart(*pipe.job, *pipe.reading);
}

// Called while the raster input has nothing to read: a held page whose image
// is ready is sent now rather than after the next page's lines.
bool SendWhileInputWaits(void* context) {
    PagePipeline& pipe = *static_cast<PagePipeline*>(context);
    if (!pipe.held) return false;
    if (!CompressionDone(*pipe.held)) return true;
    SendHeldPage(pipe);
    return false;
}

}  // namespace

PagePipeline::~PagePipeline() {
    if (job && job->input.waitingContext == this) {
        job->input.whileWaiting = nullptr;
        job->input.waitingContext = nullptr;
    }
}

void OpenPipeline(PagePipeline& pipe, JobState& job) {
    pipe.job = &job;
    job.input.whileWaiting = SendWhileInputWaits;
    job.input.waitingContext = &pipe;
}

void BeginPage(PagePipeline& pipe, PipelinePage& page) {
    pipe.reading = &page;
    if (!pipe.held) SendPageStart(*pipe.job, page);
}

bool StartBands(JobState& job, PipelinePage& page, const GDI_SEND_PAGE_PARAM& send,
                const uint8_t* grey) {
    if (page.bands) return true;
    WorkerPool* const workers = BandWorkers(job);
    if (!workers) return false;
    auto bands = std::unique_ptr<BandedPageImage>(new (std::nothrow) BandedPageImage);
    if (!bands || !StartBandedImage(bands.get(), workers, send, grey, job.Value(NEGATIVEPRINT),
                                    job.Value(DPI1200)))
        return false;
    page.bands = std::move(bands);
    return true;
}

void RowsFinal(PipelinePage& page, uint32_t rows) {
    if (page.bands && rows % kJbigBandHeight == 0) PostFinalRows(page.bands.get(), rows);
}

void SubmitPage(PagePipeline& pipe, std::unique_ptr<PipelinePage> page) {
    JobState& job = *pipe.job;
    pipe.reading = nullptr;
    WorkerPool* const workers = PageWorkers(job);
    if (workers) CompressAside(job, *page, workers);
    // The page before goes out whole before this one's page start.
    SendHeldPage(pipe);
    if (!page->started) SendPageStart(job, *page);
    if (workers)
        pipe.held = std::move(page);
    else
        SendImageAndEnd(job, *page);
}

void AbandonPage(PagePipeline& pipe, PipelinePage& page) {
    pipe.reading = nullptr;
    SendHeldPage(pipe);
    if (!page.started) SendPageStart(*pipe.job, page);
}

void DrainPipeline(PagePipeline& pipe) {
    pipe.reading = nullptr;
    SendHeldPage(pipe);
}
