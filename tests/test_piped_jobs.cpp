// Jobs fed through a pipe as CUPS feeds them: the same printer stream whether
// the pages are imaged on worker threads or on the job's own thread
// (NORVEX_THREADS=1), a renderer that stalls, cancellation (SIGTERM from CUPS)
// and the keep-alive filler.
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/job.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Small custom pages: 144 pt square is a 1216 x 1200 image at 600 dpi (five
// 256-line bands on PLATFORM_Z); their raster lines are wider than that and
// are cut to their middle.
constexpr unsigned kWidth = 1400;
constexpr unsigned kSide = 1200;
constexpr std::size_t kHeaderBytes = 1796;  // one raster page header
constexpr std::size_t kSyncBytes = 4;

RasterPage Page(const std::string& kind) {
    RasterPage page;
    page.pageW = page.pageH = 144;
    page.width = kWidth;
    page.height = kSide;
    if (kind == "black")
        page.pixel = [](unsigned, unsigned) { return uint8_t{0}; };
    else if (kind == "text")  // strokes on white, as lines of type
        page.pixel = [](unsigned x, unsigned y) {
            return static_cast<uint8_t>((y % 40 < 12 && (x * 7 + y) % 23 < 9) ? 0 : 255);
        };
    else if (kind == "photo")  // every grey level, with some noise
        page.pixel = [](unsigned x, unsigned y) {
            return static_cast<uint8_t>((x / 5 + y / 7 + ((x * 2654435761u) >> 28)) & 0xFF);
        };
    return page;  // blank
}

std::size_t PageStart(int page) { return kSyncBytes + (page - 1) * (kHeaderBytes + std::size_t{kWidth} * kSide); }

// The stream without its PJL JOBTIME line, which carries the minute of the
// run. The jobs compared run with the keep-alive timer blocked, so every other
// byte, every 00 00 separator included, is compared as the printer gets it.
Bytes WithoutJobTime(Bytes stream) {
    const std::string text(stream.begin(), stream.end());
    const std::size_t at = text.find("@PJL JOBTIME="), end = text.find("\r\n", at);
    if (end != std::string::npos) stream.erase(stream.begin() + at, stream.begin() + end + 2);
    return stream;
}

class PipedJob : public ::testing::Test {
protected:
    // The job on `threads` ("": as many as the machine has); the test feeds
    // `raster` through a pipe.
    Job Invocation(const char* platform, const std::vector<RasterPage>& pages, const char* threads = "") {
        PPDFixture f;
        f.platform = platform;
        Job job = PrinterJob(dir, f, pages);
        if (*threads) job.env.push_back(std::string("NORVEX_THREADS=") + threads);
        raster = RasterBytes(job);
        return job;
    }
    // The job with one thread and with three (more than this machine may
    // have: bands then queue for the workers), both fed at once. Returns the
    // run on threads (`parallelEnv` is added to its environment).
    JobRun ExpectSameStream(const char* platform, const std::vector<RasterPage>& pages,
                            const std::vector<std::string>& parallelEnv = {}) {
        Job sequential = Invocation(platform, pages, "1");
        sequential.noKeepAlive = true;
        Job parallel = sequential;
        parallel.env.back() = "NORVEX_THREADS=3";
        parallel.env.insert(parallel.env.end(), parallelEnv.begin(), parallelEnv.end());
        FilterProcess one(sequential), three(parallel);
        EXPECT_TRUE(one.Feed(raster.data(), raster.size()));
        EXPECT_TRUE(three.Feed(raster.data(), raster.size()));
        const JobRun a = one.Finish(), b = three.Finish();
        EXPECT_EQ(a.status, 0) << a.err;
        EXPECT_EQ(b.status, 0) << b.err;
        const Bytes expected = WithoutJobTime(a.out);
        EXPECT_GT(expected.size(), a.out.size() * 9 / 10);  // the pages are compared
        EXPECT_EQ(RunDecoder({"--check", "--quiet"}, a.out).status, 0);
        EXPECT_TRUE(WithoutJobTime(b.out) == expected) << platform << " " << pages.size() << " pages";
        return b;
    }
    // Five black pages fed up to the middle of page 3, then cancelled.
    JobRun CancelInPageThree(const char* platform, const char* threads) {
        Job job = Invocation(platform, std::vector<RasterPage>(5, Page("black")), threads);
        job.noKeepAlive = true;
        // Rows 0 to 639 and half of row 640: the progress line of row 640 comes
        // after every complete row was read, and the filter then waits for the
        // rest of the row, so the cancel always falls on the same row.
        const std::size_t middle = PageStart(3) + kHeaderBytes + 640 * kWidth + kWidth / 2;
        FilterProcess filter(job);
        EXPECT_TRUE(filter.Feed(raster.data(), middle));
        EXPECT_TRUE(filter.WaitForLine("INFO: Printing page 3, 53% complete..."));
        filter.Signal(SIGTERM);
        const JobRun run = filter.Finish();
        EXPECT_EQ(run.status, 0) << run.err;
        return run;
    }
    // The cancelled job on one thread and on three: the same stream. Returns the run on threads.
    JobRun CancelInPageThree(const char* platform) {
        const JobRun sequential = CancelInPageThree(platform, "1"), threaded = CancelInPageThree(platform, "3");
        EXPECT_TRUE(WithoutJobTime(threaded.out) == WithoutJobTime(sequential.out)) << platform;
        return threaded;
    }
    TempDir dir;
    std::string raster;
};
using ParallelEquality = PipedJob;
using Cancellation = PipedJob;

// The other printing functions (turns, copies, manual duplex, 1200 dpi, ...)
// are compared on two threads by fuzz_pipeline over the committed job seeds.
TEST_F(ParallelEquality, EightPagesOnThreeThreads) {
    std::vector<RasterPage> pages;
    for (int i = 0; i < 8; ++i) pages.push_back(Page(i % 3 == 0 ? "text" : i % 3 == 1 ? "photo" : "blank"));
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"}) ExpectSameStream(platform, pages);
}

TEST_F(ParallelEquality, NoThreadToBeHadLeavesTheJobSequential) {
    // The sanitizers want their runtime first; the preloaded library comes before it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::vector<std::string> env = {
        std::string("LD_PRELOAD=") + NORVEX_NO_THREADS_LIB,
        std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"};
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"}) {
        const JobRun run = ExpectSameStream(platform, {Page("text"), Page("photo"), Page("blank")}, env);
        EXPECT_NE(run.err.find("DEBUG: No worker thread could be started"), std::string::npos) << platform;
    }
}

// A renderer that stops in the middle of a line of page 2: page 1 reaches the
// printer whole (its page end included) while page 2's input waits, on one
// thread and on several.
TEST_F(ParallelEquality, PageOneGoesOutWhilePageTwoIsStalled) {
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"})
        for (const char* threads : {"1", "3"}) {
            SCOPED_TRACE(testing::Message() << platform << ", NORVEX_THREADS=" << threads);
            FilterProcess filter(Invocation(platform, {Page("photo"), Page("text")}, threads));
            const std::size_t stall = PageStart(2) + kHeaderBytes + 600 * kWidth + kWidth / 2;
            ASSERT_TRUE(filter.Feed(raster.data(), stall));
            EXPECT_TRUE(filter.WaitForOutput([](const std::vector<uint8_t>& out) {
                const DecodeResult d = DecodeStream(out.data(), out.size(), DecodeOptions{});
                return !d.pages.empty() && d.pages[0].complete;
            })) << "page 1 waited for page 2's input";
            ASSERT_TRUE(filter.Feed(raster.data() + stall, raster.size() - stall));
            const JobRun run = filter.Finish();
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(RunDecoder({"--check", "--quiet"}, run.out).status, 0);
        }
}

TEST_F(Cancellation, BeforeTheFirstHeaderNothingIsPrinted) {
    FilterProcess filter(Invocation("PLATFORM_Z", {Page("black")}));
    ASSERT_TRUE(filter.WaitForTermHandler());  // in place while the raster is opened
    filter.Signal(SIGTERM);
    filter.Feed(raster.data(), raster.size());
    const JobRun run = filter.Finish();
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(run.HasLine("ERROR: No pages found!"));
}

// PLATFORM_C and PLATFORM_Z finish page 3 blank from the line the cancel broke
// off and end the document; PLATFORM_M ends the stream after the page start.
TEST_F(Cancellation, InTheMiddleOfPageThree) {
    for (const std::string platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"}) {
        SCOPED_TRACE(platform);
        const JobRun run = CancelInPageThree(platform.c_str());
        DecodeResult decoded;
        const std::string lines = Listing(run.out, &decoded);
        ASSERT_EQ(decoded.pages.size(), 3u);
        EXPECT_TRUE(decoded.pages[1].complete);
        EXPECT_FALSE(run.HasLine("PAGE: 4 1"));
        const DecodedPage& third = decoded.pages[2];
        if (platform != "PLATFORM_M") {
            EXPECT_TRUE(decoded.ok());
            ASSERT_TRUE(third.complete);
            EXPECT_EQ(DotValue(third, 600, 639), 1);  // the last line read before the cancel
            for (uint32_t y = 640; y < third.height; ++y)
                for (uint32_t x = 0; x < third.width; ++x) ASSERT_EQ(DotValue(third, x, y), 0) << x << "," << y;
            continue;
        }
        EXPECT_FALSE(third.complete);
        const std::size_t lastStart = lines.rfind("START_PAGE_CMD");
        ASSERT_NE(lastStart, std::string::npos);
        // Only the decoder's complaints (a page and a document left open) follow.
        std::istringstream rest(lines.substr(lines.find('\n', lastStart) + 1));
        for (std::string line; std::getline(rest, line);) EXPECT_NE(line.find("!!"), std::string::npos) << line;
    }
}

// A page whose raster takes about 25 seconds to arrive: the filler 00 00 goes
// out every 10 seconds between the page start and the image, never inside a
// command (the decoder would refuse the stream).
TEST_F(Cancellation, SlowPageGetsKeepAliveFillersBetweenCommands) {
    FilterProcess filter(Invocation("PLATFORM_C", {Page("black")}));
    const std::size_t body = PageStart(1) + kHeaderBytes;
    ASSERT_TRUE(filter.Feed(raster.data(), body));
    for (std::size_t row = 0; row < kSide; row += 48) {
        ASSERT_TRUE(filter.Feed(raster.data() + body + row * kWidth, 48 * kWidth));
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
