// What the job driver holds for the whole job: the CUPS handles, the PPD
// texts, the function table, the document records and the spool files.
#pragma once

#include <cstddef>
#include <memory>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include "common/worker_pool.h"
#include "prnt/document.h"
#include "prnt/page.h"
#include "catalogue/paper_tables.h"
#include "rastertoNorvex/job_options.h"
#include "rastertoNorvex/raster_input.h"

constexpr std::size_t kPPDTextSize = 1024;
constexpr std::size_t kSpoolNameSize = 255;

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
    // Pages read and taken for printing so far; the page being read is the
    // next one. g_page is the page being sent, which may be an earlier one.
    int pagesRead = 0;
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
    char sending[64] = {};           // what the printer is being sent, for the failure sentences
    bool streamLossReported = false; // the closed printer connection has its ERROR line
    // Worker threads for the page imaging, started with the first page that
    // uses them; none when the job runs sequentially or they cannot be had.
    int threads = 1;
    bool workersTried = false;
    std::unique_ptr<WorkerPool> workers;

    int Value(FuncName f) const { return prntFuncInfo[f].value; }
    void SetValue(FuncName f, int v) { prntFuncInfo[f].value = v; }
};

// Text of a PPD IPP-reason entry into `buffer` (kPPDTextSize bytes); false
// when the PPD does not have it.
bool GetPPDText(ppd_file_t* ppd, const char* keyword, char* buffer);
