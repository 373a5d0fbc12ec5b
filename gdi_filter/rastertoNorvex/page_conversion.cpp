// Page raster conversion: one CUPS raster page to one printed page. Paper and
// image size, page start, raster lines into the grey page, turns, halftone,
// image, page end.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sys/mman.h>

#include "common/last_error.h"
#include "common/output.h"
#include "catalogue/paper_lookup.h"
#include "catalogue/platform_traits.h"
#include "common/platform.h"
#include "common/rotate.h"
#include "common/swap.h"
#include "prnt/banded_image.h"
#include "prnt/halftone.h"
#include "prnt/image.h"
#include "prnt/page.h"
#include "prnt/send_page_param.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"
#include "rastertoNorvex/paper_override.h"

namespace {

// Printer image sizes travel as 16-bit values; the grey page is held whole.
constexpr double kMaxImageDots = 65535;
constexpr double kMaxGreyPageBytes = 256.0 * 1024 * 1024;

constexpr uint16_t kPaperCodeA5_C = 6;
constexpr uint16_t kPaperCodeA5 = 11;  // PLATFORM_Z and PLATFORM_M
constexpr uint16_t kCustomPaper_C = 0xFF;

template <typename T>
using Buffer = std::unique_ptr<T[]>;

template <typename T>
Buffer<T> Allocate(std::size_t count) {
    return Buffer<T>(new (std::nothrow) T[count]);
}

// The grey and dot pages are written end to end on every page. Backed by 2 MiB
// pages where the kernel offers them (transparent huge pages on request), the
// first page of a job takes a few dozen page faults instead of thousands; the
// later pages reuse the memory the first one faulted in (see main).
void PreferHugePages(void* buffer, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(buffer);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// True when the bytes are all blank paper (0xFF).
bool IsBlankLine(const uint8_t* bytes, std::size_t count) {
    static const auto kBlank = [] {
        std::array<uint8_t, 4096> blank;
        blank.fill(0xFF);
        return blank;
    }();
    while (count > 0) {
        const std::size_t n = std::min(count, kBlank.size());
        if (std::memcmp(bytes, kBlank.data(), n) != 0) return false;
        bytes += n;
        count -= n;
    }
    return true;
}

// Rows [from, to) of the grey page become blank paper.
void FillBlankRows(uint8_t* grey, std::size_t width, std::size_t from, std::size_t to) {
    if (to > from) std::memset(grey + from * width, 0xFF, (to - from) * width);
}

double RoundUp(double dots, double multiple) { return std::ceil(dots / multiple) * multiple; }

// The table row of the page's paper, else a custom size inside the PPD's
// custom-size margins; 1200 dpi doubles PLATFORM_C's image.
void PaperAndImageSize(JobState& job, PreparedPage& g) {
    cups_page_header2_t& header = job.header;
    int row = -1;
    if (job.paperSizeArray) {
        isCutThePaper(&header, job.paperSizeArray, job.num_option, job.options);
        row = GetPaperArrayIndex(header.PageSize, job.paperSizeArray,
                                 &job.prntFuncInfo[LONGEDGEFEED].value);
    }
    if (row >= 0) {
        const PAPER_SIZE_INFO& paper = job.paperSizeArray[row];
        g.imgW = paper.fwPaperW;
        g.imgH = paper.fwPaperH;
        g.paperSize = static_cast<uint16_t>(paper.fwPaperNum);
        g.marginX = paper.fwPaperMarginX;
        g.marginY = paper.fwPaperMarginY;
    } else {
        const float* m = job.ppd->custom_margins;  // left, bottom, right, top
        g.imgW = std::trunc((header.PageSize[0] - double{m[0]} - m[2]) / 72.0 * 600.0);
        g.imgH = std::trunc((header.PageSize[1] - double{m[1]} - m[3]) / 72.0 * 600.0);
        if (g.imgW > 0) g.imgW = RoundUp(g.imgW, 32);
        if (g.imgH > 0) g.imgH = RoundUp(g.imgH, 8);
        g.paperSize = job.platform == PLATFORM_C ? kCustomPaper_C : 0;
    }
    if (header.HWResolution[0] == 1200 && Prints1200Across(job.platform)) g.imgW *= 2;
    if (header.HWResolution[1] == 1200 && Prints1200Down(job.platform)) g.imgH *= 2;
}

// Why a page cannot be held, or nullptr. Checked before any buffer is sized.
const char* UnprintableReason(const PreparedPage& g, int b2Bit) {
    if (g.imgW <= 0 || g.imgH <= 0) return "its margins leave no printable area";
    if (g.imgW * (b2Bit ? 2 : 1) > kMaxImageDots || g.imgH > kMaxImageDots)
        return "its image exceeds 65535 dots in a direction";
    if (g.imgW * g.imgH > kMaxGreyPageBytes) return "its image exceeds 256 MiB";
    return nullptr;
}

// The page-start record; fills startPageParam and says whether the page is
// fed long edge first.
void FillStartPage(JobState& job, const PreparedPage& g) {
    const cups_page_header2_t& header = job.header;
    GDI_START_PAGE_PARAM& p = job.startPageParam;
    const int platform = job.platform;
    p = GDI_START_PAGE_PARAM{};
    p.paperSize = g.paperSize;
    p.mediaType = static_cast<uint16_t>(header.cupsMediaType);
    const uint16_t resolutionX = Prints1200Across(platform) && header.HWResolution[0] == 1200 ? 1200 : 600;
    const uint16_t resolutionY = Prints1200Down(platform) && header.HWResolution[1] == 1200 ? 1200 : 600;
    const uint16_t unit = platform == PLATFORM_M ? 1 : 10;  // C and Z take tens of dpi
    p.resolutionX = resolutionX / unit;
    p.resolutionY = resolutionY / unit;
    const unsigned media = header.cupsMediaType;
    p.tray = (media == 0 || media == 5 || (media == 1 && platform == PLATFORM_M))
                 ? static_cast<uint16_t>(job.Value(INPUTSLOT))
                 : 1;
    p.colorMode = 0;
    const uint16_t a5 = platform == PLATFORM_C ? kPaperCodeA5_C : kPaperCodeA5;
    p.feedEdge = (platform != PLATFORM_NONE && g.paperSize == a5 && job.Value(LONGEDGEFEED) == 1)
                     ? kFeedLongEdge
                     : 0;
    p.marginUnit = 0;
    p.copies = static_cast<uint16_t>(job.Value(COLLATE) == 1 ? 1 : header.NumCopies);
    p.marginX = g.marginX;
    p.marginY = g.marginY;
    p.pageNum = static_cast<uint16_t>(g_page);
    p.userPhyPgW = static_cast<uint16_t>(
        static_cast<int64_t>(header.PageSize[0] / 72.0 * header.HWResolution[0]));
    p.userPhyPgH = static_cast<uint16_t>(
        static_cast<int64_t>(header.PageSize[1] / 72.0 * header.HWResolution[1]));
    p.userPrntAreaW = static_cast<uint16_t>(g.imgW);
    p.userPrntAreaH = static_cast<uint16_t>(g.imgH);
    p.iIs2bit = static_cast<uint32_t>(job.b2Bit);
    p.densityLevel = static_cast<uint8_t>(job.Value(TONERMODE) == 1 ? 0 : job.Value(DENSITY));
    if (p.feedEdge == kFeedLongEdge) {
        static const uint16_t kLongEdgeA5[] = {0, 6, 18, 61};
        p.paperSize = kLongEdgeA5[platform];
        SwapUSHORT(&p.userPhyPgW, &p.userPhyPgH);
        SwapUSHORT(&p.userPrntAreaW, &p.userPrntAreaH);
    }
}

// Pages printed upside down so that both sides of a sheet read the same way
// up, by duplex mode, image rotation and feed direction.
int Rotate180Wanted(const JobState& job) {
    const bool even = g_page % 2 == 0;
    const int rotation = job.Value(IMAGEROTATION);
    switch (job.Value(AUTODUPLEX)) {
        case 1:
            return rotation == 1 ? !even : even;
        case 2:
            return rotation == 1 ? 1 : 0;
        default:
            break;
    }
    if (!even || job.Value(MANUALDUPLEX) != 1) return rotation;
    const uint16_t feedEdge = job.startPageParam.feedEdge;
    const bool inverted = (job.platform == PLATFORM_Z && job.mDuplexType == 0)
                              ? feedEdge == 0
                              : feedEdge == kFeedLongEdge;
    return inverted ? 1 - rotation : rotation;
}

}  // namespace

bool PreparePage(JobState& job, PreparedPage& page) {
    const cups_page_header2_t& header = job.header;
    PaperAndImageSize(job, page);
    if (const char* reason = UnprintableReason(page, job.b2Bit)) {
        std::fprintf(stderr, "ERROR: Page %d of %u x %u points cannot be printed: %s\n",
                     g_page + 1, header.PageSize[0], header.PageSize[1], reason);
        return false;
    }
    const auto w = static_cast<std::size_t>(page.imgW);
    const auto h = static_cast<std::size_t>(page.imgH);
    page.bytesPerLine = std::max<std::size_t>(header.cupsBytesPerLine, w);
    page.pGrayImgLineBuf = Allocate<uint8_t>(page.bytesPerLine);
    page.pGrayImgBuf = Allocate<uint8_t>(w * h);
    page.pMonoImgBuf = Allocate<uint8_t>(w * h * (job.b2Bit ? 2 : 1) / 8);
    if (!page.pGrayImgLineBuf || !page.pGrayImgBuf || !page.pMonoImgBuf) {
        SetLastError("main() :: Malloc pGrayImgLineBuf or pMonoImgLineBuf or pMonoImgBuf Fail ! \n");
        ReportNewFailures(job);
        return false;
    }
    return true;
}

void SkipPageRaster(JobState& job) {
    const unsigned lineBytes = job.header.cupsBytesPerLine;
    Buffer<uint8_t> line = Allocate<uint8_t>(lineBytes);
    for (unsigned y = 0; line && y < job.header.cupsHeight && !Canceled; ++y)
        if (pfcupsRasterReadPixels(job.ras, line.get(), lineBytes) == 0) break;
}

namespace {

// The job's pool, started once for its first page; nullptr for the rest of the
// job when not one thread could be started.
WorkerPool* JobWorkers(JobState& job, int threads) {
    if (!job.workersTried) {
        job.workersTried = true;
        job.workers = StartWorkers(threads);
        if (!job.workers)
            std::fputs("DEBUG: No worker thread could be started; the pages are imaged sequentially\n",
                       stderr);
    }
    return job.workers.get();
}

}  // namespace

// The job's worker threads, started for the first page that bands its image
// (PLATFORM_Z); nullptr when the job runs sequentially.
WorkerPool* BandWorkers(JobState& job) {
    if (job.platform != PLATFORM_Z || job.threads <= 1) return nullptr;
    return JobWorkers(job, job.threads);
}

WorkerPool* PageWorkers(JobState& job) {
    if (job.platform == PLATFORM_Z || job.threads <= 1) return nullptr;
    // Two pages are compressed at once while the next is read and halftoned here.
    return JobWorkers(job, std::min(job.threads, kPagesInFlight));
}

namespace {

void StartDeferredPage(JobState& job, PageInFlight& page) {
    page.started = true;
    std::fprintf(stderr, "PAGE: %d %d\n", page.number, static_cast<int>(page.header.NumCopies));
    if (job.Value(MANUALDUPLEX) == 1) gSendDataToDevice = (page.number % 2 == 1) ? 1 : 0;
    g_ismiddlepage = 1;
    if (!Prnt_StartPage(&page.start, job.platform)) ReportFailure(job, "main() :: Start page Fail ! \n");
    std::fflush(stdout);
    g_ismiddlepage = 0;
}

}  // namespace

void CompressAside(JobState& job, PageInFlight& page) {
    // A page that cannot be compressed is left to FinishPage, which reports why.
    if (!page.held || !page.imageToSend || !IsEncodableImage(page.send)) return;
    WorkerPool* const pool = PageWorkers(job);
    auto compression = std::unique_ptr<PageCompression>(new (std::nothrow) PageCompression);
    if (!pool || !compression) return;
    const std::size_t rawBytes = std::size_t{page.send.whlImgW} / 8 * page.send.whlImgH;
    if (!ReserveBytes(&compression->image, CompressedSizeGuess(rawBytes))) return;
    PageCompression* const c = compression.get();
    const GDI_SEND_PAGE_PARAM send = page.send;
    const int platform = job.platform;
    if (!PostWork(pool, &c->group, [c, send, platform] {
            c->ok = CompressImageBand(send, JbigParamsFor(send, platform), 0, platform, &c->image,
                                      &c->checksum) == 1;
        }))
        return;
    c->pool = pool;
    page.compression = std::move(compression);
}

void SendPageStart(JobState& job, PageInFlight& page) {
    if (!page.started) StartDeferredPage(job, page);
    gImageCoverage = page.coverage;
}

void FinishPage(JobState& job, PageInFlight& page) {
    if (!page.held) return;
    page.held = false;
    const int platform = job.platform;
    // The routing files the bytes by the page they belong to (odd or even side).
    const int pageBeingRead = g_page;
    g_page = page.number;
    gImageCoverage = page.coverage;
    g_ismiddlepage = 1;
    int sent = 0;
    if (page.compression) {
        WaitForWork(page.compression->pool, &page.compression->group);
        page.compression->pool = nullptr;
    }
    if (page.compression && page.compression->ok) {
        gImageChecksum = page.compression->checksum;
        sent = SendPageImage(&page.send, JbigParamsFor(page.send, platform),
                             page.compression->image, platform);
    } else {
        sent = Prnt_SendPage(&page.send, platform);  // compressed here, failures reported as ever
    }
    page.compression.reset();
    page.dots.reset();
    if (!sent) ReportFailure(job, "main() :: Send page Fail!\n");
    std::fflush(stdout);
    if (!Prnt_EndPage(&page.end, platform)) ReportFailure(job, "main() :: End page Fail ! \n");
    std::fflush(stdout);
    g_ismiddlepage = 0;
    job.lastPageHeader = page.header;
    g_page = pageBeingRead;
}

PageOutcome ConvertAndSendPage(JobState& job, PreparedPage& page, PageInFlight* deferred) {
    cups_page_header2_t& header = job.header;
    const int platform = job.platform;

    FillStartPage(job, page);
    if (deferred) {
        deferred->held = false;
        deferred->number = g_page;
        deferred->header = header;
        deferred->start = job.startPageParam;
        // As on the sequential path, the printer gets the page start before
        // the page's lines are read (and keep-alive fillers while they come)
        // when no page before it waits to be ended.
        if (deferred->startAtOnce) StartDeferredPage(job, *deferred);
        gImageCoverage = 0;  // the held page's own count is in its record
    } else {
        g_ismiddlepage = 1;
        if (!Prnt_StartPage(&job.startPageParam, platform))
            ReportFailure(job, "main() :: Start page Fail ! \n");
        std::fflush(stdout);
        g_ismiddlepage = 0;
    }

    uint32_t fwImgWPixel = static_cast<uint32_t>(page.imgW);
    uint32_t fwImgHPixel = static_cast<uint32_t>(page.imgH);
    const std::size_t bytesPerLine = page.bytesPerLine;
    const std::size_t greyBytes = std::size_t{fwImgWPixel} * fwImgHPixel;
    const std::size_t monoBytes = greyBytes * (job.b2Bit ? 2 : 1) / 8;
    Buffer<uint8_t>& pGrayImgLineBuf = page.pGrayImgLineBuf;
    Buffer<uint8_t>& pGrayImgBuf = page.pGrayImgBuf;
    Buffer<uint8_t>& pMonoImgBuf = page.pMonoImgBuf;
    PreferHugePages(pGrayImgBuf.get(), greyBytes);
    PreferHugePages(pMonoImgBuf.get(), monoBytes);
    std::memset(pMonoImgBuf.get(), 0, monoBytes);

    // The raster lines, cropped to the middle of the line or padded white. Each
    // row is written as its line comes, and not before the first line with ink
    // on it: a blank page never touches its grey page, which is then neither
    // filled, turned nor halftoned (its dot page is already all white).
    uint8_t* grey = pGrayImgBuf.get();
    const unsigned lineBytes = header.cupsBytesPerLine;
    const std::size_t cropOffset = lineBytes > fwImgWPixel ? (lineBytes - fwImgWPixel) / 2 : 0;
    const std::size_t copyBytes = lineBytes > fwImgWPixel ? fwImgWPixel : lineBytes;
    bool blankSoFar = true;
    std::size_t rowsWritten = 0;  // once ink was seen, rows [0, rowsWritten) are final

    // On PLATFORM_Z a page that is not turned has its bands halftoned and
    // compressed on the workers while the lines below them are still read.
    // Declared after the page's buffers, it waits for its bands before they go.
    WorkerPool* const workers = BandWorkers(job);
    BandedPageImage banded;
    const bool turned = Rotate180Wanted(job) == 1 || job.startPageParam.feedEdge == kFeedLongEdge;
    if (workers && !turned)
        StartBandedImage(&banded, workers,
                         MakeSendPageParam(fwImgWPixel, fwImgHPixel, false, platform,
                                           header.HWResolution[0], pMonoImgBuf.get()),
                         grey, job.Value(NEGATIVEPRINT), job.Value(DPI1200));
    unsigned linesRead = 0;
    for (unsigned y = 0; y < header.cupsHeight; ++y, ++linesRead) {
        if (Canceled) break;
        if (y % 128 == 0)
            std::fprintf(stderr, "INFO: Printing page %d, %u%% complete...\n", g_page,
                         y * 100 / header.cupsHeight);
        // No need to clear the line first: a failed read leaves nothing of it used.
        uint8_t* line = pGrayImgLineBuf.get();
        if (pfcupsRasterReadPixels(job.ras, line, lineBytes) == 0) {
            if (!Canceled) break;  // the rest of the page stays blank
            // Cancelled mid-read: the whole line is blank, not just its start.
            std::memset(line, 0xFF, bytesPerLine);
        }
        if (y >= fwImgHPixel) continue;  // below the printable area: read and dropped
        const uint8_t* src = line + cropOffset;
        if (blankSoFar) {
            if (IsBlankLine(src, copyBytes)) continue;
            blankSoFar = false;
            FillBlankRows(grey, fwImgWPixel, 0, y);
        }
        uint8_t* row = grey + std::size_t{y} * fwImgWPixel;
        std::memcpy(row, src, copyBytes);
        std::memset(row + copyBytes, 0xFF, fwImgWPixel - copyBytes);
        rowsWritten = std::size_t{y} + 1;
        if (banded.pool && rowsWritten % kJbigBandHeight == 0) PostFinalRows(&banded, rowsWritten);
    }
    if (Canceled && platform == PLATFORM_M) {
        if (deferred) {
            deferred->held = false;
            deferred->imageToSend = false;
        }
        return PageOutcome::CleanUp;
    }
    // A raster that stops early is still closed as a page (the printer is never
    // left inside one), but the job did not print as sent.
    if (linesRead < header.cupsHeight && !Canceled) {
        std::fprintf(stderr, "ERROR: Page %d ended after %u of its %u raster lines\n", g_page,
                     linesRead, header.cupsHeight);
        job.failed = true;
    }
    // In negative print blank paper is all toner: such a page is imaged in full.
    const bool blankPage = blankSoFar && job.Value(NEGATIVEPRINT) == 0;
    if (!blankPage) FillBlankRows(grey, fwImgWPixel, blankSoFar ? 0 : rowsWritten, fwImgHPixel);

    // Turns: upside down for duplex and rotation, a quarter for long-edge feed.
    // A blank page looks the same either way; only its sizes follow the turn.
    const int bRotate180 = Rotate180Wanted(job);
    std::fprintf(stderr, "DEBUG: ##page is %d, rotate180 is %d\n", g_page, bRotate180);
    if (bRotate180 == 1 && !blankPage &&
        !Rotate180(reinterpret_cast<char*>(grey), fwImgWPixel, fwImgHPixel))
        ReportFailure(job, "main() :: Rotate 180 Fail. \n");
    uint32_t iRealImgWByte = header.cupsBytesPerLine;
    if (job.startPageParam.feedEdge == kFeedLongEdge) {
        // The sizes follow the buffer: swapped only when the turn was made.
        if (blankPage || Rotate90(grey, fwImgWPixel, fwImgHPixel))
            SwapUINT(&fwImgWPixel, &fwImgHPixel);
        else
            ReportFailure(job, "main() :: Rotate 90 Fail. \n");
        iRealImgWByte = header.cupsHeight;
    }

    GDI_SEND_PAGE_PARAM send = MakeSendPageParam(fwImgWPixel, fwImgHPixel, job.b2Bit == 1, platform,
                                                 header.HWResolution[0], pMonoImgBuf.get());
    if (workers && !banded.pool)
        StartBandedImage(&banded, workers, send, grey, job.Value(NEGATIVEPRINT), job.Value(DPI1200));
    if (!blankPage && !banded.pool)
        HalftoneDither(grey, fwImgWPixel, fwImgHPixel, pMonoImgBuf.get(), iRealImgWByte,
                       job.Value(NEGATIVEPRINT), job.Value(DPI1200), platform);

    GDI_END_PAGE_PARAM end{};
    end.page = g_page;
    end.bMachDup = job.Value(AUTODUPLEX) != 0 ? 1 : 0;
    end.resolutionE = static_cast<int32_t>(header.HWResolution[0]);
    end.paperWidthE = static_cast<int32_t>(header.PageSize[0] / 72.0 * 25.4);
    end.densityE = job.Value(DENSITY);
    if (deferred) {
        deferred->held = true;
        deferred->imageToSend = true;
        deferred->send = send;
        deferred->end = end;
        deferred->coverage = gImageCoverage;
        deferred->dots = std::move(pMonoImgBuf);
        return PageOutcome::Sent;
    }

    g_ismiddlepage = 1;
    const int sent = banded.pool ? Prnt_SendBandedPage(&banded, !blankPage, &send)
                                 : Prnt_SendPage(&send, platform);
    if (!sent) ReportFailure(job, "main() :: Send page Fail!\n");
    std::fflush(stdout);

    if (!Prnt_EndPage(&end, platform)) ReportFailure(job, "main() :: End page Fail ! \n");
    std::fflush(stdout);
    g_ismiddlepage = 0;
    return PageOutcome::Sent;
}
