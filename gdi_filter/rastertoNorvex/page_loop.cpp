// The page loop: read each page header, set the page up, start the document on
// the first page, and have the page converted and sent.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "common/output.h"
#include "common/paper_lookup.h"
#include "common/platform.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"

namespace {

JobExit LeaveLoop() { return g_page > 0 ? JobExit::EndOfJob : JobExit::CleanUp; }

// The platform from the PPD's "PlatForm" text, only for a model not in the list.
void PlatformFromPPD(JobState& job) {
    if (!GetPPDText(job.ppd, "PlatForm", job.PlatformMsg) || job.platform != 0) return;
    if (!strcasecmp(job.PlatformMsg, "PLATFORM_M")) {
        job.platform = PLATFORM_M;
        job.paperSizeArray = gPaperSizeArray_Lurran_Tessik;
    } else if (!strcasecmp(job.PlatformMsg, "PLATFORM_C")) {
        job.platform = PLATFORM_C;
        job.paperSizeArray = gPaperSizeArray_Orvane;
    } else if (!strcasecmp(job.PlatformMsg, "PLATFORM_Z")) {
        job.platform = PLATFORM_Z;
        job.paperSizeArray = gPaperSizeArray_Dolvek_Serith;
    }
}

void ParseOptions(JobState& job) {
    cupsFreeOptions(job.num_option, job.options);
    job.num_option = 0;
    job.options = nullptr;
    const char* optionText = job.argv[5];
    if (job.platform != PLATFORM_Z) {
        job.num_option = pfcupsParseOptions(optionText, 0, &job.options);
        return;
    }
    // The PPD defaults are added to a copy of the option text. A text too long
    // for the copy is parsed as it stands and the defaults are parsed after it,
    // into the same list: the same options, nothing cut.
    if (std::strlen(optionText) < sizeof job.parameters) {
        std::strcpy(job.parameters, optionText);
        checkOptionKey(job.parameters, optionText, job.ppd);
        job.num_option = pfcupsParseOptions(job.parameters, 0, &job.options);
    } else {
        job.parameters[0] = '\0';
        checkOptionKey(job.parameters, optionText, job.ppd);
        job.num_option = pfcupsParseOptions(optionText, 0, &job.options);
        job.num_option = pfcupsParseOptions(job.parameters, job.num_option, &job.options);
    }
}

}  // namespace

void SetUpPage(JobState& job) {
    job.paperSizeArray = GetPaperSizeArray(gPPDFile, &job.platform);
    PlatformFromPPD(job);

    if (GetPPDText(job.ppd, "SupportManualDuplex", job.SupportManualDuplex)) {
        job.iSupportManDuplex =
            (job.iSupportManDuplex == 1 || !strcasecmp(job.SupportManualDuplex, "TRUE")) ? 1 : 0;
    }
    std::fprintf(stderr, "-------SupportManualDuplex is %d\n", job.iSupportManDuplex);

    ParseOptions(job);
    GetFunctionValue(job.prntFuncInfo.data(), job.num_option, job.options, &job.header);
    std::fprintf(stderr, "DEBUG: ##platform = %d, ##autoduplex = %d\n", job.platform,
                 job.Value(AUTODUPLEX));

    // Two-sided jobs on PLATFORM_Z printers that ask for it become manual duplex.
    if (job.Value(AUTODUPLEX) != 0 && job.platform == PLATFORM_Z && job.iSupportManDuplex == 1) {
        if (job.Value(AUTODUPLEX) == 2) job.mDuplexType = 1;
        job.SetValue(MANUALDUPLEX, 1);
        job.SetValue(AUTODUPLEX, 0);
        std::fprintf(stderr, "DEBUG: ##ManualDuplex = %d, type is %d\n", 1, job.mDuplexType);
    }
    if (job.Value(MANUALDUPLEX) == 1) GetPPDText(job.ppd, "MDuplex", job.DuplexMsg);
    if (job.Value(DPI1200) == 1 && job.platform == PLATFORM_M) job.b2Bit = 1;
}

JobExit RunPages(JobState& job) {
    for (;;) {
        if (!pfcupsRasterReadHeader2(job.ras, &job.header)) {
            std::fputs("DEBUG: cupsRasterReadHeader2 return failure/end-of-file.\n", stderr);
            return LeaveLoop();
        }
        std::fputs("DEBUG: cupsRasterReadHeader2 return OK.\n", stderr);
        log_page_header2(&job.header);
        if (Canceled) return LeaveLoop();
        if (!CheckPageHeader(job.header)) return LeaveLoop();

        // Even pages are cut from their spool file by a size table of fixed
        // length: a manual-duplex job ends at its last entry.
        if (job.Value(MANUALDUPLEX) == 1 && g_page >= kMaxManualDuplexPages) {
            std::fprintf(stderr,
                         "ERROR: Manual duplex takes at most %d pages; page %d and later are not "
                         "printed\n",
                         kMaxManualDuplexPages, g_page + 1);
            return JobExit::EndOfJob;
        }
        ++g_page;
        std::fprintf(stderr, "PAGE: %d %d\n", g_page, static_cast<int>(job.header.NumCopies));
        SetUpPage(job);
        if (g_page == 1 && !StartDocument(job)) return JobExit::Abort;
        if (job.Value(MANUALDUPLEX) == 1) gSendDataToDevice = (g_page % 2 == 1) ? 1 : 0;

        const PageOutcome outcome = ConvertAndSendPage(job);
        if (outcome == PageOutcome::EndOfJob) return JobExit::EndOfJob;
        if (outcome == PageOutcome::CleanUp) return JobExit::CleanUp;
        if (Canceled) return JobExit::EndOfJob;
        std::fflush(stdout);
        g_ismiddlepage = 0;
    }
}
