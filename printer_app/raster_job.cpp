// A raster job: one filter child, fed the page headers and lines PAPPL hands over.
#include "raster_job.h"

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
    unsigned lines = 0;      // of the page, written to the filter
    bool failed = false;     // the filter stopped taking the pages
    bool shortPage = false;  // the client's raster ended inside a page

    ~RasterJob() {
        if (raster != nullptr) cupsRasterClose(raster);
    }
};

RasterJob* JobOf(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

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
    const NorvexModel* model = ModelOfJob(job);
    if (model == nullptr || options == nullptr)
        return EndJobAs(job, JobResult::DriverNotStarted, "the printer has no Norvex model");
    auto r = new RasterJob;
    r->job = job;
    papplJobSetData(job, r);
    r->filter = StartFilter(job, device, *model, FilterOptionText(*options, model->platform));
    if (r->filter == nullptr) return false;
    r->raster = cupsRasterOpen(FilterInput(*r->filter), CUPS_RASTER_WRITE);
    if (r->raster == nullptr) {
        FinishFilter(*r->filter);
        return EndJobAs(job, JobResult::DriverNotStarted, "the raster stream cannot be opened");
    }
    return true;
}

bool StartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    RasterJob* r = JobOf(job);
    if (r == nullptr || r->failed || options == nullptr) return false;
    if (papplJobIsCanceled(job)) return Fail(*r, job);
    const NorvexModel* model = ModelOfJob(job);
    if (model == nullptr) return Fail(*r, job);
    r->header = options->header;
    r->lines = 0;
    AdjustPageHeader(r->header, model->platform);
    if (!cupsRasterWriteHeader2(r->raster, &r->header)) return Fail(*r, job);
    return true;
}

bool WriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned,
               const unsigned char* line) {
    RasterJob* r = JobOf(job);
    if (r == nullptr || r->failed || line == nullptr) return false;
    if (papplJobIsCanceled(job)) return Fail(*r, job);
    if (cupsRasterWritePixels(r->raster, const_cast<unsigned char*>(line),
                              r->header.cupsBytesPerLine) != r->header.cupsBytesPerLine)
        return Fail(*r, job);
    ++r->lines;
    return true;
}

bool EndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
    RasterJob* r = JobOf(job);
    if (r == nullptr) return false;
    // A cancelled job is not failed: PAPPL stops at the end of the page itself,
    // and would show the job aborted until it ends.
    if (CancelRequested(job)) return true;
    // PAPPL skips, without a word, the lines a client's raster lacks at its end.
    if (!r->failed && r->lines < r->header.cupsHeight) r->shortPage = true;
    return !r->failed && !r->shortPage;
}

bool EndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    RasterJob* r = JobOf(job);
    if (r == nullptr || r->filter == nullptr) return false;
    papplJobSetData(job, nullptr);
    cupsRasterClose(r->raster);
    r->raster = nullptr;
    const ChildrenReport report = FinishFilter(*r->filter);
    JobResult result = report.result;
    // PAPPL aborted the job for the client's raster: the filter's end (a page
    // short of lines) follows from that.
    const bool stopped = result == JobResult::Cancelled || result == JobResult::Stalled ||
                         result == JobResult::DeviceFailed;
    if (!stopped && r->shortPage) result = JobResult::ShortRaster;
    else if (!stopped && !r->failed && papplJobGetState(job) == IPP_JSTATE_ABORTED) result = RasterFault(job);
    delete r;
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
