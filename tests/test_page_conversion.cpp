// Real jobs end to end: raster pages in, a printer stream out that the decoder
// accepts and whose pages are the halftone of the input, on every platform.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/platform.h"
#include "support/printed_job.h"

namespace {

// Grey content with structure in both directions: a ramp across, bars down,
// and a black block at the top left that shows every turn.
uint8_t Content(unsigned x, unsigned y) {
    if (x < 400 && y < 300) return 0;
    if ((y / 64) % 5 == 0) return static_cast<uint8_t>((x * 7 + y) & 0xFF);
    return static_cast<uint8_t>((x / 19) & 0xFF);
}

RasterPage A4() {
    RasterPage p;
    p.pixel = Content;
    return p;
}

PPDFixture Platform(const char* name) {
    PPDFixture f;
    f.platform = name;
    return f;
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

// The decoded page is the reference halftone of what the filter should read from the raster.
void ExpectHalftoneOf(const DecodedPage& page, const RasterPage& raster, unsigned w, unsigned h, int platform,
                      int dpi1200 = 0) {
    ASSERT_TRUE(page.complete);
    ASSERT_EQ(page.width, w);
    ASSERT_EQ(page.height, h);
    EXPECT_TRUE(PageBits(page) == ExpectedDots(ExpectedGrey(raster, w, h), w, h, platform, 0, dpi1200))
        << "page " << page.pageNum << " differs from the halftone";
}

TEST_F(PageConversion, A4PagesAreTheHalftoneOfTheirMiddleOnEveryPlatform) {
    // Lines of 4960 bytes keep their middle: bytes (4960 - w) / 2 onwards.
    for (auto [name, platform, w, h] : {std::make_tuple("PLATFORM_C", PLATFORM_C, 4800u, 6780u),
                                        std::make_tuple("PLATFORM_Z", PLATFORM_Z, 4736u, 6780u),
                                        std::make_tuple("PLATFORM_M", PLATFORM_M, 4736u, 6784u)}) {
        SCOPED_TRACE(name);
        const PrintedJob job = Print({A4(), A4()}, Platform(name), 2);
        EXPECT_EQ(job.run.status, 0);
        for (const DecodedPage& printed : job.decoded.pages) ExpectHalftoneOf(printed, A4(), w, h, platform);
    }
}

TEST_F(PageConversion, NarrowAndShortRastersArePaddedWhite) {
    RasterPage page = A4();
    page.width = 3000;
    page.height = 5000;
    const PrintedJob job = Print({page}, Platform("PLATFORM_Z"), 1);
    ASSERT_EQ(job.decoded.pages.size(), 1u);
    const std::vector<uint8_t> grey = ExpectedGrey(page, 4736, 6780);
    EXPECT_EQ(grey[4735], 0xFF);                      // right of the raster
    EXPECT_EQ(grey[std::size_t{5000} * 4736], 0xFF);  // below it
    ExpectHalftoneOf(job.decoded.pages[0], page, 4736, 6780, PLATFORM_Z);
}

TEST_F(PageConversion, CustomSizeIsSizedInsideThePPDMargins) {
    PPDFixture ppd = Platform("PLATFORM_Z");
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

TEST_F(PageConversion, PlatformCAt1200By600DoublesTheWidth) {
    RasterPage page = A4();
    page.resX = 1200;
    page.width = 9920;
    const PrintedJob job = Print({page}, Platform("PLATFORM_C"), 1);
    ASSERT_EQ(job.decoded.pages.size(), 1u);
    EXPECT_TRUE(job.Lists("PAGE_SPEC", "res=120x60")) << job.listing;
    ExpectHalftoneOf(job.decoded.pages[0], page, 9600, 6780, PLATFORM_C);
}

TEST_F(PageConversion, PlatformMWithDPI1200PrintsTwoBitDots) {
    const PrintedJob job = Print({A4()}, Platform("PLATFORM_M"), 1, "DPI1200=true");
    ASSERT_EQ(job.decoded.pages.size(), 1u);
    EXPECT_EQ(job.decoded.pages[0].bitsPerDot, 2);
    EXPECT_TRUE(job.Lists("START_PAGE_CMD", "IMG_WIDTH=9472 ")) << job.listing;  // in bits
    EXPECT_TRUE(job.Lists("START_PAGE_CMD", "VIDEO_DEPTH=2 ")) << job.listing;
    ExpectHalftoneOf(job.decoded.pages[0], A4(), 4736, 6784, PLATFORM_M, 1);
}

TEST_F(PageConversion, A5FedLongEdgeFirstIsTurnedOnPlatformM) {
    RasterPage page = A4();
    page.pageW = 421;  // how an A5 page fed long edge first arrives
    page.pageH = 595;
    page.width = 3508;
    page.height = 4958;
    const PrintedJob job = Print({page}, Platform("PLATFORM_M"), 1);
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

TEST_F(PageConversion, LongEdgeDuplexTurnsEvenPagesUpsideDown) {
    RasterPage page = A4();
    page.duplex = true;
    const PrintedJob job = Print({page, page, page, page}, Platform("PLATFORM_C"), 4);
    for (const DecodedPage& printed : job.decoded.pages) {
        const bool even = printed.pageNum % 2 == 0;
        // Black block near the top left on odd pages, at the bottom right on even ones.
        EXPECT_EQ(DotValue(printed, 100, 100), even ? 0 : 1) << "page " << printed.pageNum;
        EXPECT_EQ(DotValue(printed, 4799 - 100, 6779 - 100), even ? 1 : 0) << "page " << printed.pageNum;
    }
    EXPECT_TRUE(job.run.HasLine("DEBUG: ##page is 2, rotate180 is 1"));
    EXPECT_TRUE(job.run.HasLine("DEBUG: ##page is 3, rotate180 is 0"));
}

TEST_F(PageConversion, OddDuplexJobGetsABlankBackAndTheMachineDuplexCommand) {
    RasterPage page = A4();
    page.duplex = true;
    const PrintedJob job = Print({page, page, page}, Platform("PLATFORM_C"), 4);
    ASSERT_EQ(job.PageOrder(), (std::vector<int>{1, 2, 3, 4}));
    const std::vector<uint8_t> bits = PageBits(job.decoded.pages[3]);
    EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == 0; }));
    // After pages 1 and 3, and once more at the document end (3 pages).
    EXPECT_EQ(job.Commands("MACHINE_DUPLEX").size(), 3u) << job.listing.substr(0, 3000);
}

// The pages still go out, but the job did not print as sent: the failure goes
// to CUPS, never into the printer stream.
TEST_F(PageConversion, FailingDocumentStartIsReportedAndFailsTheJob) {
    RasterPage page = A4();
    page.height = 600;
    FilterInvocation inv = Job(dir, Platform("PLATFORM_Z"), {page, page});
    inv.emptyHostName = true;  // the JOBOWNER line cannot be sent
    const FilterRun run = RunFilter(inv);
    if (run.status == 125) GTEST_SKIP() << "no UTS namespace here";
    EXPECT_EQ(run.status, 1);
    const std::string out(run.out.begin(), run.out.end());
    EXPECT_EQ(out.find("Fail"), std::string::npos);
    EXPECT_TRUE(run.HasLine("ERROR: main() :: Start doc Fail ! ")) << run.err;
    EXPECT_TRUE(run.HasLine("ERROR: Prnt_StartDoc() :: send pjlHostName Fail 0 ==  ")) << run.err;
    EXPECT_EQ(run.CountLinesStartingWith("ERROR:"), 2);
    EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), 2);
    EXPECT_FALSE(run.HasLine("INFO: Ready to print."));
}

}  // namespace
