// End of the job (document end) and clean-up (exit status).
#include <cstdio>
#include <unistd.h>

#include "common/output.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"

void EndJob(JobState& job) {
    g_ismiddlepage = 1;
    // The blank back of an odd two-sided job, the re-emission of spooled copies
    // and manual-duplex backs, and the document end are sent here.
    std::fflush(stdout);
    g_ismiddlepage = 1;
    job.endDocParam.page = g_page;
    job.endDocParam.bMachDup = job.Value(AUTODUPLEX) != 0 ? 1 : 0;
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
    if (job.fd != 0) {
        close(job.fd);
        job.fd = 0;
    }
    ReleaseCUPSDLLs();
    g_ismiddlepage = 0;
    if (g_page == 0) {
        std::fputs("ERROR: No pages found!\n", stderr);
        return 1;
    }
    std::fputs("INFO: Ready to print.\n", stderr);
    return 0;
}
