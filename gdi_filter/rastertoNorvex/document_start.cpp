// Document start, sent once before the first page's commands.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rastertoNorvex/document_start.h"

#include "common/platform.h"
#include "prnt/model_name.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/report.h"
#include "rastertoNorvex/signals.h"
#include "rastertoNorvex/spool.h"

namespace {

// The job-id argument as a decimal number; 0 when it has no digits.
int32_t JobNumber(const char* text) {
    const long long n = std::strtoll(text, nullptr, 10);
    if (n > INT32_MAX) return INT32_MAX;
    if (n < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(n);
}

void FillStartDoc(JobState& job) {
    GDI_START_DOC_PARAM& d = job.startDocParam;
    d = GDI_START_DOC_PARAM{};
    d.jobID = JobNumber(job.argv[1]);
    // A title of 32 bytes or more is cut without a terminating zero.
    std::memcpy(d.jobName, job.argv[3], strnlen(job.argv[3], sizeof d.jobName));
    d.modelName = gPPDFile;
    const bool manualOnZ =
        job.platform == PLATFORM_Z && job.iSupportManDuplex == 1 && job.Value(MANUALDUPLEX) == 1;
    const bool twoSided = job.Value(AUTODUPLEX) != 0 || job.Value(MANUALDUPLEX) == 1;
    d.DuplexMode = manualOnZ ? 0 : twoSided ? 0x20 : 0;
    d.FineMode = job.Value(FINEMODE) == 1 ? 1 : 0;
    d.saveMode = job.platform == PLATFORM_M ? 0 : 0x10;
    d.densityLevel = static_cast<uint8_t>(job.Value(TONERMODE) == 1 ? 0 : job.Value(DENSITY));
}

}  // namespace

bool StartDocument(JobState& job) {
    job.iCopies = job.header.NumCopies;
    if (job.interactive && (job.platform == PLATFORM_C || job.platform == PLATFORM_Z))
        StartKeepAlive();
    FillStartDoc(job);
    NowSending(job, "the start of the job");
    // Pages after a start the printer did not take would land outside a job.
    if (!Prnt_StartDoc(&job.startDocParam, job.platform)) {
        ReportFailure(job, "main() :: Start doc Fail ! \n");
        return false;
    }
    BetweenCommands();
    AttachSpoolFiles(job);
    return true;
}
