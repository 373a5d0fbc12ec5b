// Cancellation (SIGTERM from CUPS) and the keep-alive filler, on a filter fed
// through a pipe as CUPS feeds it.
#include <csignal>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "support/job.h"

namespace {

// A small custom page: 144 pt square is a 1216 x 1200 image at 600 dpi; its
// raster lines are wider than that and are cut to their middle.
constexpr unsigned kWidth = 1400;
constexpr unsigned kSide = 1200;
constexpr std::size_t kHeaderBytes = 1796;  // one raster page header
constexpr std::size_t kSyncBytes = 4;

class Cancellation : public ::testing::Test {
protected:
    // `count` black pages for `platform`; the test feeds `raster` through a pipe.
    Job Invocation(const char* platform, int count) {
        PPDFixture f;
        f.platform = platform;
        RasterPage page;
        page.pageW = page.pageH = 144;
        page.width = kWidth;
        page.height = kSide;
        page.pixel = [](unsigned, unsigned) { return uint8_t{0}; };
        const Job job = PrinterJob(dir, f, std::vector<RasterPage>(count, page));
        raster = RasterBytes(job);
        return job;
    }
    static std::size_t PageStart(int page) {
        return kSyncBytes + (page - 1) * (kHeaderBytes + std::size_t{kWidth} * kSide);
    }
    // Feeds everything up to the middle of page 3 of 5, then cancels.
    JobRun CancelInPageThree(const char* platform) {
        FilterProcess filter(Invocation(platform, 5));
        const std::size_t middle = PageStart(3) + kHeaderBytes + std::size_t{kWidth} * kSide / 2;
        EXPECT_TRUE(filter.Feed(raster.data(), middle));
        EXPECT_TRUE(filter.WaitForLine("INFO: Printing page 3, 42% complete..."));
        filter.Signal(SIGTERM);
        return filter.Finish();
    }
    TempDir dir;
    std::string raster;
};

TEST_F(Cancellation, BeforeTheFirstHeaderNothingIsPrinted) {
    FilterProcess filter(Invocation("PLATFORM_Z", 1));
    ASSERT_TRUE(filter.WaitForTermHandler());  // in place while the raster is opened
    filter.Signal(SIGTERM);
    filter.Feed(raster.data(), raster.size());
    const JobRun run = filter.Finish();
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(run.HasLine("ERROR: No pages found!"));
}

TEST_F(Cancellation, PlatformZFinishesThePageBlankAndEndsTheDocument) {
    const JobRun run = CancelInPageThree("PLATFORM_Z");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(RunDecoder({"--check", "--quiet"}, run.out).status, 0);
    const DecodeResult decoded = DecodeStream(run.out.data(), run.out.size(), DecodeOptions{});
    ASSERT_EQ(decoded.pages.size(), 3u);
    const DecodedPage& third = decoded.pages[2];
    ASSERT_TRUE(third.complete);
    EXPECT_EQ(DotValue(third, 600, 100), 1);  // read before the cancel
    // The line whose read the cancel broke off, and every line below it, are
    // blank across the whole width.
    for (uint32_t y = kSide / 2; y < kSide; ++y)
        for (uint32_t x = 0; x < third.width; ++x) ASSERT_EQ(DotValue(third, x, y), 0) << x << "," << y;
    EXPECT_FALSE(run.HasLine("PAGE: 4 1"));
}

TEST_F(Cancellation, PlatformMEndsTheStreamAfterThePageStart) {
    const JobRun run = CancelInPageThree("PLATFORM_M");
    EXPECT_EQ(run.status, 0);
    DecodeResult decoded;
    const std::string lines = Listing(run.out, &decoded);
    ASSERT_EQ(decoded.pages.size(), 3u);
    EXPECT_TRUE(decoded.pages[1].complete);
    EXPECT_FALSE(decoded.pages[2].complete);
    const std::size_t lastStart = lines.rfind("START_PAGE_CMD");
    ASSERT_NE(lastStart, std::string::npos);
    // Only the decoder's complaints (a page and a document left open) follow.
    std::istringstream rest(lines.substr(lines.find('\n', lastStart) + 1));
    for (std::string line; std::getline(rest, line);)
        EXPECT_NE(line.find("!!"), std::string::npos) << line;
}

// A page whose raster takes about 25 seconds to arrive: the filler 00 00 goes
// out every 10 seconds between the page start and the image, never inside a
// command (the decoder would refuse the stream).
TEST_F(Cancellation, SlowPageGetsKeepAliveFillersBetweenCommands) {
    FilterProcess filter(Invocation("PLATFORM_C", 1));
    const std::size_t body = PageStart(1) + kHeaderBytes;
    ASSERT_TRUE(filter.Feed(raster.data(), body));
    const std::size_t rows = kSide, perStep = 48;
    for (std::size_t row = 0; row < rows; row += perStep) {
        ASSERT_TRUE(filter.Feed(raster.data() + body + row * kWidth, perStep * kWidth));
        usleep(1'000'000);  // 25 steps
    }
    const JobRun run = filter.Finish();
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(RunDecoder({"--check", "--quiet"}, run.out).status, 0);

    // Between the page start's host-use command (and its separator) and the
    // raster image command there are only zero bytes: one separator plus a
    // filler per tick.
    const std::string out(run.out.begin(), run.out.end());
    const std::size_t hostUse = out.find("\x0B\x04\x32\xBF");
    const std::size_t image = out.find("\x0B\x12\x0C", hostUse);
    ASSERT_TRUE(hostUse != std::string::npos && image != std::string::npos);
    const std::string between = out.substr(hostUse + 4, image - hostUse - 4);
    EXPECT_EQ(between.find_first_not_of('\0'), std::string::npos);
    const std::size_t fillers = (between.size() - 2) / 2;
    EXPECT_TRUE(fillers >= 2 && fillers <= 3) << fillers;
}

}  // namespace
