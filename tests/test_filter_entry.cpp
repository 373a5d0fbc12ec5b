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
    std::string Raster(const std::vector<RasterPage>& pages) {
        const std::string path = dir.File("job.ras");
        EXPECT_TRUE(WriteRaster(path, pages));
        return path;
    }
    TempDir dir;
};

TEST_F(FilterEntry, WrongArgumentCountGivesTheUsageLine) {
    for (int count : {4, 7}) {
        FilterInvocation inv = Invocation();
        inv.args.resize(count, "x");
        const FilterRun run = RunFilter(inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(run.HasLine("ERROR: job-id user title copies options [file]"));
    }
}

TEST_F(FilterEntry, UnreadableInputFile) {
    FilterInvocation inv = Invocation();
    inv.args.push_back(dir.File("missing.ras"));
    const FilterRun run = RunFilter(inv);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.HasLine("ERROR: Unable to open raster file - : No such file or directory"));
    EXPECT_TRUE(run.out.empty());
}

TEST_F(FilterEntry, EmptyOrForeignStreamHasNoPages) {
    std::ofstream(dir.File("text.ras")) << "%!PS-Adobe-3.0\nshowpage\n";
    for (const std::string& input : {std::string("/dev/null"), dir.File("text.ras")}) {
        FilterInvocation inv = Invocation();
        inv.stdinPath = input;
        const FilterRun run = RunFilter(inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(run.HasLine("DEBUG: cupsRasterReadHeader2 return failure/end-of-file."));
        EXPECT_TRUE(run.HasLine("ERROR: No pages found!"));
    }
}

TEST_F(FilterEntry, AJobWithoutAUsablePPDIsRefused) {
    const std::string raster = Raster({SmallPage()});
    FilterInvocation noVariable = Invocation();
    noVariable.ppd.clear();
    FilterInvocation missing = Invocation();
    missing.ppd = dir.File("nowhere.ppd");
    PPDFixture anonymous;
    anonymous.modelName = "";
    FilterInvocation noModel = Invocation(anonymous);
    PPDFixture unknown;
    unknown.platform = "PLATFORM_X";  // a model not in the list, and no usable platform
    FilterInvocation noPlatform = Invocation(unknown);

    for (FilterInvocation* inv : {&noVariable, &missing, &noModel, &noPlatform}) {
        inv->stdinPath = raster;
        const FilterRun run = RunFilter(*inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(run.CountLinesStartingWith("ERROR: "), 2) << run.err;  // the reason, no pages
        EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), 0);
    }
}

TEST_F(FilterEntry, EveryPageIsLoggedAndCounted) {
    RasterPage page = SmallPage();
    page.copies = 2;
    const std::string raster = Raster({page, page, page});
    FilterInvocation fromStdin = Invocation();
    fromStdin.stdinPath = raster;
    FilterInvocation fromFile = Invocation();
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
    PPDFixture unknown;
    unknown.platform = "platform_z";
    FilterInvocation inv = Invocation(unknown);
    inv.stdinPath = Raster({SmallPage()});
    FilterRun run = RunFilter(inv);
    EXPECT_TRUE(run.HasLine("DEBUG: ##platform = 2, ##autoduplex = 0")) << run.err;

    PPDFixture known;
    known.modelName = "Norvex Orvane 210 Series";
    known.platform = "PLATFORM_M";
    inv.ppd = WritePPD(dir.File("known.ppd"), known);
    run = RunFilter(inv);
    EXPECT_TRUE(run.HasLine("DEBUG: ##platform = 1, ##autoduplex = 0")) << run.err;
}

TEST_F(FilterEntry, TwoSidedJobsBecomeManualDuplexWhereThePrinterAsks) {
    PPDFixture f;
    f.supportManualDuplex = "true";
    f.manualDuplexText = "Put the pages back in";
    RasterPage page = SmallPage();
    page.duplex = true;
    page.tumble = true;
    FilterInvocation inv = Invocation(f);
    inv.stdinPath = Raster({page});
    const FilterRun run = RunFilter(inv);
    EXPECT_TRUE(run.HasLine("-------SupportManualDuplex is 1"));
    EXPECT_TRUE(run.HasLine("DEBUG: ##ManualDuplex = 1, type is 1")) << run.err;
}

TEST_F(FilterEntry, InconsistentPageHeadersAreRefused) {
    RasterPage wideLine = SmallPage();
    wideLine.bytesPerLine = 2'000'000'000;  // libcups does not check it against the width
    wideLine.linesWritten = 0;
    RasterPage sixteenBit = SmallPage();
    sixteenBit.bitsPerColor = sixteenBit.bitsPerPixel = 16;
    RasterPage color = SmallPage();
    color.colorSpace = CUPS_CSPACE_RGB;
    color.bitsPerPixel = 24;
    for (const RasterPage& bad : {wideLine, sixteenBit, color}) {
        FilterInvocation inv = Invocation();
        inv.stdinPath = Raster({bad});
        const FilterRun run = RunFilter(inv);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(run.CountLinesStartingWith("PAGE:"), 0);
        EXPECT_TRUE(run.HasLine("ERROR: No pages found!"));
        EXPECT_EQ(run.CountLinesStartingWith("ERROR: "), 2) << run.err;
    }
}

}  // namespace
