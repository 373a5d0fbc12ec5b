// How the driver reports a failure: its own text in front of the command
// layer's messages in prntLastError, the messages as DEBUG lines for whoever
// reads the log, and one ERROR sentence for the person who printed.
#include "rastertoNorvex/report.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/last_error.h"
#include "common/output.h"
#include "rastertoNorvex/job_state.h"

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

// The new messages of prntLastError, one DEBUG line each.
void LogNewMessages(JobState& job) {
    const std::size_t end = StartOfReported(prntLastError, job.msg);
    for (std::size_t at = 0; at < end;) {
        const char* line = prntLastError + at;
        std::size_t n = std::strcspn(line, "\n");
        if (at + n > end) n = end - at;
        std::fprintf(stderr, "DEBUG: %.*s\n", static_cast<int>(n), line);
        at += n + 1;
    }
    std::snprintf(job.msg, sizeof job.msg, "%s", prntLastError);
}

}  // namespace

void ReportStreamLoss(JobState& job) {
    if (gPrinterStreamError == 0 || job.streamLossReported) return;
    job.streamLossReported = true;
    job.failed = true;
    std::fprintf(stderr, "ERROR: The printer connection closed while %s was sent.\n",
                 job.sending[0] ? job.sending : "the job");
    std::fprintf(stderr, "DEBUG: Writing to the printer failed: %s\n",
                 std::strerror(gPrinterStreamError));
}

void NowSending(JobState& job, const char* what, int page) {
    ReportStreamLoss(job);
    if (page > 0)
        std::snprintf(job.sending, sizeof job.sending, "%s %d", what, page);
    else
        std::snprintf(job.sending, sizeof job.sending, "%s", what);
}

void ReportFailure(JobState& job, const char* chain, const char* sentence) {
    job.failed = true;
    PrependLastError(chain);
    LogNewMessages(job);
    // Once the printer stream or a spool file has failed, every later send
    // fails with it; that one cause is what the person is told.
    if (gPrinterStreamError != 0) {
        ReportStreamLoss(job);
    } else if (sentence) {
        std::fprintf(stderr, "ERROR: %s\n", sentence);
    } else if (gSpoolError == 0) {
        const char* what = job.sending[0] ? job.sending : "the job";
        std::fprintf(stderr, "ERROR: %c%s could not be sent to the printer.\n",
                     std::toupper(static_cast<unsigned char>(what[0])), what + 1);
    }
}
