// Signals: CUPS cancels a job with SIGTERM, which only raises a flag that the
// driver polls between steps.
#include <csignal>

#include "common/output.h"
#include "rastertoNorvex/job.h"

namespace {

extern "C" void CancelJob(int) { Canceled = 1; }

}  // namespace

void InstallTerminationHandler() {
    struct sigaction action {};
    action.sa_handler = CancelJob;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a raster read is not broken off by the signal
    sigaction(SIGTERM, &action, nullptr);
}
