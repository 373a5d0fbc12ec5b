// A page's imaging: one CUPS raster page to the printer's dot page. Paper and
// image size, the page-start record, raster lines into the grey page, turns,
// halftone. What is sent, and when, is the page pipeline's.
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
#include "catalogue/paper_lookup.h"
#include "catalogue/platform_traits.h"
#include "common/platform.h"
#include "common/rotate.h"
#include "common/swap.h"
#include "prnt/halftone.h"
#include "prnt/send_page_param.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/page_imaging.h"
#include "rastertoNorvex/page_pipeline.h"
#include "rastertoNorvex/paper_override.h"
#include "rastertoNorvex/report.h"

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

}  // namespace

void FillPageStart(JobState& job, const PreparedPage& g, PipelinePage& page) {
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
    p.pageNum = static_cast<uint16_t>(page.number);
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
    page.start = p;
    page.header = header;
}

namespace {

// Pages printed upside down so that both sides of a sheet read the same way
// up, by duplex mode, image rotation and feed direction.
int Rotate180Wanted(const JobState& job, int number) {
    const bool even = number % 2 == 0;
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

// Each way 600 dpi, or 1200 where the platform prints it: a page rendered at
// another resolution would print at the wrong scale.
bool PrinterHasResolution(int platform, const unsigned (&dpi)[2]) {
    return (dpi[0] == 600 || (dpi[0] == 1200 && Prints1200Across(platform))) &&
           (dpi[1] == 600 || (dpi[1] == 1200 && Prints1200Down(platform)));
}

}  // namespace

bool PreparePage(JobState& job, PreparedPage& page) {
    const cups_page_header2_t& header = job.header;
    if (!PrinterHasResolution(job.platform, header.HWResolution)) {
        std::fprintf(stderr,
                     "ERROR: Page %d was rendered at %u x %u dpi, a resolution this printer does "
                     "not print (it prints %s).\n",
                     job.pagesRead + 1, header.HWResolution[0], header.HWResolution[1],
                     Prints1200Across(job.platform) ? "600 or 1200 dpi each way" : "600 x 600 dpi");
        return false;
    }
    PaperAndImageSize(job, page);
    if (const char* reason = UnprintableReason(page, job.b2Bit)) {
        std::fprintf(stderr, "ERROR: Page %d of %u x %u points cannot be printed: %s\n",
                     job.pagesRead + 1, header.PageSize[0], header.PageSize[1], reason);
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
        char sentence[96];
        std::snprintf(sentence, sizeof sentence, "There is not enough memory to print page %d.",
                      job.pagesRead + 1);
        ReportFailure(job, "", sentence);
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

PageOutcome ImagePage(JobState& job, PreparedPage& prepared, PipelinePage& page) {
    cups_page_header2_t& header = job.header;
    const int platform = job.platform;
    const int number = page.number;

    uint32_t fwImgWPixel = static_cast<uint32_t>(prepared.imgW);
    uint32_t fwImgHPixel = static_cast<uint32_t>(prepared.imgH);
    const std::size_t bytesPerLine = prepared.bytesPerLine;
    const std::size_t greyBytes = std::size_t{fwImgWPixel} * fwImgHPixel;
    const std::size_t monoBytes = greyBytes * (job.b2Bit ? 2 : 1) / 8;
    Buffer<uint8_t>& pGrayImgLineBuf = prepared.pGrayImgLineBuf;
    Buffer<uint8_t>& pGrayImgBuf = prepared.pGrayImgBuf;
    Buffer<uint8_t>& pMonoImgBuf = prepared.pMonoImgBuf;
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

    // A page that is not turned can have its bands halftoned and compressed
    // (PLATFORM_Z, on workers) while the lines below them are still read.
    const int bRotate180 = Rotate180Wanted(job, number);
    const bool turned = bRotate180 == 1 || job.startPageParam.feedEdge == kFeedLongEdge;
    if (!turned)
        StartBands(job, page,
                   MakeSendPageParam(fwImgWPixel, fwImgHPixel, false, platform,
                                     header.HWResolution[0], pMonoImgBuf.get()),
                   grey);
    unsigned linesRead = 0;
    for (unsigned y = 0; y < header.cupsHeight; ++y, ++linesRead) {
        if (Canceled) break;
        if (y % 128 == 0)
            std::fprintf(stderr, "INFO: Printing page %d, %u%% complete...\n", number,
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
        RowsFinal(page, static_cast<uint32_t>(rowsWritten));
    }
    if (Canceled && platform == PLATFORM_M) return PageOutcome::CleanUp;
    // A raster that stops early is still closed as a page (the printer is never
    // left inside one), but the job did not print as sent.
    if (linesRead < header.cupsHeight && !Canceled) {
        std::fprintf(stderr, "ERROR: Page %d ended after %u of its %u raster lines\n", number,
                     linesRead, header.cupsHeight);
        job.failed = true;
    }
    // In negative print blank paper is all toner: such a page is imaged in full.
    const bool blankPage = blankSoFar && job.Value(NEGATIVEPRINT) == 0;
    if (!blankPage) FillBlankRows(grey, fwImgWPixel, blankSoFar ? 0 : rowsWritten, fwImgHPixel);

    // Turns: upside down for duplex and rotation, a quarter for long-edge feed.
    // A blank page looks the same either way; only its sizes follow the turn.
    std::fprintf(stderr, "DEBUG: ##page is %d, rotate180 is %d\n", number, bRotate180);
    char sentence[96];
    if (bRotate180 == 1 && !blankPage &&
        !Rotate180(reinterpret_cast<char*>(grey), fwImgWPixel, fwImgHPixel)) {
        std::snprintf(sentence, sizeof sentence, "Page %d could not be turned upside down.", number);
        ReportFailure(job, "main() :: Rotate 180 Fail. \n", sentence);
    }
    uint32_t iRealImgWByte = header.cupsBytesPerLine;
    if (job.startPageParam.feedEdge == kFeedLongEdge) {
        // The sizes follow the buffer: swapped only when the turn was made.
        if (blankPage || Rotate90(grey, fwImgWPixel, fwImgHPixel))
            SwapUINT(&fwImgWPixel, &fwImgHPixel);
        else {
            std::snprintf(sentence, sizeof sentence, "Page %d could not be turned for long-edge feed.",
                          number);
            ReportFailure(job, "main() :: Rotate 90 Fail. \n", sentence);
        }
        iRealImgWByte = header.cupsHeight;
    }

    page.send = MakeSendPageParam(fwImgWPixel, fwImgHPixel, job.b2Bit == 1, platform,
                                  header.HWResolution[0], pMonoImgBuf.get());
    StartBands(job, page, page.send, grey);
    page.blank = blankPage;
    page.coverage = 0;
    if (!blankPage && !page.bands) {
        gImageCoverage = 0;
        HalftoneDither(grey, fwImgWPixel, fwImgHPixel, pMonoImgBuf.get(), iRealImgWByte,
                       job.Value(NEGATIVEPRINT), job.Value(DPI1200), platform);
        page.coverage = gImageCoverage;
    }

    GDI_END_PAGE_PARAM& end = page.end;
    end = GDI_END_PAGE_PARAM{};
    end.page = number;
    end.bMachDup = job.Value(AUTODUPLEX) != 0 ? 1 : 0;
    end.resolutionE = static_cast<int32_t>(header.HWResolution[0]);
    end.paperWidthE = static_cast<int32_t>(header.PageSize[0] / 72.0 * 25.4);
    end.densityE = job.Value(DENSITY);
    page.dots = std::move(pMonoImgBuf);
    return PageOutcome::Imaged;
}
