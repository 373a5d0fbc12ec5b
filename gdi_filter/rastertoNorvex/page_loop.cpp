// The page loop: read each page header, set the page up, start the document on
// the first page, image the page and hand it to the page pipeline.
#include "rastertoNorvex/page_loop.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

#include "common/output.h"
#include "common/platform.h"
#include "catalogue/model_list.h"
#include "catalogue/platform_traits.h"
#include "prnt/model_name.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/document_start.h"
#include "rastertoNorvex/header_check.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/page_imaging.h"
#include "rastertoNorvex/page_pipeline.h"
#include "rastertoNorvex/spool.h"

namespace {

JobExit LeaveLoop(const JobState& job) {
    return job.pagesRead > 0 ? JobExit::EndOfJob : JobExit::CleanUp;
}

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
                     job.pagesRead + 1);
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

// Page set-up: platform and paper table, PPD texts, options and function values.
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

    // Two-sided jobs on printers without a duplexer become manual duplex where
    // the PPD says the model takes it; PLATFORM_M prints them one-sided
    // otherwise (the backs would come out turned, with a blank sheet between).
    const bool noDuplexer = TraitsOf(job.platform) != nullptr && !HasDuplexer(job.platform);
    if (job.Value(AUTODUPLEX) != 0 && noDuplexer && job.iSupportManDuplex == 1) {
        if (job.Value(AUTODUPLEX) == 2) job.mDuplexType = 1;
        job.SetValue(MANUALDUPLEX, 1);
        job.SetValue(AUTODUPLEX, 0);
        std::fprintf(stderr, "DEBUG: ##ManualDuplex = %d, type is %d\n", 1, job.mDuplexType);
    } else if (job.Value(AUTODUPLEX) != 0 && job.platform == PLATFORM_M) {
        job.SetValue(AUTODUPLEX, 0);
        std::fputs("DEBUG: The printer has no duplexer; two-sided pages print one-sided unless "
                   "manual duplex is asked for\n",
                   stderr);
    }
    KeepFirstPageMode(job);
    if (job.Value(MANUALDUPLEX) == 1) GetPPDText(job.ppd, "MDuplex", job.DuplexMsg);
    if (job.Value(DPI1200) == 1 && TraitsOf(job.platform) != nullptr && TraitsOf(job.platform)->twoBit) job.b2Bit = 1;
}

// The pages still in the pipeline go out first (as they would have before the
// next page was read), then the loop leaves the way `exit` says.
JobExit Leave(PagePipeline& pipe, JobExit exit) {
    DrainPipeline(pipe);
    return gPrinterStreamError != 0 ? JobExit::CleanUp : exit;
}

}  // namespace

JobExit RunPages(JobState& job) {
    PagePipeline pipe;
    OpenPipeline(pipe, job);
    for (;;) {
        if (!pfcupsRasterReadHeader2(job.ras, &job.header)) {
            std::fputs("DEBUG: cupsRasterReadHeader2 return failure/end-of-file.\n", stderr);
            return Leave(pipe, LeaveLoop(job));
        }
        std::fputs("DEBUG: cupsRasterReadHeader2 return OK.\n", stderr);
        log_page_header2(&job.header);
        if (Canceled) return Leave(pipe, LeaveLoop(job));
        // A page the filter cannot read ends the job: its lines cannot be told
        // from the next page's header.
        if (!CheckPageHeader(job.header)) {
            job.failed = true;
            return Leave(pipe, LeaveLoop(job));
        }
        BoundCopies(job.header);

        // Even pages are cut from their spool file by a size table of fixed
        // length: a manual-duplex job ends at its last entry.
        if (job.Value(MANUALDUPLEX) == 1 && job.pagesRead >= kMaxManualDuplexPages) {
            DrainPipeline(pipe);
            std::fprintf(stderr,
                         "ERROR: Manual duplex takes at most %d pages; page %d and later are not "
                         "printed\n",
                         kMaxManualDuplexPages, job.pagesRead + 1);
            job.failed = true;
            return Leave(pipe, JobExit::EndOfJob);
        }
        SetUpPage(job);
        // A page that cannot be held is left out whole; the job goes on with
        // the next one and ends with status 1.
        PreparedPage prepared;
        if (!PreparePage(job, prepared)) {
            job.failed = true;
            SkipPageRaster(job);
            if (Canceled) return Leave(pipe, LeaveLoop(job));
            continue;
        }
        // Spool files are made before the first byte goes out: a job that
        // cannot have them prints nothing.
        if (job.pagesRead == 0 && !CreateSpoolFiles(job)) {
            job.failed = true;
            return JobExit::CleanUp;
        }
        job.modeFixed = true;
        // Declared after the grey page: the page's bands are done with it
        // before it goes.
        auto page = std::make_unique<PipelinePage>();
        page->number = ++job.pagesRead;
        if (page->number == 1 && !StartDocument(job)) return JobExit::CleanUp;
        FillPageStart(job, prepared, *page);
        BeginPage(pipe, *page);
        if (ImagePage(job, prepared, *page) == PageOutcome::CleanUp) {
            AbandonPage(pipe, *page);
            return JobExit::CleanUp;
        }
        SubmitPage(pipe, std::move(page));
        // Nothing more reaches a printer whose connection failed.
        if (gPrinterStreamError != 0) return JobExit::CleanUp;
        if (Canceled) return Leave(pipe, JobExit::EndOfJob);
    }
}
