// Documents of a format the app cannot print end as a document-format error.
// PAPPL 1.3.1 does not check document-format at job creation (it looks for the
// supported list among the printer's general attributes, where it never puts
// it), so the check can only be made when the job starts.
#include "document_formats.h"

#include "filter_process.h"
#include "job_end.h"

// PAPPL 1.3.1's own JPEG and PNG filters: exported by libpappl, though its
// headers do not declare them.
extern "C" bool _papplJobFilterJPEG(pappl_job_t* job, pappl_device_t* device, void* data);
extern "C" bool _papplJobFilterPNG(pappl_job_t* job, pappl_device_t* device, void* data);

namespace {

// A job PAPPL 1.3.1 started after it was cancelled while pending has no
// document, and PAPPL's image filters give up on it at once: the job's end
// then closed the file: device the printer's next job was writing to, and the
// server crashed. It ends only once that job is done, as a PDF job does.
bool FilterImage(pappl_job_t* job, pappl_device_t* device, void* data) {
    if (papplJobGetFilename(job) == nullptr) {
        WaitUntilPrinterIdle(job);
        return EndJobAs(job, JobResult::Cancelled);
    }
    return reinterpret_cast<pappl_mime_filter_cb_t>(data)(job, device, nullptr);
}

// Data sent as application/octet-stream that PAPPL could not type: the
// printer takes no raw data, it would print garbage.
bool RefuseUntyped(pappl_job_t* job, pappl_device_t*, void*) {
    if (papplJobGetFilename(job) == nullptr) {
        WaitUntilPrinterIdle(job);
        return EndJobAs(job, JobResult::Cancelled);
    }
    return EndJobAs(job, JobResult::UnknownFormat);
}

}  // namespace

void RefuseUnknownFormats(pappl_system_t* system) {
    papplSystemAddMIMEFilter(system, kUntypedFormat, kUntypedFormat, RefuseUntyped, nullptr);
    // PAPPL looks for a filter to the driver's format before one to PWG
    // raster, so these come before its own, which stay registered.
    papplSystemAddMIMEFilter(system, "image/jpeg", kUntypedFormat, FilterImage,
                             reinterpret_cast<void*>(&_papplJobFilterJPEG));
    papplSystemAddMIMEFilter(system, "image/png", kUntypedFormat, FilterImage,
                             reinterpret_cast<void*>(&_papplJobFilterPNG));
}
