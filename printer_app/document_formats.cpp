// Documents of a format the app cannot print end as a document-format error.
// PAPPL 1.3.1 does not check document-format at job creation (it looks for the
// supported list among the printer's general attributes, where it never puts
// it), so the check can only be made when the job starts.
#include "document_formats.h"

namespace {

// Data sent as application/octet-stream that PAPPL could not type: the
// printer takes no raw data, it would print garbage.
bool RefuseUntyped(pappl_job_t* job, pappl_device_t*, void*) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The document is of no format the printer takes.");
    papplJobSetMessage(job, "Unsupported document format: the printer takes PWG or Apple raster, "
                            "PDF, PostScript, JPEG and PNG.");
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    return false;
}

}  // namespace

void RefuseUnknownFormats(pappl_system_t* system) {
    papplSystemAddMIMEFilter(system, kUntypedFormat, kUntypedFormat, RefuseUntyped, nullptr);
}
