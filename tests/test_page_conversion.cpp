// Real jobs end to end: raster pages in, a printer stream out that the decoder
// accepts and whose pages are the halftone of the input, on every path the grey
// page takes; and the turns of the grey page on sizes those pages do not reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

#include "common/platform.h"
#include "common/rotate.h"
#include "support/job.h"

namespace {

// Blank paper down to row `top`, then structure in both directions: a black
// block at the top left that shows every turn, a ramp across, bars down.
RasterPage InkFrom(unsigned top) {
    RasterPage page;
    page.pixel = [top](unsigned x, unsigned y) -> uint8_t {
        if (y < top) return 0xFF;
        y -= top;
        if (x < 400 && y < 300) return 0;
        if ((y / 64) % 5 == 0) return static_cast<uint8_t>((x * 7 + y) & 0xFF);
        return static_cast<uint8_t>((x / 19) & 0xFF);
    };
    return page;
}

// The grey page of sw x sh turned a quarter clockwise (the black block at the
// top left lands at the top right) or half a turn.
std::vector<uint8_t> Turned(const std::vector<uint8_t>& grey, unsigned sw, unsigned sh, int turn) {
    if (turn == 180) return std::vector<uint8_t>(grey.rbegin(), grey.rend());
    if (turn != 90) return grey;
    std::vector<uint8_t> out(grey.size());
    for (unsigned r = 0; r < sh; ++r)
        for (unsigned c = 0; c < sw; ++c) out[std::size_t{c} * sh + (sh - 1 - r)] = grey[std::size_t{r} * sw + c];
    return out;
}

// Lines of 4960 bytes keep their middle, bytes (4960 - w) / 2 onwards; narrow
// lines are padded white on the right, missing lines are white. The last page
// of the job is compared, turned where the job turns it: A5 fed long edge
// first a quarter, the back of a long-edge sheet and pages printed with
// ImageRotation half a turn; the duplex and input slot options against the
// header. A custom size is sized inside the PPD's margins. PLATFORM_Z reports
// the dots it printed.
TEST(PageConversion, PagesAreTheHalftoneOfWhatTheRasterHolds) {
    TempDir dir;
    RasterPage narrowShort = InkFrom(0), c1200 = InkFrom(0), narrowInk = InkFrom(5000), ending = InkFrom(1000);
    narrowShort.width = 3000;
    narrowShort.height = 5000;
    c1200.resX = 1200;
    c1200.width = 9920;
    narrowInk.width = 3000;
    ending.linesWritten = 4000;  // the file ends there
    RasterPage a5 = InkFrom(0), longEdge = InkFrom(0), shortEdge = InkFrom(0);
    a5.pageW = 421;  // how an A5 page fed long edge first arrives
    a5.pageH = 595;
    a5.width = 3508;
    a5.height = 4958;
    longEdge.duplex = shortEdge.duplex = shortEdge.tumble = true;
    RasterPage custom = InkFrom(0);
    custom.pageW = 500;
    custom.pageH = 700;
    custom.width = 4166;
    custom.height = 5833;
    const struct {
        const char* what;
        Platform platform;
        const char* options;  // NegativePrint and DPI1200 change the reference halftone
        RasterPage page;
        std::size_t pages;
        unsigned w, h;
        int turn;
        std::vector<std::pair<const char*, const char*>> listed;  // command and fields its every line shows
        bool blankBack = false;                                   // the last page is the blank back the job adds
        const char* margins = "0 0 0 0";                          // the PPD's, points
    } cases[] = {
        {"A4", PLATFORM_C, "", InkFrom(0), 1, 4800, 6780, 0,
         {{"PAGE_SPEC", "res=60x60"}, {"IMAGE_DATA", "L0=768 MX=8 MY=0 order=0x00 options=0x08"}}},
        {"A4", PLATFORM_Z, "", InkFrom(0), 1, 4736, 6780, 0,
         {{"PAGE_SPEC", "paper=1 media=0 res=60x60 tray=0 "}, {"JBIG_BAND", "MX=0 MY=0 order=0x03 options=0x58"}}},
        {"A4", PLATFORM_M, "", InkFrom(0), 1, 4736, 6784, 0, {{"START_PAGE_CMD", "VIDEO_DEPTH=1 "}}},
        {"narrow and short", PLATFORM_Z, "", narrowShort, 1, 4736, 6780, 0, {}},
        {"1200 x 600 dpi", PLATFORM_C, "", c1200, 1, 9600, 6780, 0, {{"PAGE_SPEC", "res=120x60"}}},
        {"2-bit dots", PLATFORM_M, "DPI1200=true", InkFrom(0), 1, 4736, 6784, 0,
         {{"START_PAGE_CMD", "IMG_WIDTH=9472 IMG_HEIGHT=6784 VIDEO_DEPTH=2 "}}},
        {"negative, manual feed", PLATFORM_Z, "NegativePrint InputSlot=manualfeed", InkFrom(0), 1, 4736, 6780, 0,
         {{"PAGE_SPEC", " tray=1 "}}},
        {"negative, 2-bit", PLATFORM_M, "NegativePrint DPI1200", InkFrom(0), 1, 4736, 6784, 0, {}},
        {"blank", PLATFORM_C, "", RasterPage{}, 1, 4800, 6780, 0, {}},
        {"blank", PLATFORM_Z, "", RasterPage{}, 1, 4736, 6780, 0, {}},
        {"blank", PLATFORM_M, "", RasterPage{}, 1, 4736, 6784, 0, {}},
        {"blank, negative, auto feed", PLATFORM_Z, "NegativePrint InputSlot=AutoFeed", RasterPage{}, 1, 4736, 6780, 0,
         {{"PAGE_SPEC", " tray=2 "}}},
        {"blank, 2-bit", PLATFORM_M, "DPI1200", RasterPage{}, 1, 4736, 6784, 0, {}},
        {"blank, negative", PLATFORM_M, "NegativePrint", RasterPage{}, 1, 4736, 6784, 0, {}},
        {"blank, negative, 2-bit", PLATFORM_M, "NegativePrint DPI1200", RasterPage{}, 1, 4736, 6784, 0, {}},
        {"blank top", PLATFORM_Z, "", InkFrom(3000), 1, 4736, 6780, 0, {}},
        {"narrow, blank top", PLATFORM_Z, "", narrowInk, 1, 4736, 6780, 0, {}},
        {"raster ends below the ink", PLATFORM_C, "", ending, 1, 4800, 6780, 0, {}},
        {"A5 long edge first", PLATFORM_M, "", a5, 1, 4736, 3264, 90, {{"START_PAGE_CMD", "PAPER_SIZE=61 "}}},
        {"back of a long-edge sheet", PLATFORM_C, "", longEdge, 2, 4800, 6780, 180, {{"MACHINE_DUPLEX", ""}}},
        {"back of a short-edge sheet", PLATFORM_C, "", shortEdge, 2, 4800, 6780, 0, {{"MACHINE_DUPLEX", ""}}},
        {"two-sided header, Duplex=None", PLATFORM_C, "Duplex=None", longEdge, 2, 4800, 6780, 0, {}},
        {"one-sided header, Duplex=DuplexTumble", PLATFORM_C, "Duplex=DuplexTumble", InkFrom(0), 2, 4800, 6780, 0,
         {{"MACHINE_DUPLEX", ""}}},
        // An odd two-sided job's blank back is sent as its real pages are: same size, same image command.
        {"blank back", PLATFORM_C, "Duplex=DuplexNoTumble", InkFrom(0), 1, 4800, 6780, 0,
         {{"RASTER_IMAGE", "whole=4800x6780 raster=4800x768 "}}, true},
        {"blank back, 1200 x 600 dpi", PLATFORM_C, "Duplex=DuplexNoTumble", c1200, 1, 9600, 6780, 0,
         {{"RASTER_IMAGE", "whole=9600x6780 raster=9600x384 "}}, true},
        {"blank back", PLATFORM_Z, "Duplex=DuplexNoTumble", InkFrom(0), 1, 4736, 6780, 0, {}, true},
        {"ImageRotation", PLATFORM_Z, "ImageRotation=True", InkFrom(0), 1, 4736, 6780, 180, {}},
        // (500 - 20) / 72 x 600 = 4000; (700 - 20) / 72 x 600 = 5666.67, cut and rounded up to 8.
        {"custom size", PLATFORM_Z, "", custom, 1, 4000, 5672, 0, {{"PAGE_SPEC", "paper=0 "}}, false,
         "10 10 10 10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(PlatformName(c.platform)) + " " + c.what);
        PPDFixture printer;  // known by its "PlatForm" entry only
        printer.platform = std::string("PLATFORM_") + PlatformName(c.platform);
        printer.hwMargins = c.margins;
        const JobRun job = Print(PrinterJob(dir, printer, std::vector<RasterPage>(c.pages, c.page), c.options));
        EXPECT_EQ(job.decoded.pages.size(), c.pages + c.blankBack);
        if (job.decoded.pages.size() != c.pages + c.blankBack) continue;
        const DecodedPage& page = job.decoded.pages.back();
        const int negative = std::strstr(c.options, "NegativePrint") != nullptr;
        const int dpi1200 = std::strstr(c.options, "DPI1200") != nullptr;
        ASSERT_TRUE(page.complete);
        ASSERT_EQ(std::make_tuple(page.width, page.height, page.bitsPerDot), std::make_tuple(c.w, c.h, 1 + dpi1200));
        // The raster's grey page, before the turn.
        const unsigned sw = c.turn == 90 ? c.h : c.w, sh = c.turn == 90 ? c.w : c.h;
        std::vector<uint8_t> grey(std::size_t{sw} * sh, 0xFF);
        const unsigned lines = c.page.linesWritten < 0 ? c.page.height : c.page.linesWritten;
        for (unsigned y = 0; !c.blankBack && y < sh && y < lines; ++y) {
            const std::vector<uint8_t> line = PageLine(c.page, y);
            const std::size_t start = line.size() > sw ? (line.size() - sw) / 2 : 0;
            std::copy_n(line.begin() + start, std::min<std::size_t>(sw, line.size()),
                        grey.begin() + std::size_t{y} * sw);
        }
        const std::vector<uint8_t> dots =
            ExpectedDots(Turned(grey, sw, sh, c.turn), c.w, c.h, c.platform, negative, dpi1200);
        EXPECT_TRUE(PageBits(page) == dots) << "the page differs from the halftone";
        if (!c.page.pixel) {  // the reference agrees: no toner, or all
            EXPECT_EQ(std::all_of(dots.begin(), dots.end(), [](uint8_t b) { return b == 0; }), negative == 0);
        }
        const int dotCount =
            std::accumulate(dots.begin(), dots.end(), 0, [](int n, uint8_t b) { return n + __builtin_popcount(b); });
        const std::vector<std::string> coverage = job.Commands("COVERAGE");  // the page's own is the last
        if (c.platform == PLATFORM_Z) {
            ASSERT_FALSE(coverage.empty());
            EXPECT_NE(coverage.back().find("thousands=" + std::to_string(dotCount / 1000)), std::string::npos);
        }
        for (const auto& [command, fields] : c.listed) EXPECT_TRUE(job.Lists(command, fields)) << job.listing;
    }
}

// Sizes that cross the tiles and blocks the quarter turn works in (the pages
// above are whole tiles).
TEST(Rotation, FollowsThePlainRuleAcrossTileAndBlockEdges) {
    std::mt19937 rng(90);
    for (auto [W, H] : {std::make_pair(130u, 70u), std::make_pair(70u, 130u), std::make_pair(64u, 64u),
                        std::make_pair(9u, 1u), std::make_pair(1u, 9u), std::make_pair(200u, 137u)}) {
        std::vector<uint8_t> image(std::size_t{W} * H);
        for (auto& b : image) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> turned = image;
        ASSERT_EQ(Rotate90(turned.data(), W, H), 1);
        EXPECT_EQ(turned, Turned(image, W, H, 90)) << W << "x" << H;
        turned = image;
        ASSERT_EQ(Rotate180(reinterpret_cast<char*>(turned.data()), W, H), 1);
        EXPECT_EQ(turned, Turned(image, W, H, 180)) << W << "x" << H;
    }
}

}  // namespace
