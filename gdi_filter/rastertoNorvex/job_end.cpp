// End of the job (document end) and clean-up (exit status).
#include "rastertoNorvex/job_end.h"

#include <cstdio>
#include <unistd.h>

#include "common/output.h"
#include "rastertoNorvex/blank_page.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/report.h"
#include "rastertoNorvex/signals.h"
#include "rastertoNorvex/spool.h"

// Every page is sent by now: g_page is the last one.
void EndJob(JobState& job) {
    // The last sheet of an odd two-sided job gets its empty back.
    if (job.Value(AUTODUPLEX) != 0 && g_page % 2 == 1) {
        NowSending(job, "the blank back of the last sheet");
        if (!InsertBlankPage(job.lastPageHeader, &job.startPageParam, job.platform))
            ReportFailure(job, "");
    }
    NoMoreFillers();
    if (!Canceled) ResendSpooledPages(job);
    RemoveSpoolFiles(job);
    std::fflush(stdout);
    NowSending(job, "the end of the job");
    job.endDocParam.page = g_page;
    job.endDocParam.bMachDup = job.Value(AUTODUPLEX) != 0 ? 1 : 0;
    if (!Prnt_EndDoc(&job.endDocParam, job.platform)) ReportFailure(job, "main() :: End doc Fail ! \n");
    std::fflush(stdout);
}

int CleanUp(JobState& job) {
    cupsFreeOptions(job.num_option, job.options);
    job.num_option = 0;
    job.options = nullptr;
    if (job.ppd) {
        pfppdClose(job.ppd);
        job.ppd = nullptr;
    }
    if (job.ras) {
        pfcupsRasterClose(job.ras);
        job.ras = nullptr;
    }
    if (job.ownsInput) {
        close(job.fd);
        job.fd = 0;
        job.ownsInput = false;
    }
    RemoveSpoolFiles(job);
    ReportStreamLoss(job);
    // Time for the printer to take the last sheet before the user turns the
    // stack over; the keep-alive tick ends the pause early.
    if (job.Value(MANUALDUPLEX) == 1 && job.interactive && gPrinterStreamError == 0) sleep(10);
    if (job.pagesRead == 0) {
        std::fputs("ERROR: No pages found!\n", stderr);
        return 1;
    }
    if (job.failed) return 1;
    std::fputs("INFO: Ready to print.\n", stderr);
    return 0;
}
