// The page loop: read each page header, set the page up, start the document on
// the first page, and have the page converted and sent.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "common/output.h"
#include "common/platform.h"
#include "catalogue/model_list.h"
#include "catalogue/platform_traits.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"
#include "rastertoNorvex/spool.h"

namespace {

JobExit LeaveLoop() { return g_page > 0 ? JobExit::EndOfJob : JobExit::CleanUp; }

// The platform from the PPD's "PlatForm" text, only for a model not in the list.
void PlatformFromPPD(JobState& job) {
    if (!GetPPDText(job.ppd, "PlatForm", job.PlatformMsg) || job.platform != 0) return;
    if (const PlatformTraits* traits = TraitsOf(PlatformOfKeyword(job.PlatformMsg))) {
        job.platform = traits->platform;
        job.paperSizeArray = traits->paperTable;
    }
}

// The queue's defaults (the PPD's default choices, which an administrator sets
// with lpadmin or the web interface) count on every platform: CUPS does not put
// them into a filter's options, so they are added from the PPD here, the job's
// own options winning.
void ParseOptions(JobState& job) {
    cupsFreeOptions(job.num_option, job.options);
    job.num_option = 0;
    job.options = nullptr;
    job.num_option = ParseJobOptions(job.argv[5], job.ppd, job.parameters, &job.options);
}

// The printer takes the density levels 0 (lightest) to 4 (darkest).
void BoundDensity(JobState& job) {
    constexpr int kLightest = 0, kDarkest = 4;
    const int density = job.Value(DENSITY);
    if (density >= kLightest && density <= kDarkest) return;
    const int bounded = density < kLightest ? kLightest : kDarkest;
    std::fprintf(stderr, "WARNING: Density %d is outside %d to %d; printing with %d\n", density,
                 kLightest, kDarkest, bounded);
    job.SetValue(DENSITY, bounded);
}

// A job prints one-sided, two-sided or manual duplex as its first page says:
// the spool files, the blank backs and the order of the sheets follow from it,
// so a later page that asks otherwise is printed the same way (it would
// otherwise be lost from the spool or printed on the wrong side).
void KeepFirstPageMode(JobState& job) {
    if (!job.modeFixed) {
        job.fixedAutoDuplex = job.Value(AUTODUPLEX);
        job.fixedManualDuplex = job.Value(MANUALDUPLEX);
        job.fixedCollate = job.Value(COLLATE);
        job.fixedDuplexType = job.mDuplexType;
        return;
    }
    if (job.Value(AUTODUPLEX) != job.fixedAutoDuplex ||
        job.Value(MANUALDUPLEX) != job.fixedManualDuplex || job.Value(COLLATE) != job.fixedCollate)
        std::fprintf(stderr,
                     "DEBUG: Page %d asks for other sides or collation; the job keeps those of "
                     "its first page\n",
                     g_page + 1);
    job.SetValue(AUTODUPLEX, job.fixedAutoDuplex);
    job.SetValue(MANUALDUPLEX, job.fixedManualDuplex);
    job.SetValue(COLLATE, job.fixedCollate);
    job.mDuplexType = job.fixedDuplexType;
}

// CUPS's own limit on copies; the count travels in 16 bits and collated copies
// are re-sent one by one.
constexpr unsigned kMaxCopies = 9999;

void BoundCopies(cups_page_header2_t& header) {
    const unsigned copies = header.NumCopies;
    if (copies >= 1 && copies <= kMaxCopies) return;
    header.NumCopies = copies == 0 ? 1 : kMaxCopies;
    std::fprintf(stderr, "WARNING: Copy count %u is outside 1 to %u; printing %u\n", copies,
                 kMaxCopies, header.NumCopies);
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
    BoundDensity(job);
    std::fprintf(stderr, "DEBUG: ##platform = %d, ##autoduplex = %d\n", job.platform,
                 job.Value(AUTODUPLEX));

    // Two-sided jobs on PLATFORM_Z printers that ask for it become manual duplex.
    if (job.Value(AUTODUPLEX) != 0 && job.platform == PLATFORM_Z && job.iSupportManDuplex == 1) {
        if (job.Value(AUTODUPLEX) == 2) job.mDuplexType = 1;
        job.SetValue(MANUALDUPLEX, 1);
        job.SetValue(AUTODUPLEX, 0);
        std::fprintf(stderr, "DEBUG: ##ManualDuplex = %d, type is %d\n", 1, job.mDuplexType);
    }
    KeepFirstPageMode(job);
    if (job.Value(MANUALDUPLEX) == 1) GetPPDText(job.ppd, "MDuplex", job.DuplexMsg);
    if (job.Value(DPI1200) == 1 && TraitsOf(job.platform) != nullptr && TraitsOf(job.platform)->twoBit) job.b2Bit = 1;
}

namespace {

// Ends the page still held (its image and page end go out first, as they had
// before the next page was read), then leaves the loop the way `exit` says.
JobExit Leave(JobState& job, PageInFlight& held, JobExit exit) {
    FinishPage(job, held);
    return gPrinterStreamError != 0 ? JobExit::CleanUp : exit;
}

}  // namespace

JobExit RunPages(JobState& job) {
    // On PLATFORM_C and PLATFORM_M a page is one JBIG stream: with workers,
    // it is compressed there beside the page before it, while the next page is
    // read and halftoned here.
    PageInFlight held;
    for (;;) {
        if (!pfcupsRasterReadHeader2(job.ras, &job.header)) {
            std::fputs("DEBUG: cupsRasterReadHeader2 return failure/end-of-file.\n", stderr);
            return Leave(job, held, LeaveLoop());
        }
        std::fputs("DEBUG: cupsRasterReadHeader2 return OK.\n", stderr);
        log_page_header2(&job.header);
        if (Canceled) return Leave(job, held, LeaveLoop());
        // A page the filter cannot read ends the job: its lines cannot be told
        // from the next page's header.
        if (!CheckPageHeader(job.header)) {
            job.failed = true;
            return Leave(job, held, LeaveLoop());
        }
        BoundCopies(job.header);

        // Even pages are cut from their spool file by a size table of fixed
        // length: a manual-duplex job ends at its last entry.
        if (job.Value(MANUALDUPLEX) == 1 && g_page >= kMaxManualDuplexPages) {
            FinishPage(job, held);
            std::fprintf(stderr,
                         "ERROR: Manual duplex takes at most %d pages; page %d and later are not "
                         "printed\n",
                         kMaxManualDuplexPages, g_page + 1);
            job.failed = true;
            return Leave(job, held, JobExit::EndOfJob);
        }
        SetUpPage(job);
        // A page that cannot be held is left out whole; the job goes on with
        // the next one and ends with status 1.
        PreparedPage page;
        if (!PreparePage(job, page)) {
            job.failed = true;
            SkipPageRaster(job);
            if (Canceled) return Leave(job, held, LeaveLoop());
            continue;
        }
        // Spool files are made before the first byte goes out: a job that
        // cannot have them prints nothing.
        if (g_page == 0 && !CreateSpoolFiles(job)) {
            job.failed = true;
            return JobExit::CleanUp;
        }
        job.modeFixed = true;
        ++g_page;
        const bool pipelined = PageWorkers(job) != nullptr;
        if (!pipelined)
            std::fprintf(stderr, "PAGE: %d %d\n", g_page, static_cast<int>(job.header.NumCopies));
        if (g_page == 1) StartDocument(job);
        if (pipelined) {
            PageInFlight next;
            next.startAtOnce = !held.held;
            const PageOutcome outcome = ConvertAndSendPage(job, page, &next);
            CompressAside(job, next);
            // The page before goes out whole before this one's page start.
            FinishPage(job, held);
            if (gPrinterStreamError != 0) return JobExit::CleanUp;
            SendPageStart(job, next);
            if (outcome == PageOutcome::CleanUp) return JobExit::CleanUp;
            held = std::move(next);
            if (gPrinterStreamError != 0) return JobExit::CleanUp;
            if (Canceled) return Leave(job, held, JobExit::EndOfJob);
            continue;
        }
        if (job.Value(MANUALDUPLEX) == 1) gSendDataToDevice = (g_page % 2 == 1) ? 1 : 0;

        if (ConvertAndSendPage(job, page) == PageOutcome::CleanUp) return JobExit::CleanUp;
        job.lastPageHeader = job.header;
        // Nothing more reaches a printer whose connection failed.
        if (gPrinterStreamError != 0) return JobExit::CleanUp;
        if (Canceled) return JobExit::EndOfJob;
        std::fflush(stdout);
        g_ismiddlepage = 0;
    }
}
