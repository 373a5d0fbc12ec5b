// How the driver reports a failure: its own text in front of the command
// layer's messages in prntLastError, and each new message to CUPS as one
// ERROR line on standard error (never on the printer stream).
#include <cstdio>
#include <cstring>

#include "common/last_error.h"
#include "common/output.h"
#include "rastertoNorvex/job.h"

namespace {

// Where the text of the last report starts in prntLastError: everything in
// front of it is new. Messages end in a line feed and the oldest text may have
// been cut at the end, so the last report's text is sought as a prefix.
std::size_t StartOfReported(const char* now, const char* reported) {
    const std::size_t length = std::strlen(now);
    if (reported[0] == '\0') return length;
    for (std::size_t at = 0; at < length; at = std::strchr(now + at, '\n') - now + 1) {
        if (std::strncmp(now + at, reported, length - at) == 0) return at;
        if (std::strchr(now + at, '\n') == nullptr) break;
    }
    return length;
}

}  // namespace

void ReportNewFailures(JobState& job) {
    job.failed = true;
    const std::size_t end = StartOfReported(prntLastError, job.msg);
    // Once the printer stream or a spool file has failed, every later send
    // fails with it; that one cause is reported at the end of the job.
    if (gPrinterStreamError == 0 && gSpoolError == 0) {
        for (std::size_t at = 0; at < end;) {
            const char* line = prntLastError + at;
            std::size_t n = std::strcspn(line, "\n");
            if (at + n > end) n = end - at;
            std::fprintf(stderr, "ERROR: %.*s\n", static_cast<int>(n), line);
            at += n + 1;
        }
    }
    std::snprintf(job.msg, sizeof job.msg, "%s", prntLastError);
}

void ReportFailure(JobState& job, const char* text) {
    PrependLastError(text);
    ReportNewFailures(job);
}
