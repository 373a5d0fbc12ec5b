// The job driver's state and its phases: start-up, the page loop, the end of
// the job and the clean-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include "common/byte_buffer.h"
#include "common/output.h"
#include "common/worker_pool.h"
#include "prnt/document.h"
#include "prnt/image.h"
#include "prnt/page.h"
#include "prnt/model_name.h"
#include "catalogue/paper_tables.h"
#include "rastertoNorvex/job_options.h"
#include "rastertoNorvex/raster_input.h"

constexpr std::size_t kPPDTextSize = 1024;
constexpr std::size_t kModelNameSize = 1024;
constexpr std::size_t kSpoolNameSize = 255;


// One print job as CUPS hands it over. The real filter passes its own
// arguments, the PPD variable and standard input and output; other callers
// (the fuzz targets) their own descriptor and memory sink.
struct JobRequest {
    int argc = 0;
    char** argv = nullptr;          // program, job-id, user, title, copies, options[, file]
    const char* ppdPath = nullptr;  // the PPD environment variable (nullptr: not set)
    int input = 0;                  // raster input when argv names no file
    DeviceWriter output = nullptr;  // the printer stream; nullptr: standard output
    bool interactive = true;        // false: no keep-alive timer, no manual-duplex pause
    int threads = 1;                // page-imaging threads (NORVEX_THREADS); 1: sequential
};

// Runs one whole job (start, pages, copies, manual duplex, end) and returns its
// exit status: 0 when every page was printed as sent, else 1. Every job-wide
// variable is reset at its start, so jobs can follow each other in a process.
int RunJob(const JobRequest& request);

struct JobState {
    int argc = 0;
    char** argv = nullptr;
    const char* ppdPath = nullptr;
    bool interactive = true;

    int fd = 0;                      // raster input: the request's descriptor or the input file
    bool ownsInput = false;          // fd is the input file, closed at the end
    RasterInput input;               // what the raster stream reads fd through
    cups_raster_t* ras = nullptr;
    cups_page_header2_t header{};
    ppd_file_t* ppd = nullptr;
    int num_option = 0;
    cups_option_t* options = nullptr;
    char parameters[kParametersSize] = {};
    char PlatformMsg[kPPDTextSize] = {};
    char SupportManualDuplex[kPPDTextSize] = {};
    char DuplexMsg[kPPDTextSize] = {};
    int iSupportManDuplex = 0;
    int mDuplexType = 0;
    int platform = 0;
    int b2Bit = 0;
    unsigned int iCopies = 1;
    PrintFuncTable prntFuncInfo = kPrintFuncTemplate;
    const PAPER_SIZE_INFO* paperSizeArray = nullptr;
    GDI_START_DOC_PARAM startDocParam{};
    GDI_END_DOC_PARAM endDocParam{};
    GDI_START_PAGE_PARAM startPageParam{};
    // The header of the last page printed: the blank backs are sent as it was
    // (the header above is cleared by the read that finds no more pages).
    cups_page_header2_t lastPageHeader{};
    // Sides and collation are the first printed page's for the whole job: the
    // spool files and the order of the sheets are set up from it.
    bool modeFixed = false;
    int fixedAutoDuplex = 0;
    int fixedManualDuplex = 0;
    int fixedCollate = 0;
    int fixedDuplexType = 0;
    // Spool files made before the document start, attached to the routing
    // after it (the document start is never spooled).
    int collateFd = -1;
    int oddFd = -1;
    int evenFd = -1;
    char collateTmpFile[kSpoolNameSize] = {};
    char manualOddTmpFile[kSpoolNameSize] = {};
    char manualEvenTmpFile[kSpoolNameSize] = {};
    char msg[1024] = {};             // prntLastError as it was last reported
    bool failed = false;             // a page or a command failed: exit status 1
    // Worker threads for the page imaging, started with the first page that
    // uses them; none when the job runs sequentially or they cannot be had.
    int threads = 1;
    bool workersTried = false;
    std::unique_ptr<WorkerPool> workers;

    int Value(FuncName f) const { return prntFuncInfo[f].value; }
    void SetValue(FuncName f, int v) { prntFuncInfo[f].value = v; }
};

// Where the page loop leaves to.
enum class JobExit {
    EndOfJob,  // the document was started: blank back, re-emission, document end
    CleanUp,   // nothing more for the printer
};

// Where a page's conversion leaves to.
enum class PageOutcome {
    Sent,      // on to the next page
    CleanUp,   // cancelled on PLATFORM_M while reading the page
};

// A page's printer image and its buffers, had before anything of the page is
// sent: a page that cannot be held sends nothing of itself.
struct PreparedPage {
    double imgW = 0;  // printer image in dots (pixels of the grey page)
    double imgH = 0;
    uint16_t marginX = 0;
    uint16_t marginY = 0;
    uint16_t paperSize = 0;
    std::size_t bytesPerLine = 0;
    std::unique_ptr<uint8_t[]> pGrayImgLineBuf;
    std::unique_ptr<uint8_t[]> pGrayImgBuf;
    std::unique_ptr<uint8_t[]> pMonoImgBuf;
};

// The compressed image of a page, made on a worker (it touches no global).
struct PageCompression {
    WorkerPool* pool = nullptr;
    WorkGroup group;
    ByteBuffer image;
    uint32_t checksum = 0;
    bool ok = false;

    PageCompression() = default;
    ~PageCompression() { if (pool) WaitForWork(pool, &group); }
    PageCompression(const PageCompression&) = delete;
    PageCompression& operator=(const PageCompression&) = delete;
};

// A page read and halftoned while the page before it is still being
// compressed (PLATFORM_C and PLATFORM_M): what it needs to be started,
// compressed, sent and ended in its turn. Its grey page is gone by then.
struct PageInFlight {
    bool held = false;
    bool startAtOnce = false;  // no page before it is held: its page start need not wait
    bool started = false;
    bool imageToSend = true;  // false: cancelled on PLATFORM_M while its lines were read
    int number = 0;
    cups_page_header2_t header{};
    GDI_START_PAGE_PARAM start{};
    GDI_SEND_PAGE_PARAM send{};
    GDI_END_PAGE_PARAM end{};
    uint32_t coverage = 0;  // gImageCoverage of the page's halftone
    std::unique_ptr<uint8_t[]> dots;
    std::unique_ptr<PageCompression> compression;  // nullptr: compressed when sent
};

// Start-up: arguments, input, raster stream, termination handler, PPD.
// Returns -1 to go on, else the exit status of an early exit.
int OpenJob(JobState& job, const JobRequest& request);

// The page loop; returns where the job goes next.
JobExit RunPages(JobState& job);

// Page set-up: platform and paper table, PPD texts, options and function values.
void SetUpPage(JobState& job);

// Document start on the first page; the spool files made before it join the
// routing after it.
void StartDocument(JobState& job);

// The page's paper, image size and buffers. False when the page cannot be
// printed (one ERROR line says why); nothing has been sent for it then.
bool PreparePage(JobState& job, PreparedPage& page);

// Reads and drops the raster lines of a page that is not printed.
void SkipPageRaster(JobState& job);

// The page steps: page start, raster, turns, halftone, image, page end. With
// `deferred`, nothing is sent: the page is read and halftoned into it, for
// SendPageStart and FinishPage to send once the page before it is ended.
PageOutcome ConvertAndSendPage(JobState& job, PreparedPage& page, PageInFlight* deferred = nullptr);

// The workers that compress deferred pages; nullptr: pages are not deferred.
WorkerPool* PageWorkers(JobState& job);
// The most pages compressed at the same time (each holds its dot page).
constexpr int kPagesInFlight = 2;
// Has a worker compress a page read and halftoned as deferred, while the page
// before it may still be compressed; without a worker (or memory for it) the
// page is compressed when it is sent.
void CompressAside(JobState& job, PageInFlight& page);
// Routing, "PAGE:" line and page start of a deferred page, unless it went out
// at once.
void SendPageStart(JobState& job, PageInFlight& page);
// Waits for the held page's image, sends it and the page end; nothing when no
// page is held.
void FinishPage(JobState& job, PageInFlight& page);

// End of the job: blank back, re-emission, document end.
void EndJob(JobState& job);

// Clean-up: closes everything; returns the exit status.
int CleanUp(JobState& job);

// Composes `text` in front of prntLastError and reports the failure: one
// ERROR line for each message that is new since the last report, and the job
// ends with status 1.
void ReportFailure(JobState& job, const char* text);
// Reports the messages the command layer put into prntLastError since the
// last report (a call that failed without a text of the driver's own).
void ReportNewFailures(JobState& job);

// Text of a PPD IPP-reason entry into `buffer` (kPPDTextSize bytes); false
// when the PPD does not have it.
bool GetPPDText(ppd_file_t* ppd, const char* keyword, char* buffer);

// Termination handler (sets Canceled).
void InstallTerminationHandler();

// Keep-alive: two zero bytes to the printer every 10 seconds between commands.
void StartKeepAlive();

// Checks a page header before anything is sized from it; writes one ERROR
// line naming the value and its bound and returns false when it is refused.
bool CheckPageHeader(const cups_page_header2_t& header);
