// Copies, collation and manual duplex: the order in which the printer gets the
// pages, decoded from the page specifications, and no spool file left behind.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

#include "support/job.h"

namespace {

using Order = std::vector<int>;

class CopiesAndDuplex : public ::testing::Test {
protected:
    // Small custom pages: the order is what matters here.
    JobRun PrintPages(int pages, const std::string& options, unsigned copies, const PPDFixture& ppd,
                      bool twoSidedHeader = false) {
        RasterPage page;
        page.duplex = twoSidedHeader;
        page.pageW = page.pageH = 144;
        page.width = page.height = 1200;
        page.copies = copies;
        page.pixel = [](unsigned x, unsigned y) { return static_cast<uint8_t>((x ^ y) & 0xFF); };
        Job job = PrinterJob(dir, ppd, std::vector<RasterPage>(pages, page), options);
        job.inProcess = true;  // no pause before the backs
        const JobRun run = Print(job);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.checked) << run.checkOutput;
        EXPECT_TRUE(std::filesystem::is_empty(dir.File("spool"))) << "a spool file was left behind";
        return run;
    }
    static PPDFixture Printer(const char* platform, const char* manualDuplexText) {
        PPDFixture f;
        f.platform = platform;
        f.manualDuplexText = manualDuplexText;
        return f;
    }
    TempDir dir;
};

// One document whatever the copies: collated copies are sent again from the
// spool, uncollated ones are made by the printer. Manual duplex sends the
// fronts, the command, then the backs from the last; an odd job gets a blank
// back where the output order says; collated copies repeat the fronts, then
// the backs. The PPD's instruction (or a bare line) tells the user to turn
// the pages.
TEST_F(CopiesAndDuplex, PagesComeInTheOrderOfTheOptions) {
    const struct {
        int pages;
        const char* options;
        unsigned copies;
        Order order;
        int pageCopies;
        std::size_t fronts;  // pages before the manual duplex command; 0: no command
        const char* instruction;
    } cases[] = {
        {2, "Collate=True", 3, {1, 2, 1, 2, 1, 2}, 1, 0, ""},
        {2, "", 3, {1, 2}, 3, 0, ""},
        {4, "ManualDuplex=true", 1, {1, 3, 4, 2}, 1, 2, "Turn the pages over"},
        {5, "ManualDuplex=true", 1, {1, 3, 5, 6, 4, 2}, 1, 3, "Turn the pages over"},
        {5, "ManualDuplex=true outputorder=true", 1, {1, 3, 5, 4, 2, 6}, 1, 3, "Turn the pages over"},
        {1, "ManualDuplex=true", 1, {1, 2}, 1, 1, "Turn the pages over"},
        {3, "ManualDuplex=true Collate=true", 2, {1, 3, 1, 3, 4, 2, 4, 2}, 1, 4, "Turn the pages over"},
        {2, "ManualDuplex=true", 1, {1, 2}, 1, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " pages, " << c.options << ", " << c.copies << " copies");
        const JobRun job = PrintPages(c.pages, c.options, c.copies, Printer("PLATFORM_C", c.instruction));
        EXPECT_EQ(job.PageOrder(), c.order);
        for (const DecodedPage& page : job.decoded.pages) EXPECT_EQ(page.copies, c.pageCopies);
        EXPECT_EQ(job.Commands("RESET").size(), 1u);
        const auto manual = job.Commands("MANUAL_DUPLEX");
        ASSERT_EQ(manual.size(), c.fronts == 0 ? 0u : 1u);
        if (c.fronts == 0) continue;
        const std::size_t at = std::stoul(manual[0]);
        EXPECT_EQ(std::count_if(job.decoded.pages.begin(), job.decoded.pages.end(),
                                [&](const DecodedPage& page) { return page.offset < at; }),
                  static_cast<std::ptrdiff_t>(c.fronts));
        EXPECT_TRUE(job.HasLine(std::string("INFO:") + c.instruction));
    }
}

// PLATFORM_M has no duplexer: pages rendered two-sided become manual duplex
// where its PPD takes it and print one-sided otherwise, turned like any front.
TEST_F(CopiesAndDuplex, TwoSidedPagesOnPlatformMWithoutADuplexer) {
    PPDFixture m = Printer("PLATFORM_M", "");
    for (const char* support : {"True", ""}) {
        SCOPED_TRACE(testing::Message() << "SupportManualDuplex " << support);
        m.supportManualDuplex = support;
        const JobRun job = PrintPages(3, "", 1, m, true);
        const bool manual = *support != '\0';
        // Manual duplex: 1 and 3, the command, a blank back for 3, then 2.
        ASSERT_EQ(job.decoded.pages.size(), manual ? 4u : 3u);
        EXPECT_EQ(job.Commands("MANUAL_DUPLEX_CMD").size(), manual ? 1u : 0u);
        const DecodedPage& front = job.decoded.pages[0];
        const DecodedPage& second = job.decoded.pages[manual ? 3 : 1];
        EXPECT_EQ(PageBits(front), PageBits(second)) << "a page turned";
    }
}

}  // namespace
