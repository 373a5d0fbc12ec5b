// Copies, collation and manual duplex: the order in which the printer gets the
// pages, decoded from the page specifications, and no spool file left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/job.h"

namespace {

using Order = std::vector<int>;

class CopiesAndDuplex : public ::testing::Test {
protected:
    // Small custom pages on PLATFORM_C: the order is what matters here.
    JobRun PrintPages(int pages, const std::string& options, unsigned copies = 1,
                      const PPDFixture& ppd = Fixture(), bool twoSidedHeader = false) {
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
    static PPDFixture Fixture() {
        PPDFixture f;
        f.platform = "PLATFORM_C";
        f.manualDuplexText = "Turn the pages over";
        return f;
    }
    // The manual duplex command stands between the fronts and the backs.
    static std::size_t PagesBeforeManualDuplex(const JobRun& job) {
        const auto commands = job.Commands("MANUAL_DUPLEX");
        EXPECT_EQ(commands.size(), 1u);
        if (commands.empty()) return 0;
        const std::size_t at = std::stoul(commands[0]);
        std::size_t n = 0;
        for (const DecodedPage& page : job.decoded.pages) n += page.offset < at;
        return n;
    }
    TempDir dir;
};

// Collated copies are sent again from the spool, in one document; uncollated
// ones are made by the printer.
TEST_F(CopiesAndDuplex, CollatedCopiesAreSentAgainFromTheSpool) {
    const JobRun collated = PrintPages(2, "Collate=True", 3);
    EXPECT_EQ(collated.PageOrder(), (Order{1, 2, 1, 2, 1, 2}));
    for (const DecodedPage& page : collated.decoded.pages) EXPECT_EQ(page.copies, 1);
    EXPECT_EQ(collated.Commands("RESET").size(), 1u);
    const JobRun uncollated = PrintPages(2, "", 3);
    EXPECT_EQ(uncollated.PageOrder(), (Order{1, 2}));
    for (const DecodedPage& page : uncollated.decoded.pages) EXPECT_EQ(page.copies, 3);
}

// Fronts, then the backs from the last; an odd job gets a blank back where
// the output order says; collated copies repeat the fronts, then the backs.
TEST_F(CopiesAndDuplex, ManualDuplexSendsFrontsThenBacksFromTheLast) {
    const struct {
        int pages;
        const char* options;
        unsigned copies;
        Order order;
        std::size_t fronts;
    } cases[] = {
        {4, "ManualDuplex=true", 1, {1, 3, 4, 2}, 2},
        {5, "ManualDuplex=true", 1, {1, 3, 5, 6, 4, 2}, 3},
        {5, "ManualDuplex=true outputorder=true", 1, {1, 3, 5, 4, 2, 6}, 3},
        {1, "ManualDuplex=true", 1, {1, 2}, 1},
        {3, "ManualDuplex=true Collate=true", 2, {1, 3, 1, 3, 4, 2, 4, 2}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " pages, " << c.options);
        const JobRun job = PrintPages(c.pages, c.options, c.copies);
        EXPECT_EQ(job.PageOrder(), c.order);
        EXPECT_EQ(PagesBeforeManualDuplex(job), c.fronts);
        EXPECT_TRUE(job.HasLine("INFO:Turn the pages over"));
    }
}

// PLATFORM_M has no duplexer: pages rendered two-sided become manual duplex
// where its PPD takes it and print one-sided otherwise, turned like any front.
TEST_F(CopiesAndDuplex, TwoSidedPagesOnPlatformMWithoutADuplexer) {
    PPDFixture m = Fixture();
    m.platform = "PLATFORM_M";
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

TEST_F(CopiesAndDuplex, MissingInstructionGivesABareInfoLine) {
    PPDFixture ppd = Fixture();
    ppd.manualDuplexText.clear();
    const JobRun job = PrintPages(2, "ManualDuplex=true", 1, ppd);
    EXPECT_TRUE(job.HasLine("INFO:"));
}

}  // namespace
