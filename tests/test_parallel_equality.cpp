// The printer stream of a job is the same byte for byte whether its pages are
// imaged on worker threads or on the job's own thread (NORVEX_THREADS=1), over
// every platform and the features that turn, repeat or reorder pages.
#include <csignal>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/job.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The stream without its PJL JOBTIME line, which carries the minute of the
// run. The jobs run with the keep-alive timer blocked, so every other byte,
// every 00 00 separator included, is compared as the printer gets it.
Bytes WithoutJobTime(Bytes stream) {
    const std::string text(stream.begin(), stream.end());
    const std::size_t at = text.find("@PJL JOBTIME="), end = text.find("\r\n", at);
    if (end != std::string::npos) stream.erase(stream.begin() + at, stream.begin() + end + 2);
    return stream;
}

// Small pages (144 pt square: a 1216 x 1200 image at 600 dpi, five 256-line
// bands on PLATFORM_Z) of three kinds.
RasterPage Page(const std::string& kind) {
    RasterPage page;
    page.pageW = page.pageH = 144;
    page.width = page.height = 1200;
    if (kind == "text")  // strokes on white, as lines of type
        page.pixel = [](unsigned x, unsigned y) {
            return static_cast<uint8_t>((y % 40 < 12 && (x * 7 + y) % 23 < 9) ? 0 : 255);
        };
    else if (kind == "photo")  // every grey level, with some noise
        page.pixel = [](unsigned x, unsigned y) {
            return static_cast<uint8_t>((x / 5 + y / 7 + ((x * 2654435761u) >> 28)) & 0xFF);
        };
    return page;  // blank
}

std::vector<RasterPage> Pages(int count) {
    static const char* const kinds[] = {"text", "photo", "blank"};
    std::vector<RasterPage> pages;
    for (int i = 0; i < count; ++i) pages.push_back(Page(kinds[i % 3]));
    return pages;
}

class ParallelEquality : public ::testing::Test {
protected:
    static PPDFixture Printer(const char* platform) {
        PPDFixture f;
        f.platform = platform;
        f.supportManualDuplex = "True";
        f.manualDuplexText = "Turn the pages over";
        return f;
    }
    // The job with one thread and with three (more than this machine may
    // have: bands then queue for the workers), both runs at once (a manual
    // duplex job pauses for the user).
    // Returns the run on threads (`parallelEnv` is added to its environment).
    JobRun ExpectSameStream(const char* platform, const std::vector<RasterPage>& pages,
                               const std::string& options = "", const char* copies = "1",
                               const std::vector<std::string>& parallelEnv = {}) {
        Job inv = PrinterJob(dir, Printer(platform), pages, options);
        inv.args[3] = copies;
        inv.noKeepAlive = true;
        const std::string raster = RasterBytes(inv);
        Job parallel = inv;
        inv.env.push_back("NORVEX_THREADS=1");
        parallel.env.push_back("NORVEX_THREADS=3");
        parallel.env.insert(parallel.env.end(), parallelEnv.begin(), parallelEnv.end());
        FilterProcess one(inv), three(parallel);
        EXPECT_TRUE(one.Feed(raster.data(), raster.size()));
        EXPECT_TRUE(three.Feed(raster.data(), raster.size()));
        const JobRun a = one.Finish(), b = three.Finish();
        EXPECT_EQ(a.status, 0) << a.err;
        EXPECT_EQ(b.status, 0) << b.err;
        const Bytes sequential = WithoutJobTime(a.out);
        EXPECT_GT(sequential.size(), a.out.size() * 9 / 10);  // the pages are compared
        EXPECT_EQ(RunDecoder({"--check", "--quiet"}, a.out).status, 0);
        EXPECT_TRUE(WithoutJobTime(b.out) == sequential)
            << platform << " " << pages.size() << " pages, options \"" << options << "\"";
        return b;
    }
    // Fed through a pipe up to the middle of page 3 of 5, then cancelled.
    Bytes CancelInPageThree(const char* platform, const char* threads) {
        RasterPage page = Page("photo");
        Job inv = PrinterJob(dir, Printer(platform), std::vector<RasterPage>(5, page));
        inv.env.push_back(std::string("NORVEX_THREADS=") + threads);
        inv.noKeepAlive = true;
        const std::string raster = RasterBytes(inv);
        constexpr std::size_t kHeaderBytes = 1796, kSyncBytes = 4, kPageBytes = 1200 * 1200;
        // Rows 0 to 639 and half of row 640: the progress line of row 640 comes
        // after every complete row was read, and the filter then waits for the
        // rest of the row, so the cancel always falls on the same row.
        const std::size_t middle =
            kSyncBytes + 2 * (kHeaderBytes + kPageBytes) + kHeaderBytes + 640 * 1200 + 600;
        FilterProcess filter(inv);
        EXPECT_TRUE(filter.Feed(raster.data(), middle));
        EXPECT_TRUE(filter.WaitForLine("INFO: Printing page 3, 53% complete..."));
        filter.Signal(SIGTERM);
        const JobRun run = filter.Finish();
        EXPECT_EQ(run.status, 0) << run.err;
        return WithoutJobTime(run.out);
    }
    TempDir dir;
};

TEST_F(ParallelEquality, PlainJobsOfOneThreeAndEightPages) {
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"})
        for (int pages : {1, 3, 8}) ExpectSameStream(platform, Pages(pages));
}

TEST_F(ParallelEquality, TurnedRepeatedAndReorderedPages) {
    std::vector<RasterPage> duplex = Pages(3);
    for (RasterPage& page : duplex) page.duplex = true;  // long edge: the half turn
    RasterPage a5 = Page("photo");  // A5 fed long edge first: the quarter turn
    a5.pageW = 421;
    a5.pageH = 595;
    for (const char* platform : {"PLATFORM_Z", "PLATFORM_M"})
        ExpectSameStream(platform, Pages(3), "ManualDuplex=True");
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"}) {
        ExpectSameStream(platform, duplex);
        ExpectSameStream(platform, {a5, Page("text")});
        ExpectSameStream(platform, Pages(3), "Collate=True", "2");
        ExpectSameStream(platform, Pages(3), "NegativePrint=True ImageRotation=True");
    }
}

TEST_F(ParallelEquality, TwelveHundredDpi) {
    std::vector<RasterPage> pages = Pages(3);
    for (RasterPage& page : pages) {
        page.resX = 1200;  // PLATFORM_C at 1200 x 600: twice as wide
        page.width = 2400;
    }
    ExpectSameStream("PLATFORM_C", pages);
    ExpectSameStream("PLATFORM_M", Pages(3), "DPI1200");  // 2 bits per dot
}

TEST_F(ParallelEquality, NoThreadToBeHadLeavesTheJobSequential) {
    // The sanitizers want their runtime first; the preloaded library comes before it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::vector<std::string> env = {
        std::string("LD_PRELOAD=") + NORVEX_NO_THREADS_LIB,
        std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"};
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"}) {
        const JobRun run = ExpectSameStream(platform, Pages(3), "", "1", env);
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
            Job inv = PrinterJob(dir, Printer(platform), {Page("photo"), Page("text")});
            inv.env.push_back(std::string("NORVEX_THREADS=") + threads);
            const std::string raster = RasterBytes(inv);
            constexpr std::size_t kHeaderBytes = 1796, kSyncBytes = 4, kPageBytes = 1200 * 1200;
            const std::size_t stall = kSyncBytes + 2 * kHeaderBytes + kPageBytes + 600 * 1200 + 600;
            FilterProcess filter(inv);
            ASSERT_TRUE(filter.Feed(raster.data(), stall));
            const bool pageOneEnded = filter.WaitForOutput([](const std::vector<uint8_t>& out) {
                const DecodeResult d = DecodeStream(out.data(), out.size(), DecodeOptions{});
                return !d.pages.empty() && d.pages[0].complete;
            });
            EXPECT_TRUE(pageOneEnded) << "page 1 waited for page 2's input";
            ASSERT_TRUE(filter.Feed(raster.data() + stall, raster.size() - stall));
            const JobRun run = filter.Finish();
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(RunDecoder({"--check", "--quiet"}, run.out).status, 0);
        }
}

TEST_F(ParallelEquality, CancelInTheMiddleOfPageThreeOfFive) {
    for (const char* platform : {"PLATFORM_C", "PLATFORM_Z", "PLATFORM_M"}) {
        const Bytes sequential = CancelInPageThree(platform, "1");
        ASSERT_FALSE(sequential.empty());
        EXPECT_TRUE(CancelInPageThree(platform, "3") == sequential) << platform;
    }
}

}  // namespace
