// Real jobs end to end: raster pages in, a printer stream out that the decoder
// accepts and whose pages are the halftone of the input, on every platform and
// on every path the grey page takes (blank paper, short and narrow rasters,
// negative print, 2-bit dots, turns).
#include <gtest/gtest.h>

#include <algorithm>

#include "common/platform.h"
#include "support/printed_job.h"

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

// A printer known by its "PlatForm" entry only.
PPDFixture Printer(Platform platform) {
    PPDFixture f;
    f.platform = std::string("PLATFORM_") + PlatformName(platform);
    return f;
}

bool AllZero(const std::vector<uint8_t>& bits) {
    return std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == 0; });
}

class PageConversion : public ::testing::Test {
protected:
    // Prints the pages; the decoder must accept the stream and find `count` pages.
    PrintedJob Print(const std::vector<RasterPage>& pages, const PPDFixture& ppd, std::size_t count,
                     const std::string& options = "") {
        PrintedJob job = PrintJob(Job(dir, ppd, pages, options));
        EXPECT_TRUE(job.checked) << job.checkOutput;
        EXPECT_EQ(job.decoded.pages.size(), count);
        return job;
    }
    TempDir dir;
};

// Lines of 4960 bytes keep their middle, bytes (4960 - w) / 2 onwards; narrow
// lines are padded white on the right, missing lines are white.
TEST_F(PageConversion, PagesAreTheHalftoneOfWhatTheRasterHolds) {
    RasterPage narrowShort = InkFrom(0), c1200 = InkFrom(0), narrowInk = InkFrom(5000), ending = InkFrom(1000);
    narrowShort.width = 3000;
    narrowShort.height = 5000;
    c1200.resX = 1200;
    c1200.width = 9920;
    narrowInk.width = 3000;
    ending.linesWritten = 4000;  // the file ends there
    const struct {
        const char* what;
        Platform platform;
        const char* options;
        RasterPage page;
        unsigned w, h;
        int negative, dpi1200;
        const char *command, *fields;  // a listing line the page start must show
    } cases[] = {
        {"A4", PLATFORM_C, "", InkFrom(0), 4800, 6780, 0, 0, "PAGE_SPEC", "res=60x60"},
        {"A4", PLATFORM_Z, "", InkFrom(0), 4736, 6780, 0, 0, "PAGE_SPEC", "paper=1 "},
        {"A4", PLATFORM_M, "", InkFrom(0), 4736, 6784, 0, 0, "START_PAGE_CMD", "VIDEO_DEPTH=1 "},
        {"narrow and short", PLATFORM_Z, "", narrowShort, 4736, 6780, 0, 0, "PAGE_SPEC", ""},
        {"1200 x 600 dpi", PLATFORM_C, "", c1200, 9600, 6780, 0, 0, "PAGE_SPEC", "res=120x60"},
        {"2-bit dots", PLATFORM_M, "DPI1200=true", InkFrom(0), 4736, 6784, 0, 1, "START_PAGE_CMD",
         "IMG_WIDTH=9472 IMG_HEIGHT=6784 VIDEO_DEPTH=2 "},
        {"blank", PLATFORM_C, "", RasterPage{}, 4800, 6780, 0, 0, "", ""},
        {"blank", PLATFORM_Z, "", RasterPage{}, 4736, 6780, 0, 0, "", ""},
        {"blank", PLATFORM_M, "", RasterPage{}, 4736, 6784, 0, 0, "", ""},
        {"blank, 2-bit", PLATFORM_M, "DPI1200", RasterPage{}, 4736, 6784, 0, 1, "", ""},
        {"blank, negative", PLATFORM_M, "NegativePrint", RasterPage{}, 4736, 6784, 1, 0, "", ""},
        {"blank, negative, 2-bit", PLATFORM_M, "NegativePrint DPI1200", RasterPage{}, 4736, 6784, 1, 1, "", ""},
        {"blank top", PLATFORM_Z, "", InkFrom(3000), 4736, 6780, 0, 0, "", ""},
        {"narrow, blank top", PLATFORM_Z, "", narrowInk, 4736, 6780, 0, 0, "", ""},
        {"raster ends below the ink", PLATFORM_C, "", ending, 4800, 6780, 0, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(PlatformName(c.platform)) + " " + c.what);
        const PrintedJob job = Print({c.page}, Printer(c.platform), 1, c.options);
        if (job.decoded.pages.size() != 1) continue;
        const DecodedPage& page = job.decoded.pages[0];
        ASSERT_TRUE(page.complete);
        ASSERT_EQ(std::make_tuple(page.width, page.height, page.bitsPerDot), std::make_tuple(c.w, c.h, 1 + c.dpi1200));
        const std::vector<uint8_t> dots =
            ExpectedDots(ExpectedGrey(c.page, c.w, c.h), c.w, c.h, c.platform, c.negative, c.dpi1200);
        EXPECT_TRUE(PageBits(page) == dots) << "the page differs from the halftone";
        if (!c.page.pixel) {  // the reference agrees: no toner, or all
            EXPECT_EQ(AllZero(dots), c.negative == 0);
        }
        if (*c.command) {
            EXPECT_TRUE(job.Lists(c.command, c.fields)) << job.listing;
        }
    }
}

TEST_F(PageConversion, CustomSizeIsSizedInsideThePPDMargins) {
    PPDFixture ppd = Printer(PLATFORM_Z);
    ppd.hwMargins = "10 10 10 10";
    RasterPage page;
    page.pageW = 500;
    page.pageH = 700;
    page.width = 4166;
    page.height = 5833;
    const PrintedJob job = Print({page}, ppd, 1);
    ASSERT_EQ(job.decoded.pages.size(), 1u);
    // (500 - 20) / 72 x 600 = 4000; (700 - 20) / 72 x 600 = 5666.67, cut and rounded up to 8.
    EXPECT_EQ(job.decoded.pages[0].width, 4000u);
    EXPECT_EQ(job.decoded.pages[0].height, 5672u);
    EXPECT_TRUE(job.Lists("PAGE_SPEC", "paper=0 ")) << job.listing;

    // Margins that leave nothing to print.
    ppd.hwMargins = "100 100 100 100";
    page.pageW = 150;
    page.pageH = 300;
    page.width = 1250;
    page.height = 100;
    const PrintedJob refused = PrintJob(Job(dir, ppd, {page}));
    EXPECT_TRUE(refused.run.HasLine("ERROR: Page 1 of 150 x 300 points cannot be printed: its margins "
                                    "leave no printable area"))
        << refused.run.err;
    EXPECT_TRUE(refused.decoded.pages.empty() || !refused.decoded.pages[0].complete);
}

TEST_F(PageConversion, A5FedLongEdgeFirstIsTurnedOnPlatformM) {
    RasterPage page = InkFrom(0);
    page.pageW = 421;  // how an A5 page fed long edge first arrives
    page.pageH = 595;
    page.width = 3508;
    page.height = 4958;
    const PrintedJob job = Print({page}, Printer(PLATFORM_M), 1);
    ASSERT_EQ(job.decoded.pages.size(), 1u);
    EXPECT_TRUE(job.Lists("START_PAGE_CMD", "PAPER_SIZE=61 ")) << job.listing;
    EXPECT_TRUE(job.Lists("START_PAGE_CMD", "IMG_WIDTH=4736 IMG_HEIGHT=3264 ")) << job.listing;
    // The 3264 x 4736 image turned a quarter clockwise: 4736 x 3264, and the
    // black block at the source's top left lands at the top right.
    const DecodedPage& printed = job.decoded.pages[0];
    ASSERT_EQ(printed.width, 4736u);
    ASSERT_EQ(printed.height, 3264u);
    EXPECT_EQ(DotValue(printed, 4735 - 100, 100), 1);
    EXPECT_EQ(DotValue(printed, 100, 100), 0);
}

// Long-edge duplex turns the even pages upside down; an odd job gets a blank
// back, and the machine duplex command follows pages 1 and 3 and the
// document end of the 3 pages.
TEST_F(PageConversion, LongEdgeDuplexTurnsEvenPagesAndAddsABlankBack) {
    RasterPage page = InkFrom(0);
    page.duplex = true;
    const PrintedJob job = Print({page, page, page}, Printer(PLATFORM_C), 4);
    ASSERT_EQ(job.PageOrder(), (std::vector<int>{1, 2, 3, 4}));
    for (const DecodedPage& printed : job.decoded.pages) {
        if (printed.pageNum == 4) continue;
        const bool even = printed.pageNum % 2 == 0;
        // Black block near the top left on odd pages, at the bottom right on even ones.
        EXPECT_EQ(DotValue(printed, 100, 100), even ? 0 : 1) << "page " << printed.pageNum;
        EXPECT_EQ(DotValue(printed, 4799 - 100, 6779 - 100), even ? 1 : 0) << "page " << printed.pageNum;
    }
    EXPECT_TRUE(AllZero(PageBits(job.decoded.pages[3])));
    EXPECT_EQ(job.Commands("MACHINE_DUPLEX").size(), 3u) << job.listing.substr(0, 3000);
}

// A print server without a host name owns the job with an empty value: the
// envelope stays whole and the pages print.
TEST_F(PageConversion, EmptyHostNameOwnsTheJobWithAnEmptyValue) {
    RasterPage page = InkFrom(0);
    page.height = 600;
    FilterInvocation inv = Job(dir, Printer(PLATFORM_Z), {page, page});
    inv.emptyHostName = true;
    const PrintedJob job = PrintJob(inv);
    if (job.run.status == 125) GTEST_SKIP() << "no UTS namespace here";
    EXPECT_EQ(job.run.status, 0) << job.run.err;
    EXPECT_TRUE(job.checked) << job.checkOutput;
    const std::string out(job.run.out.begin(), job.run.out.end());
    EXPECT_NE(out.find("@PJL JOBOWNER=\r\n@PJL ENTER LANGUAGE"), std::string::npos);
    EXPECT_EQ(job.run.CountLinesStartingWith("ERROR:"), 0);
    EXPECT_EQ(job.decoded.pages.size(), 2u);
}

}  // namespace
