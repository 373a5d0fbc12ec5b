// A raster job: one filter child, fed the page headers and lines PAPPL hands over.
#include "raster_job.h"

#include <cstring>
#include <memory>

#include <cups/raster.h>

#include "drivers.h"
#include "filter_options.h"
#include "filter_process.h"
#include "job_end.h"

namespace {

struct RasterJob {
    pappl_job_t* job = nullptr;
    FilterHandle filter;
    cups_raster_t* raster = nullptr;
    cups_page_header2_t header{};
    JobTicket ticket;
    // PAPPL draws a JPEG or PNG image once per copy; the filter makes the
    // copies of the first (collated, or by the printer) like any page's.
    bool image = false;
    unsigned pagesSeen = 0;     // pages PAPPL started, copies of an image included
    unsigned pagesWritten = 0;  // to the filter
    bool skipping = false;      // this page is not printed (outside the page ranges, or a copy)
    unsigned lines = 0;         // of the page, handed over by PAPPL
    bool failed = false;        // the filter stopped taking the pages
    bool shortPage = false;     // the client's raster ended inside a page

    ~RasterJob() {
        if (raster != nullptr) cupsRasterClose(raster);
    }
};

// PAPPL runs the raster callbacks of one job in one thread (the client's for
// streamed raster, the job's for JPEG and PNG) but may run one job in two
// threads at once: 1.3.1 starts a pending job again when a second job
// arrives before the first one's thread has marked it processing. Each
// thread keeps its own record, so two runs never free or overwrite each
// other's; one PAPPL leaves behind (no EndJob) goes with the thread or its
// next job.
thread_local std::unique_ptr<RasterJob> tRasterJob;

RasterJob* RecordOf(pappl_job_t* job) {
    return tRasterJob != nullptr && tRasterJob->job == job ? tRasterJob.get() : nullptr;
}

// The filter took no more input (it stopped or the job was cancelled).
bool Fail(RasterJob& r, pappl_job_t* job) {
    if (!r.failed && !papplJobIsCanceled(job))
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The filter stopped taking the job's pages.");
    r.failed = true;
    return false;
}

// PAPPL aborted the job itself, for what the client sent.
JobResult RasterFault(pappl_job_t* job) {
    const bool colour = (papplJobGetReasons(job) & PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR) != 0;
    return colour ? JobResult::ColourRaster : JobResult::BadRaster;
}

bool StartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    tRasterJob.reset();
    const NorvexModel* model = ModelOfJob(job);
    if (model == nullptr || options == nullptr)
        return EndJobAs(job, JobResult::DriverNotStarted, "the printer has no Norvex model");
    auto r = std::make_unique<RasterJob>();
    r->job = job;
    std::string why;
    if (!ReadJobTicket(job, *options, *model, r->ticket, why)) return EndJobAs(job, JobResult::TicketRefused, why);
    const char* format = papplJobGetFormat(job);
    r->image = format != nullptr && (std::strcmp(format, "image/jpeg") == 0 || std::strcmp(format, "image/png") == 0);
    r->filter = StartFilter(job, device, *model, FilterOptionText(*options, r->ticket, model->platform));
    if (r->filter == nullptr) return false;
    r->raster = cupsRasterOpen(FilterInput(*r->filter), CUPS_RASTER_WRITE);
    if (r->raster == nullptr) {
        FinishFilter(*r->filter);
        return EndJobAs(job, JobResult::DriverNotStarted, "the raster stream cannot be opened");
    }
    tRasterJob = std::move(r);
    return true;
}

bool StartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
    RasterJob* r = RecordOf(job);
    if (r == nullptr || r->failed || options == nullptr) return false;
    if (papplJobIsCanceled(job)) return Fail(*r, job);
    const NorvexModel* model = ModelOfJob(job);
    if (model == nullptr) return Fail(*r, job);
    ++r->pagesSeen;
    // PAPPL counted a streamed page as it began reading it; the filter's
    // page lines count what is printed, copies included.
    if (!r->image) papplJobSetImpressionsCompleted(job, -1);
    r->lines = 0;
    r->skipping = r->image ? r->pagesSeen > 1 || !PageSelected(r->ticket, 1) : !PageSelected(r->ticket, page);
    if (r->skipping) return true;
    r->header = options->header;
    AdjustPageHeader(r->header, r->ticket);
    if (!cupsRasterWriteHeader2(r->raster, &r->header)) return Fail(*r, job);
    ++r->pagesWritten;
    return true;
}

bool WriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned,
               const unsigned char* line) {
    RasterJob* r = RecordOf(job);
    if (r == nullptr || r->failed || line == nullptr) return false;
    if (papplJobIsCanceled(job)) return Fail(*r, job);
    ++r->lines;
    if (r->skipping) return true;
    if (cupsRasterWritePixels(r->raster, const_cast<unsigned char*>(line),
                              r->header.cupsBytesPerLine) != r->header.cupsBytesPerLine)
        return Fail(*r, job);
    return true;
}

bool EndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    RasterJob* r = RecordOf(job);
    if (r == nullptr || options == nullptr) return false;
    // A cancelled job is not failed: PAPPL stops at the end of the page itself,
    // and would show the job aborted until it ends.
    if (CancelRequested(job)) return true;
    // PAPPL skips, without a word, the lines a client's raster lacks at its end.
    if (!r->failed && r->lines < options->header.cupsHeight) r->shortPage = true;
    const bool ok = !r->failed && !r->shortPage;
    // PAPPL counts an image's copy once the page has ended well.
    if (ok && r->image) papplJobSetImpressionsCompleted(job, -1);
    return ok;
}

bool EndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    // PAPPL calls EndJob again after a failed one: there is nothing left then.
    if (RecordOf(job) == nullptr) return false;
    const std::unique_ptr<RasterJob> r = std::move(tRasterJob);
    cupsRasterClose(r->raster);
    r->raster = nullptr;
    const ChildrenReport report = FinishFilter(*r->filter);
    JobResult result = report.result;
    // PAPPL aborted the job for the client's raster: the filter's end (a page
    // short of lines) follows from that.
    const bool stopped = result == JobResult::Cancelled || result == JobResult::Stalled ||
                         result == JobResult::DeviceFailed;
    if (!stopped && r->shortPage) result = JobResult::ShortRaster;
    else if (!stopped && r->pagesWritten == 0 && r->pagesSeen > 0 && !r->ticket.pageRanges.empty())
        result = JobResult::NoPagesInRanges;
    else if (!stopped && !r->failed && papplJobGetState(job) == IPP_JSTATE_ABORTED) result = RasterFault(job);
    return EndJobAs(job, result, report.detail);
}

}  // namespace

void SetRasterCallbacks(pappl_pr_driver_data_t* data) {
    data->rstartjob_cb = StartJob;
    data->rstartpage_cb = StartPage;
    data->rwriteline_cb = WriteLine;
    data->rendpage_cb = EndPage;
    data->rendjob_cb = EndJob;
}
