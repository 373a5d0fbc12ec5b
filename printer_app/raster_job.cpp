// A raster job: one filter child, fed the page headers and lines PAPPL hands over.
#include "raster_job.h"

#include <cups/raster.h>

#include "filter_options.h"
#include "filter_process.h"

namespace {

struct RasterJob {
    FilterHandle filter;
    cups_raster_t* raster = nullptr;
    cups_page_header2_t header{};
    bool failed = false;
};

RasterJob* JobOf(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

const NorvexModel& ModelOf(pappl_job_t* job) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
    return *static_cast<const NorvexModel*>(data.extension);
}

// The filter took no more input (it stopped or the job was cancelled).
bool Fail(RasterJob& r, pappl_job_t* job) {
    if (!r.failed && !papplJobIsCanceled(job))
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The filter stopped taking the job's pages.");
    r.failed = true;
    return false;
}

bool StartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    const NorvexModel& model = ModelOf(job);
    auto r = new RasterJob;
    papplJobSetData(job, r);
    r->filter = StartFilter(job, device, model, FilterOptionText(*options, model.platform), -1, false);
    if (r->filter == nullptr) return Fail(*r, job);
    r->raster = cupsRasterOpen(FilterInput(*r->filter), CUPS_RASTER_WRITE);
    if (r->raster == nullptr) return Fail(*r, job);
    return true;
}

bool StartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    RasterJob* r = JobOf(job);
    if (r == nullptr || r->failed || r->raster == nullptr || papplJobIsCanceled(job)) return false;
    r->header = options->header;
    AdjustPageHeader(r->header, ModelOf(job).platform);
    if (!cupsRasterWriteHeader2(r->raster, &r->header)) return Fail(*r, job);
    return true;
}

bool WriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned,
               const unsigned char* line) {
    RasterJob* r = JobOf(job);
    if (r == nullptr || r->failed || r->raster == nullptr) return false;
    if (papplJobIsCanceled(job)) return Fail(*r, job);
    if (cupsRasterWritePixels(r->raster, const_cast<unsigned char*>(line),
                              r->header.cupsBytesPerLine) != r->header.cupsBytesPerLine)
        return Fail(*r, job);
    return true;
}

bool EndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
    RasterJob* r = JobOf(job);
    return r != nullptr && !r->failed;
}

bool EndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    RasterJob* r = JobOf(job);
    if (r == nullptr) return false;
    papplJobSetData(job, nullptr);
    if (r->raster != nullptr) cupsRasterClose(r->raster);
    const bool ok = r->filter != nullptr && FinishFilter(*r->filter);
    delete r;
    return ok;
}

}  // namespace

void SetRasterCallbacks(pappl_pr_driver_data_t* data) {
    data->rstartjob_cb = StartJob;
    data->rstartpage_cb = StartPage;
    data->rwriteline_cb = WriteLine;
    data->rendpage_cb = EndPage;
    data->rendjob_cb = EndJob;
}
