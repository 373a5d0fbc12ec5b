// The job driver's state and its phases: start-up, the page loop, the end of
// the job and the clean-up.
#pragma once

#include <cstddef>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include "prnt/document.h"
#include "prnt/page.h"
#include "prnt/model_name.h"
#include "prnt/paper_tables.h"
#include "rastertoNorvex/job_options.h"

constexpr std::size_t kPPDTextSize = 1024;
constexpr std::size_t kModelNameSize = 1024;
constexpr std::size_t kSpoolNameSize = 255;


struct JobState {
    int argc = 0;
    char** argv = nullptr;

    int fd = 0;                      // raster input: 0 (standard input) or the input file
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
    char collateTmpFile[kSpoolNameSize] = {};
    char manualOddTmpFile[kSpoolNameSize] = {};
    char manualEvenTmpFile[kSpoolNameSize] = {};
    char msg[1024] = {};

    int Value(FuncName f) const { return prntFuncInfo[f].value; }
    void SetValue(FuncName f, int v) { prntFuncInfo[f].value = v; }
};

// Where the page loop leaves to.
enum class JobExit {
    EndOfJob,  // the document was started: blank back, re-emission, document end
    CleanUp,   // nothing more for the printer
    Abort,     // the job cannot go on (a spool file cannot be made): status 1
};

// Where a page's conversion leaves to.
enum class PageOutcome {
    Sent,      // on to the next page
    EndOfJob,  // page buffers could not be had
    CleanUp,   // cancelled on PLATFORM_M while reading the page
};

// Start-up: arguments, input, raster stream, termination handler, PPD.
// Returns -1 to go on, else the exit status of an early exit.
int OpenJob(JobState& job, int argc, char* argv[]);

// The page loop; returns where the job goes next.
JobExit RunPages(JobState& job);

// Page set-up: platform and paper table, PPD texts, options and function values.
void SetUpPage(JobState& job);

// Document start on the first page (and the spool files the job needs);
// false when the spool files cannot be made.
bool StartDocument(JobState& job);

// The page steps: paper, page start, raster, turns, halftone, image, page end.
PageOutcome ConvertAndSendPage(JobState& job);

// End of the job: blank back, re-emission, document end.
void EndJob(JobState& job);

// Clean-up: closes everything; returns the exit status.
int CleanUp(JobState& job);

// Composes `text` in front of prntLastError, stores it there and writes it to
// standard output, as the driver reports every failed command-layer call.
void ReportFailure(JobState& job, const char* text);

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
