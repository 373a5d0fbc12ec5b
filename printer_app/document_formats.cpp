// Documents of a format the app cannot print end as a document-format error.
// PAPPL 1.3.1 does not check document-format at job creation (it looks for the
// supported list among the printer's general attributes, where it never puts
// it), so the check can only be made when the job starts.
#include "document_formats.h"

#include "job_end.h"

namespace {

// Data sent as application/octet-stream that PAPPL could not type: the
// printer takes no raw data, it would print garbage.
bool RefuseUntyped(pappl_job_t* job, pappl_device_t*, void*) {
    return EndJobAs(job, JobResult::UnknownFormat);
}

}  // namespace

void RefuseUnknownFormats(pappl_system_t* system) {
    papplSystemAddMIMEFilter(system, kUntypedFormat, kUntypedFormat, RefuseUntyped, nullptr);
}
