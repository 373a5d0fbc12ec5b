// The filter as CUPS starts it: arguments, input, PPD, page loop, exit status.
#include <fstream>
#include <gtest/gtest.h>

#include "support/filter_runner.h"
#include "support/ppd_fixture.h"
#include "support/raster_writer.h"

namespace {

class FilterEntry : public ::testing::Test {
protected:
    // A small page keeps the runs fast; the loop does not care about the size.
    static RasterPage SmallPage() {
        RasterPage p;
        p.width = 600;
        p.height = 200;
        p.pageW = 72;
        p.pageH = 24;
        return p;
    }
    FilterInvocation Invocation(const PPDFixture& fixture = PPDFixture{}) {
        FilterInvocation inv;
        inv.ppd = WritePPD(dir.File("printer.ppd"), fixture);
        return inv;
    }
    std::string Raster(const std::vector<RasterPage>& pages, const std::string& name = "job.ras") {
        EXPECT_TRUE(WriteRaster(dir.File(name), pages));
        return dir.File(name);
    }
    TempDir dir;
};

// A job that cannot be printed gets its reason and no printer byte.
TEST_F(FilterEntry, RefusedJobsPrintNothing) {
    struct Case {
        const char* what;
        FilterInvocation inv;
        std::string line;  // the reason; "" when only counted
        bool pagesLooked = true;  // the page loop ran and found none
    };
    std::vector<Case> cases;
    for (int count : {4, 7}) {
        cases.push_back({"argument count", Invocation(), "ERROR: job-id user title copies options [file]", false});
        cases.back().inv.args.resize(count, "x");
    }
    cases.push_back({"unreadable file", Invocation(), "ERROR: Unable to open raster file - : No such file or directory",
                     false});
    cases.back().inv.args.push_back(dir.File("missing.ras"));
    std::ofstream(dir.File("text.ras")) << "%!PS-Adobe-3.0\nshowpage\n";
    for (const std::string& input : {std::string("/dev/null"), dir.File("text.ras")}) {
        cases.push_back({"empty or foreign stream", Invocation(), "DEBUG: cupsRasterReadHeader2 return failure/end-of-file."});
        cases.back().inv.stdinPath = input;
    }
    // No usable PPD: no variable, no file, no model name.
    const std::string raster = Raster({SmallPage()});
    PPDFixture anonymous;
    anonymous.modelName = "";
    for (const std::string& ppd : {std::string(), dir.File("nowhere.ppd"), WritePPD(dir.File("anon.ppd"), anonymous)}) {
        cases.push_back({"no usable PPD", Invocation(), ""});
        cases.back().inv.ppd = ppd;
        cases.back().inv.stdinPath = raster;
    }
    // Inconsistent page headers: a line longer than libcups checks, 16 bits, colour.
    RasterPage wideLine = SmallPage(), sixteenBit = SmallPage(), color = SmallPage();
    wideLine.bytesPerLine = 2'000'000'000;
    wideLine.linesWritten = 0;
    sixteenBit.bitsPerColor = sixteenBit.bitsPerPixel = 16;
    color.colorSpace = CUPS_CSPACE_RGB;
    color.bitsPerPixel = 24;
    int n = 0;
    for (const RasterPage& bad : {wideLine, sixteenBit, color}) {
        cases.push_back({"inconsistent header", Invocation(), ""});
        cases.back().inv.stdinPath = Raster({bad}, "bad" + std::to_string(++n) + ".ras");
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FilterRun run = RunFilter(c.inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), 0);
        EXPECT_TRUE(c.line.empty() || run.HasLine(c.line)) << run.err;
        EXPECT_EQ(run.HasLine("ERROR: No pages found!"), c.pagesLooked) << run.err;
        EXPECT_TRUE(!c.line.empty() || run.CountLinesStartingWith("ERROR: ") == 2) << run.err;  // reason, no pages
    }
}

TEST_F(FilterEntry, EveryPageIsLoggedAndCounted) {
    RasterPage page = SmallPage();
    page.copies = 2;
    const std::string raster = Raster({page, page, page});
    FilterInvocation fromStdin = Invocation(), fromFile = Invocation();
    fromStdin.stdinPath = raster;
    fromFile.args.push_back(raster);
    for (const FilterInvocation* inv : {&fromStdin, &fromFile}) {
        const FilterRun run = RunFilter(*inv);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.HasLine("PAGE: 1 2"));
        EXPECT_TRUE(run.HasLine("PAGE: 3 2"));
        EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), 3);
        EXPECT_EQ(run.CountLinesStartingWith("DEBUG: cupsRasterReadHeader2 return OK."), 3);
        EXPECT_EQ(run.CountLinesStartingWith("DEBUG: cupsWidth = 600"), 3);
        EXPECT_TRUE(run.HasLine("INFO: Printing page 2, 64% complete..."));
        EXPECT_EQ(run.errLines.back(), "INFO: Ready to print.");
    }
}

TEST_F(FilterEntry, PlatformFromThePPDOnlyForModelsNotInTheList) {
    PPDFixture unknown, known;
    unknown.platform = "platform_z";
    known.modelName = "Norvex Orvane 210 Series";
    known.platform = "PLATFORM_M";
    const std::string raster = Raster({SmallPage()});
    for (auto [fixture, line] : {std::make_pair(unknown, "DEBUG: ##platform = 2, ##autoduplex = 0"),
                                 std::make_pair(known, "DEBUG: ##platform = 1, ##autoduplex = 0")}) {
        FilterInvocation inv = Invocation(fixture);
        inv.stdinPath = raster;
        const FilterRun run = RunFilter(inv);
        EXPECT_TRUE(run.HasLine(line)) << run.err;
    }
}

TEST_F(FilterEntry, TwoSidedJobsBecomeManualDuplexWhereThePrinterAsks) {
    PPDFixture f;
    f.supportManualDuplex = "true";
    f.manualDuplexText = "Put the pages back in";
    RasterPage page = SmallPage();
    page.duplex = page.tumble = true;
    FilterInvocation inv = Invocation(f);
    inv.stdinPath = Raster({page});
    const FilterRun run = RunFilter(inv);
    EXPECT_TRUE(run.HasLine("-------SupportManualDuplex is 1"));
    EXPECT_TRUE(run.HasLine("DEBUG: ##ManualDuplex = 1, type is 1")) << run.err;
}

}  // namespace
