// How many jobs a printer takes at a time: one. A job sent while another is
// active is refused server-error-busy and its client sends it again later, as
// CUPS's ipp backend does; the app keeps no queue of its own.
//
// PAPPL 1.3.1 does not keep to one job per printer by itself: its check for
// the next job reads whether the printer is busy without the printer's lock,
// then starts the first pending job, and a streamed raster job checks that the
// printer is idle before it starts printing. Under a mix of spooled and
// streamed jobs two or three jobs ran on one printer at once, wrote into one
// device and closed it under each other: malformed streams, aborted jobs, and
// a write through a freed device that ended the server. PAPPL checks the
// number of active jobs under the printer's lock when it creates a job, so a
// job it refuses there races with nothing.
#include "job_admission.h"

void TakeOneJobAtATime(pappl_printer_t* printer, void*) { papplPrinterSetMaxActiveJobs(printer, 1); }

void TakeOneJobAtATimeOnAll(pappl_system_t* system) {
    papplSystemIteratePrinters(system, TakeOneJobAtATime, nullptr);
}
