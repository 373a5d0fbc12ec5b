// The job's entry: what a job owns process-wide, reset at its start, and the
// phases it runs through.
#include <csignal>
#include <cstdio>

#include "common/output.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"

char gPPDFile[kModelNameSize];

namespace {

// A printer connection that goes away (a USB printer switched off, a backend
// that gives up) or a spool file at its size limit must end the job with its
// error, not kill the filter.
void IgnoreOutputSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
    sigaction(SIGXFSZ, &action, nullptr);
}

}  // namespace

int RunJob(const JobRequest& request) {
    ResetRouting();
    gPPDFile[0] = '\0';
    SetDeviceWriter(request.output);
    IgnoreOutputSignals();

    JobState job;
    job.interactive = request.interactive;
    job.threads = request.threads;
    InitCUPSIMAGEDLL();
    InitCUPSDLL();
    g_ismiddlepage = 1;
    std::setbuf(stderr, nullptr);

    int status = OpenJob(job, request);
    if (status < 0) {
        if (RunPages(job) == JobExit::EndOfJob) EndJob(job);
        status = CleanUp(job);
    }
    ReleaseCUPSDLLs();
    SetDeviceWriter(nullptr);
    return status;
}
