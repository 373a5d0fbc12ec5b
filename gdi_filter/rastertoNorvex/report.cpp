// How the driver reports a failed command-layer call: its own text in front of
// the command layer's messages, kept in prntLastError and printed.
#include <cstdio>

#include "common/last_error.h"
#include "rastertoNorvex/job.h"

void ReportFailure(JobState& job, const char* text) {
    PrependLastError(text);
    std::snprintf(job.msg, sizeof job.msg, "%s", prntLastError);
    std::printf("%s", prntLastError);
}
