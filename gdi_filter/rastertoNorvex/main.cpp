// rastertoNorvex: CUPS filter from 8-bit grey raster to the printer command
// stream of Norvex host-based laser printers (platforms C, Z and M).
//
// Usage (as CUPS runs it): rastertoNorvex job-id user title copies options [file]
// with the printer's PPD named by the environment variable PPD.
#include <cstdio>

#include "common/output.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"
#include "rastertoNorvex/spool.h"

int main(int argc, char* argv[]) {
    JobState job;
    InitCUPSIMAGEDLL();
    InitCUPSDLL();
    g_ismiddlepage = 1;
    std::setbuf(stderr, nullptr);

    if (const int status = OpenJob(job, argc, argv); status >= 0) return status;
    switch (RunPages(job)) {
        case JobExit::EndOfJob:
            EndJob(job);
            break;
        case JobExit::CleanUp:
            break;
        case JobExit::Abort:
            RemoveSpoolFiles(job);
            return 1;
    }
    return CleanUp(job);
}
