// Collated copies and manual duplex: pages are spooled while they are sent and
// sent again from the spool files at the end of the job.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <unistd.h>

#include "common/output.h"
#include "prnt/duplex.h"
#include "rastertoNorvex/blank_page.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/report.h"
#include "rastertoNorvex/spool.h"

namespace {

constexpr std::size_t kCollateChunk = 16384;
constexpr std::size_t kOddChunk = 4096;

void CloseSpool(int& fd) {
    if (fd > 0) close(fd);
    fd = 0;
}

// A temporary file that lives only as long as its descriptor.
int MakeSpool(char* name) {
    const int fd = pfcupsTempFd(name, kSpoolNameSize);
    if (fd >= 0) unlink(name);
    name[0] = '\0';
    return fd;
}

// Sends a whole spool file again, chunk by chunk; false when the printer
// stream failed (nothing is offered twice: a refused chunk means the
// connection is gone). A read error ends the pass like the end of the file.
bool ResendSpool(JobState& job, int fd, const char* what, std::size_t chunkSize) {
    std::unique_ptr<char[]> rbuff(new (std::nothrow) char[chunkSize]);
    if (!rbuff || lseek(fd, 0, SEEK_SET) != 0) {
        std::fprintf(stderr, "ERROR: Unable to read back the %s spool file\n", what);
        job.failed = true;
        return false;
    }
    for (;;) {
        const ssize_t readedsize = read(fd, rbuff.get(), chunkSize);
        if (readedsize < 0) {
            std::fprintf(stderr, "ERROR: Unable to read the %s spool file: %s\n", what,
                         std::strerror(errno));
            job.failed = true;
        }
        if (readedsize <= 0 || Canceled) return true;
        if (!SendDataToFile(rbuff.get(), static_cast<int>(readedsize), 0)) return false;
    }
}

void ResendCollatedCopies(JobState& job) {
    if (job.Value(COLLATE) == 1 && job.iCopies > 1 && job.Value(MANUALDUPLEX) != 1) {
        NowSending(job, "the collated copies");
        for (unsigned copy = 1; copy < job.iCopies && !Canceled; ++copy) {
            const bool ok = ResendSpool(job, gCollateFile, "collate", kCollateChunk);
            std::fflush(stdout);
            if (!ok) break;
        }
    }
    CloseSpool(gCollateFile);
}

void SendBlankBack(JobState& job) {
    if (!InsertBlankPage(job.lastPageHeader, &job.startPageParam, job.platform))
        ReportFailure(job, "");
}

// The backs, from the last even page down to page 2, each cut from the even
// file by its recorded size; a blank back for the last front of an odd job.
// False when the printer stream failed.
bool SendBacks(JobState& job) {
    const bool blankBack = g_page % 2 == 1;
    if (blankBack && job.Value(REVERSE) == 0) SendBlankBack(job);
    const int lastEven = g_page % 2 == 0 ? g_page : g_page - 1;
    off_t offset = 0;
    for (int k = 0; k < lastEven / 2 - 1; ++k) offset += gCacheSize[k];
    for (int page = lastEven; page >= 2 && gPrinterStreamError == 0; page -= 2) {
        const int32_t size = gCacheSize[page / 2 - 1];
        std::unique_ptr<char[]> pPageData(new (std::nothrow) char[size > 0 ? size : 1]);
        if (!pPageData) {
            std::fprintf(stderr, "ERROR: No memory to send back side %d\n", page);
            job.failed = true;
        } else {
            const ssize_t got = pread(gManualDuplexEvenFile, pPageData.get(), size, offset);
            if (got != size) {
                std::fprintf(stderr, "ERROR: Unable to read back side %d from its spool file\n",
                             page);
                job.failed = true;
            }
            if (got > 0) SendDataToFile(pPageData.get(), static_cast<int>(got), 0);
        }
        if (page > 2) offset -= gCacheSize[page / 2 - 2];
    }
    if (blankBack && job.Value(REVERSE) == 1) SendBlankBack(job);
    std::fflush(stdout);
    return gPrinterStreamError == 0;
}

void SendManualDuplex(JobState& job) {
    NowSending(job, "the second side of the sheets");
    std::fprintf(stderr, "INFO:%s\n", job.DuplexMsg);
    gSendDataToDevice = 1;
    unsigned CollateCopies = 1;
    if (job.Value(COLLATE) == 1) {
        CollateCopies = job.iCopies;
        for (unsigned copy = 1; copy < job.iCopies && !Canceled; ++copy) {
            gSendDataToDevice = 1;
            const bool ok = ResendSpool(job, gManualDuplexOddFile, "odd page", kOddChunk);
            std::fflush(stdout);
            if (!ok) break;
        }
    }
    CloseSpool(gManualDuplexOddFile);
    if (gPrinterStreamError == 0) {
        SendManualDuplexCmd(job.platform);
        for (unsigned pass = 0; pass < CollateCopies && SendBacks(job); ++pass) {
        }
    }
    CloseSpool(gManualDuplexEvenFile);
}

}  // namespace

bool CreateSpoolFiles(JobState& job) {
    job.collateFd = job.oddFd = job.evenFd = -1;
    const bool collate = job.Value(COLLATE) == 1 && job.header.NumCopies > 1;
    const bool manual = job.Value(MANUALDUPLEX) == 1;
    if (collate) job.collateFd = MakeSpool(job.collateTmpFile);
    if (manual) {
        job.oddFd = MakeSpool(job.manualOddTmpFile);
        job.evenFd = MakeSpool(job.manualEvenTmpFile);
    }
    if ((collate && job.collateFd < 0) || (manual && (job.oddFd < 0 || job.evenFd < 0))) {
        std::fprintf(stderr, "ERROR: Unable to create the spool files for %s: %s\n",
                     collate ? "collated copies" : "manual duplex", std::strerror(errno));
        for (int* fd : {&job.collateFd, &job.oddFd, &job.evenFd}) {
            if (*fd >= 0) close(*fd);
            *fd = -1;
        }
        return false;
    }
    return true;
}

void AttachSpoolFiles(JobState& job) {
    if (job.collateFd >= 0) gCollateFile = job.collateFd;
    if (job.oddFd >= 0) gManualDuplexOddFile = job.oddFd;
    if (job.evenFd >= 0) gManualDuplexEvenFile = job.evenFd;
    job.collateFd = job.oddFd = job.evenFd = -1;
}

void ResendSpooledPages(JobState& job) {
    // What was spooled after a failed write is incomplete: sending it would
    // leave the printer inside a cut page.
    if (gSpoolError != 0) {
        std::fprintf(stderr,
                     "ERROR: Unable to write a spool file (%s); collated copies and the backs of "
                     "manual duplex are not printed\n",
                     std::strerror(gSpoolError));
        job.failed = true;
        return;
    }
    ResendCollatedCopies(job);
    std::fflush(stdout);
    if (job.Value(MANUALDUPLEX) == 1 && gPrinterStreamError == 0) SendManualDuplex(job);
}

void RemoveSpoolFiles(JobState& job) {
    CloseSpool(gCollateFile);
    CloseSpool(gManualDuplexOddFile);
    CloseSpool(gManualDuplexEvenFile);
    for (int* fd : {&job.collateFd, &job.oddFd, &job.evenFd}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}
