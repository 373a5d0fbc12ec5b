// The job's entry: what a job owns process-wide, reset at its start, and the
// phases it runs through.
#include <csignal>
#include <cstdio>

#include "rastertoNorvex/job.h"

#include "common/output.h"
#include "prnt/model_name.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_end.h"
#include "rastertoNorvex/job_start.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/page_loop.h"

char gPPDFile[1024];

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
