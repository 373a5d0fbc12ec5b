// Blank paper in the raster: blank pages, pages blank down to their first ink
// and rasters that end early print exactly as their lines say, on every path
// the grey page takes (negative print, 2-bit dots).
#include <gtest/gtest.h>

#include <algorithm>

#include "common/platform.h"
#include "support/filter_runner.h"
#include "support/ppd_fixture.h"
#include "support/printed_job.h"
#include "support/raster_writer.h"

namespace {

// Ink from row `top` down: a ramp across, bars and a black block.
RasterPage InkFrom(unsigned top) {
    RasterPage page = RasterPage{};
    page.pixel = [top](unsigned x, unsigned y) -> uint8_t {
        if (y < top) return 0xFF;
        if (x < 400 && y < top + 300) return 0;
        return static_cast<uint8_t>(((x / 19) + (y / 64) * 31) & 0xFF);
    };
    return page;
}

bool AllBytesAre(const std::vector<uint8_t>& bits, uint8_t value) {
    return !bits.empty() && std::all_of(bits.begin(), bits.end(), [value](uint8_t b) { return b == value; });
}

class BlankRows : public ::testing::Test {
protected:
    PrintedJob Print(const std::vector<RasterPage>& pages, const char* platform, const std::string& options = "") {
        PPDFixture ppd;
        ppd.platform = platform;
        FilterInvocation inv;
        inv.ppd = WritePPD(dir.File("printer.ppd"), ppd);
        inv.args[4] = options;
        inv.stdinPath = dir.File("job.ras");
        EXPECT_TRUE(WriteRaster(inv.stdinPath, pages));
        return PrintJob(inv);
    }
    TempDir dir;
};

TEST_F(BlankRows, BlankPagePrintsNoDotOnEveryPlatform) {
    struct Case {
        const char* platform;
        const char* options;
        unsigned w, h, bitsPerDot;
    };
    for (const Case& c : {Case{"PLATFORM_C", "", 4800, 6780, 1}, Case{"PLATFORM_Z", "", 4736, 6780, 1},
                          Case{"PLATFORM_M", "", 4736, 6784, 1}, Case{"PLATFORM_M", "DPI1200", 4736, 6784, 2}}) {
        SCOPED_TRACE(std::string(c.platform) + " " + c.options);
        const PrintedJob job = Print({RasterPage{}}, c.platform, c.options);
        ASSERT_TRUE(job.checked) << job.checkOutput;
        ASSERT_EQ(job.decoded.pages.size(), 1u);
        const DecodedPage& page = job.decoded.pages[0];
        ASSERT_TRUE(page.complete);
        EXPECT_EQ(page.width, c.w);
        EXPECT_EQ(page.height, c.h);
        EXPECT_EQ(page.bitsPerDot, static_cast<int>(c.bitsPerDot));
        EXPECT_TRUE(AllBytesAre(PageBits(page), 0x00));
    }
}

TEST_F(BlankRows, BlankPageInNegativePrintIsAllToner) {
    for (const char* options : {"NegativePrint", "NegativePrint DPI1200"}) {
        SCOPED_TRACE(options);
        const PrintedJob job = Print({RasterPage{}}, "PLATFORM_M", options);
        ASSERT_TRUE(job.checked) << job.checkOutput;
        ASSERT_EQ(job.decoded.pages.size(), 1u);
        const int dpi1200 = std::string(options).find("DPI1200") != std::string::npos ? 1 : 0;
        const std::vector<uint8_t> white(std::size_t{4736} * 6784, 0xFF);
        const std::vector<uint8_t> dots = ExpectedDots(white, 4736, 6784, PLATFORM_M, 1, dpi1200);
        EXPECT_TRUE(AllBytesAre(dots, 0xFF));  // the reference agrees: every dot full toner
        EXPECT_TRUE(PageBits(job.decoded.pages[0]) == dots);
    }
}

TEST_F(BlankRows, InkBelowABlankTopKeepsTheTopWhite) {
    RasterPage wide = InkFrom(3000);
    RasterPage narrow = InkFrom(5000);
    narrow.width = 3000;  // rows padded white on the right
    const PrintedJob job = Print({wide, narrow}, "PLATFORM_Z");
    ASSERT_TRUE(job.checked) << job.checkOutput;
    ASSERT_EQ(job.decoded.pages.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const RasterPage& page = i == 0 ? wide : narrow;
        const std::vector<uint8_t> dots = ExpectedDots(ExpectedGrey(page, 4736, 6780), 4736, 6780, PLATFORM_Z);
        EXPECT_TRUE(PageBits(job.decoded.pages[i]) == dots) << "page " << i + 1;
    }
}

TEST_F(BlankRows, RasterEndingAfterItsInkLeavesTheRestWhite) {
    RasterPage page = InkFrom(1000);
    page.linesWritten = 4000;  // the file ends there
    const PrintedJob job = Print({page}, "PLATFORM_C");
    ASSERT_TRUE(job.checked) << job.checkOutput;
    ASSERT_EQ(job.decoded.pages.size(), 1u);
    const std::vector<uint8_t> grey = ExpectedGrey(page, 4800, 6780);
    EXPECT_EQ(grey[std::size_t{4000} * 4800 + 10], 0xFF);
    EXPECT_TRUE(PageBits(job.decoded.pages[0]) == ExpectedDots(grey, 4800, 6780, PLATFORM_C));
}

}  // namespace
