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
#include "rastertoNorvex/job.h"
#include "rastertoNorvex/spool.h"

namespace {

constexpr std::size_t kCollateChunk = 16384;
constexpr std::size_t kOddChunk = 4096;
// A chunk the printer stream refuses this often will not be taken: the
// output is broken (for example the backend went away).
constexpr int kMaxOffers = 3;

void CloseSpool(int& fd, char* name) {
    if (fd != 0) close(fd);
    fd = 0;
    if (name[0] != '\0') remove(name);
    name[0] = '\0';
}

// Offers a chunk until the routing takes it; false when the stream is broken.
bool SendChunk(const void* data, int count) {
    for (int offer = 0; offer < kMaxOffers; ++offer) {
        if (SendDataToFile(data, count, 0)) return true;
        std::clearerr(stdout);
    }
    std::fputs("ERROR: The printer connection does not take data; the job ends here\n", stderr);
    return false;
}

// Sends a whole spool file again, chunk by chunk; false when the printer
// stream is broken. A read error ends the pass like the end of the file.
bool ResendSpool(int fd, const char* what, std::size_t chunkSize) {
    std::unique_ptr<char[]> rbuff(new (std::nothrow) char[chunkSize]);
    if (!rbuff || lseek(fd, 0, SEEK_SET) != 0) {
        std::fprintf(stderr, "ERROR: Unable to read back the %s spool file\n", what);
        return true;
    }
    for (;;) {
        const ssize_t readedsize = read(fd, rbuff.get(), chunkSize);
        if (readedsize < 0)
            std::fprintf(stderr, "ERROR: Unable to read the %s spool file: %s\n", what,
                         std::strerror(errno));
        if (readedsize <= 0 || Canceled) return true;
        if (!SendChunk(rbuff.get(), static_cast<int>(readedsize))) return false;
    }
}

void ResendCollatedCopies(JobState& job) {
    if (job.Value(COLLATE) == 1 && job.iCopies > 1 && job.Value(MANUALDUPLEX) != 1) {
        for (unsigned copy = 1; copy < job.iCopies && !Canceled; ++copy) {
            const bool ok = ResendSpool(gCollateFile, "collate", kCollateChunk);
            std::fflush(stdout);
            if (!ok) break;
        }
    }
    CloseSpool(gCollateFile, job.collateTmpFile);
}

// The backs, from the last even page down to page 2, each cut from the even
// file by its recorded size; a blank back for the last front of an odd job.
void SendBacks(JobState& job) {
    const bool blankBack = g_page % 2 == 1;
    if (blankBack && job.Value(REVERSE) == 0)
        InsertBlankPage(job.header, &job.startPageParam, job.platform);
    const int lastEven = g_page % 2 == 0 ? g_page : g_page - 1;
    for (int page = lastEven; page >= 2; page -= 2) {
        const int entry = page / 2 - 1;
        off_t offset = 0;
        for (int k = 0; k < entry; ++k) offset += gCacheSize[k];
        const int32_t size = gCacheSize[entry];
        std::unique_ptr<char[]> pPageData(new (std::nothrow) char[size > 0 ? size : 1]);
        if (!pPageData) {
            std::fprintf(stderr, "ERROR: No memory to send back side %d\n", page);
            continue;
        }
        const ssize_t got = pread(gManualDuplexEvenFile, pPageData.get(), size, offset);
        if (got != size)
            std::fprintf(stderr, "ERROR: Unable to read back side %d from its spool file\n", page);
        if (got > 0) SendDataToFile(pPageData.get(), static_cast<int>(got), 0);
    }
    if (blankBack && job.Value(REVERSE) == 1)
        InsertBlankPage(job.header, &job.startPageParam, job.platform);
    std::fflush(stdout);
}

void SendManualDuplex(JobState& job) {
    std::fprintf(stderr, "INFO:%s\n", job.DuplexMsg);
    gSendDataToDevice = 1;
    unsigned CollateCopies = 1;
    if (job.Value(COLLATE) == 1) {
        CollateCopies = job.iCopies;
        for (unsigned copy = 1; copy < job.iCopies && !Canceled; ++copy) {
            gSendDataToDevice = 1;
            const bool ok = ResendSpool(gManualDuplexOddFile, "odd page", kOddChunk);
            std::fflush(stdout);
            if (!ok) break;
        }
    }
    CloseSpool(gManualDuplexOddFile, job.manualOddTmpFile);
    SendManualDuplexCmd(job.platform);
    for (unsigned pass = 0; pass < CollateCopies; ++pass) SendBacks(job);
    CloseSpool(gManualDuplexEvenFile, job.manualEvenTmpFile);
}

}  // namespace

bool CreateSpoolFiles(JobState& job) {
    if (job.Value(COLLATE) == 1 && job.header.NumCopies > 1) {
        const int fd = pfcupsTempFd(job.collateTmpFile, sizeof job.collateTmpFile);
        if (fd < 0) {
            std::fputs("ERROR: Unable to create the spool file for collated copies\n", stderr);
            return false;
        }
        gCollateFile = fd;
    }
    if (job.Value(MANUALDUPLEX) == 1) {
        gSendDataToDevice = 0;
        struct {
            char* name;
            int* fd;
        } files[] = {{job.manualOddTmpFile, &gManualDuplexOddFile},
                     {job.manualEvenTmpFile, &gManualDuplexEvenFile}};
        for (auto& file : files) {
            const int fd = pfcupsTempFd(file.name, kSpoolNameSize);
            if (fd < 0) {
                std::printf("%s file open fail", file.name);
                std::fflush(stdout);
                std::fputs("ERROR: Unable to create the spool files for manual duplex\n", stderr);
                return false;
            }
            *file.fd = fd;
        }
    }
    return true;
}

void ResendSpooledPages(JobState& job) {
    ResendCollatedCopies(job);
    std::fflush(stdout);
    if (job.Value(MANUALDUPLEX) == 1) SendManualDuplex(job);
}

void RemoveSpoolFiles(JobState& job) {
    CloseSpool(gCollateFile, job.collateTmpFile);
    CloseSpool(gManualDuplexOddFile, job.manualOddTmpFile);
    CloseSpool(gManualDuplexEvenFile, job.manualEvenTmpFile);
}
