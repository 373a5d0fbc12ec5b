// Start-up of the job: arguments, raster input, termination handler and PPD.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include "rastertoNorvex/job_start.h"

#include "common/output.h"
#include "catalogue/model_list.h"
#include "catalogue/platform_traits.h"
#include "prnt/model_name.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"
#include "rastertoNorvex/job_end.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/signals.h"

namespace {

// Without a platform no command can be sent: every page would fail and the
// printer would get only failure texts. Such a PPD is refused before any byte.
bool KnowsPlatform(JobState& job, const char* path) {
    int platform = 0;
    if (GetPaperSizeArray(gPPDFile, &platform) != nullptr) return true;
    char text[kPPDTextSize];
    if (GetPPDText(job.ppd, "PlatForm", text) && PlatformOfKeyword(text) != PLATFORM_NONE) return true;
    std::fprintf(stderr,
                 "ERROR: The PPD file \"%s\" is for \"%s\", a model this filter does not know, "
                 "and names no PlatForm (PLATFORM_C, PLATFORM_Z or PLATFORM_M)\n",
                 path, gPPDFile);
    return false;
}

// The printer's PPD, named by the environment. A job without a usable PPD
// cannot be printed correctly, so it is refused before any printer byte.
bool OpenPPD(JobState& job) {
    const char* path = job.ppdPath;
    if (path == nullptr || *path == '\0') {
        std::fprintf(stderr, "ERROR: The PPD environment variable is not set; "
                             "the printer's PPD file is needed\n");
        return false;
    }
    job.ppd = pfppdOpenFile(path);
    if (job.ppd == nullptr) {
        std::fprintf(stderr, "ERROR: Unable to open the PPD file \"%s\"\n", path);
        return false;
    }
    const char* model = job.ppd->modelname;
    if (model == nullptr || *model == '\0') {
        std::fprintf(stderr, "ERROR: The PPD file \"%s\" has no ModelName\n", path);
        return false;
    }
    // Longer names are cut; no model of the list comes near the limit.
    std::snprintf(gPPDFile, sizeof gPPDFile, "%s", model);
    return KnowsPlatform(job, path);
}

}  // namespace

int OpenJob(JobState& job, const JobRequest& request) {
    job.argc = request.argc;
    job.argv = request.argv;
    job.ppdPath = request.ppdPath;
    job.fd = request.input;
    if (job.argc != 6 && job.argc != 7) {
        std::fputs("ERROR: job-id user title copies options [file]\n", stderr);
        return 1;
    }
    if (job.argc == 7) {
        job.fd = open(job.argv[6], O_RDONLY);
        if (job.fd == -1) {
            std::perror("ERROR: Unable to open raster file - ");
            if (job.interactive) sleep(1);
            return 1;
        }
        job.ownsInput = true;
    }
    // In place before the raster stream is opened: opening it already waits on
    // the input, and a cancel then must end the job as "no pages".
    Canceled = 0;
    InstallTerminationHandler();
    StartRasterInput(job.input, job.fd);
    job.ras = pfcupsRasterOpenIO(ReadRasterInput, &job.input, CUPS_RASTER_READ);

    if (!OpenPPD(job)) {
        CleanUp(job);
        return 1;
    }
    job.iCopies = 1;
    return -1;
}
