// Copies, collation and manual duplex: the order in which the printer gets the
// pages, decoded from the page specifications, and no spool file left behind.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

#include "support/job.h"

namespace {

using Order = std::vector<int>;

class CopiesAndDuplex : public ::testing::Test {
protected:
    // Small custom pages: the order is what matters here. Page i is two-sided
    // where sides[i] is '2'.
    JobRun PrintPages(int pages, const std::string& options, unsigned copies, const PPDFixture& ppd,
                      const std::string& sides = "") {
        RasterPage page;
        page.pageW = page.pageH = 144;
        page.width = page.height = 1200;
        page.copies = copies;
        page.pixel = [](unsigned x, unsigned y) { return static_cast<uint8_t>((x ^ y) & 0xFF); };
        std::vector<RasterPage> all(pages, page);
        for (std::size_t i = 0; i < sides.size(); ++i) all[i].duplex = sides[i] == '2';
        Job job = PrinterJob(dir, ppd, all, options);
        job.inProcess = true;  // no pause before the backs
        const JobRun run = Print(job);
        EXPECT_EQ(run.status, 0) << run.err;
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

// Printers without a duplexer: pages rendered two-sided become manual duplex
// where the PPD takes it (1 and 3, the command, a blank back for 3, then 2)
// and print one-sided otherwise (PLATFORM_M), turned like any front. The first
// page's sides hold for the whole job.
TEST_F(CopiesAndDuplex, TwoSidedPagesOnPrintersWithoutADuplexer) {
    const struct {
        const char *platform, *support, *sides;
        Order order;          // PLATFORM_M's pages are numbered as they come
        std::size_t second;   // where page 2 goes, the same as page 1; 0: not compared
        const char* command;  // the manual duplex command; nullptr: none
    } cases[] = {
        {"PLATFORM_M", "True", "222", {1, 2, 3, 4}, 3, "MANUAL_DUPLEX_CMD"},
        {"PLATFORM_M", "", "222", {1, 2, 3}, 1, nullptr},
        {"PLATFORM_Z", "true", "12", {1, 2}, 0, nullptr},
        {"PLATFORM_Z", "true", "211", {1, 3, 4, 2}, 0, "MANUAL_DUPLEX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.platform << ", SupportManualDuplex " << c.support << ", " << c.sides);
        PPDFixture ppd = Printer(c.platform, "Turn the pages over");
        ppd.supportManualDuplex = c.support;
        const JobRun job = PrintPages(static_cast<int>(std::strlen(c.sides)), "", 1, ppd, c.sides);
        ASSERT_EQ(job.PageOrder(), c.order);
        for (const char* command : {"MANUAL_DUPLEX", "MANUAL_DUPLEX_CMD"})
            EXPECT_EQ(job.Commands(command).size(), c.command && !std::strcmp(c.command, command) ? 1u : 0u);
        EXPECT_EQ(job.HasLine("INFO:Turn the pages over"), c.command != nullptr);
        if (c.second) {
            EXPECT_EQ(PageBits(job.decoded.pages[0]), PageBits(job.decoded.pages[c.second])) << "a page turned";
        }
    }
}

}  // namespace
